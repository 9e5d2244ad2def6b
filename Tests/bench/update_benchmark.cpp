// What the object update costs against the least any update must do. For generated projects
// (1k to 20k placed elements over up to 500 products, each library part with about 200
// parameters, about 40 of them in the Kordela block that the service fills) it runs the
// update's steps through the simulated host against the local catalogue service and times
// them: collection, the page's choice, the query (the service's turn: request, answer and its
// file), the reading of the answer, the library parts and the placed elements. The floor,
// measured in the same run on the same project, reads every element and its memo once and
// writes every library part and every element once (one undo step each) through the same
// host functions; it asks the service nothing, so the ratio is also printed without the
// query, and as the processor time of the benchmark's thread, which a busy machine disturbs
// less. The update reads every memo twice (for the collection and again for the rewrite), so
// the floor is also printed with one more read pass, timed apart. Rounds alternate which of
// the two runs first, each on a fresh copy of the project; the ratio is taken round by round.
// Prints min/median/max per phase, the ratios and the cost of doubling the elements.
//
// Its options: update_benchmark --help.
#include "APIKey.hpp"
#include "CommandLine.hpp"
#include "Endpoints.hpp"
#include "HostServices.hpp"
#include "LocalService.hpp"
#include "ServiceRequest.hpp"
#include "Spread.hpp"
#include "UpdateAnswer.hpp"
#include "UpdateManager.hpp"

#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"
#include "GSPref.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* ApiKey = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr int PlacedEdition = 5;
constexpr int ServiceEdition = 7;
constexpr int MaxProducts = 500;
constexpr int ElementsPerProduct = 20;

struct Size {
    int elements = 0;
    int products = 0;
};

// A part's parameters: its own (A, B, G001..., the product URL) and the Kordela block (title,
// separator, product GUID, edition, P001..., closing separator).
struct Shape {
    int own = 0;       // G001...
    int ordinary = 0;  // P001...
};

std::string Hex8(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string ProductGuid(int product)
{
    return Hex8(0xB0000000u + static_cast<unsigned>(product)) + "-1111-4222-8333-944444444444";
}

std::string PartId(int product)
{
    return "{" + Hex8(0xC0000000u + static_cast<unsigned>(product)) +
           "-0000-4E3F-8A9B-0C1D2E3F4A5B}-{00000000-0000-0000-0000-000000000001}";
}

std::string ElementGuid(int element)
{
    return Hex8(0xE0000000u + static_cast<unsigned>(element)) + "-2222-4333-8444-955555555555";
}

std::string ProductUrl(int product)
{
    return "kordela.example/Product/bench-" + std::to_string(product);
}

// Ordinary parameters P001...: texts, real numbers and whole numbers in turn.
const char* ServiceType(int i)
{
    static const char* const types[] = {"String", "Real", "Integer"};
    return types[i % 3];
}

std::string PartType(int i)
{
    static const char* const types[] = {"text", "real", "integer"};
    return types[i % 3];
}

std::string ParameterName(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "P%03d", i);
    return name;
}

std::string Value(int i, int product, int edition)
{
    switch (i % 3) {
    case 0:
        return "value " + std::to_string(i) + " of product " + std::to_string(product) + " ed. " +
               std::to_string(edition);
    case 1: return std::to_string(i) + "." + std::to_string(edition);
    default: return std::to_string(i * 10 + edition);
    }
}

// A library part as a product's earlier download left it: the product URL, then the
// Kordela block with the product GUID, the edition and `ordinary` service parameters.
json PartFile(int product, const Shape& shape)
{
    json params = json::array();
    params.push_back({{"name", "A"}, {"type", "real"}, {"description", "Width"}, {"value", 1.0}});
    params.push_back({{"name", "B"}, {"type", "real"}, {"description", "Depth"}, {"value", 0.5}});
    for (int i = 1; i <= shape.own; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "G%03d", i);
        json p {{"name", name}, {"type", PartType(i)}, {"description", "Geometry " + std::to_string(i)}};
        if (i % 3 == 0)
            p["value"] = "own value " + std::to_string(i);
        else
            p["value"] = i * 0.25;
        params.push_back(p);
    }
    params.push_back(
        {{"name", "KD_prodatUrl"}, {"type", "text"}, {"description", "Product URL"}, {"value", ProductUrl(product)}});
    params.push_back({{"name", "KD_Title"}, {"type", "title"}, {"flags", 2}, {"description", "Kordela Information"}});
    params.push_back({{"name", "KD_Separator"}, {"type", "separator"}, {"flags", 2}});
    params.push_back({{"name", "KD_productguid"},
                      {"type", "text"},
                      {"flags", 0xC0},
                      {"description", "Product GUID"},
                      {"value", ProductGuid(product)}});
    params.push_back({{"name", "KD_edinum"},
                      {"type", "integer"},
                      {"flags", 0x40},
                      {"description", "Edition"},
                      {"value", PlacedEdition}});
    for (int i = 1; i <= shape.ordinary; ++i) {
        json p {{"name", ParameterName(i)},
                {"type", PartType(i)},
                {"flags", 0x40},
                {"description", "Parameter " + std::to_string(i)}};
        const std::string value = Value(i, product, PlacedEdition);
        if (i % 3 == 0)
            p["value"] = value;
        else
            p["value"] = std::atof(value.c_str());
        params.push_back(p);
    }
    params.push_back({{"name", "KD_Separator2"}, {"type", "separator"}, {"flags", 2}});
    return {{"format", "devhost library part 1"},
            {"name", "Bench product " + std::to_string(product)},
            {"type", 4},
            {"ownUnID", PartId(product)},
            {"parents", json::array()},
            {"details", {{"a", 1.0}, {"b", 0.5}, {"autoHotspot", false}}},
            {"parameters", params}};
}

// The newer edition on the service: new values and descriptions, the first parameter
// obsolete and one parameter more, so that every part's block is rebuilt.
json CatalogueProduct(int product, int ordinary)
{
    json params = json::array();
    for (int i = 1; i <= ordinary + 1; ++i) {
        json p {{"name", ParameterName(i)},
                {"bimName", "Bim" + std::to_string(i)},
                {"description", "Parameter " + std::to_string(i) + " (edition " + std::to_string(ServiceEdition) + ")"},
                {"type", ServiceType(i)},
                {"value", Value(i, product, ServiceEdition)}};
        if (i == 1)
            p["obsolete"] = true;
        if (i % 7 == 0)
            p["style"] = "Bold";
        params.push_back(p);
    }
    return {{"id", std::to_string(100000 + product)},
            {"url", ProductUrl(product)},
            {"guid", ProductGuid(product)},
            {"title", "Bench product " + std::to_string(product)},
            {"edition", ServiceEdition},
            {"manufacturer", 1},
            {"parameters", params}};
}

// Writes the pristine project; answers its file.
std::string WriteProject(const fs::path& folder, const Size& size, const Shape& shape)
{
    fs::remove_all(folder);
    fs::create_directories(folder / "Library");
    fs::create_directories(folder / "Embedded Library");
    for (int p = 0; p < size.products; ++p)
        std::ofstream(folder / "Library" / ("Bench_" + std::to_string(p) + ".gsm")) << PartFile(p, shape).dump(1);
    static const char* const types[] = {"object", "lamp", "window", "door", "skylight"};
    json elements = json::array();
    for (int e = 0; e < size.elements; ++e)
        elements.push_back({{"guid", ElementGuid(e)}, {"type", types[e % 5]}, {"part", PartId(e % size.products)}});
    const json project {
        {"libraries", {{"embedded", "Embedded Library"}, {"linked", {{{"folder", "Library"}, {"name", "Bench"}}}}}},
        {"elements", elements},
        {"selection", json::array()}};
    const fs::path file = folder / "Project.json";
    std::ofstream(file) << project.dump();
    return file.string();
}

json Catalogue(const json& base, const Size& size, int ordinary)
{
    json catalogue = base;
    catalogue["products"] = json::array();
    for (int p = 0; p < size.products; ++p)
        catalogue["products"].push_back(CatalogueProduct(p, ordinary));
    return catalogue;
}

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The processor time of this thread (the add-on and the simulated host, not the service): on a
// busy machine it does not count the waits for a free core that wall time does.
double ThreadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

enum Phase { Collection, Choice, Query, Answer, Parts, Elements, Total, PhaseCount };
const char* const PhaseNames[PhaseCount] = {"collection", "choice", "query", "answer", "parts", "elements", "total"};

struct UpdateRun {
    double ms[PhaseCount] = {};
    double cpuMs = 0;
    int changed = 0;
    int partsUpdated = 0;
};

// The steps of one object update, as the update page drives them: collection, the product
// list and the page's choice of every product at the service's edition, the query, the
// library parts and the placed elements.
[[gnu::noinline]] UpdateRun RunUpdate()
{
    UpdateManager& manager = UpdateManager::getInstance();
    manager.updatedProductGuids.Clear();
    manager.notUpdatedProductGuids.Clear();
    UpdateRun run;
    const double cpuStart = ThreadCpuMs();
    Clock::time_point start = Clock::now();
    manager.updateInfo.Init();
    run.ms[Collection] = Since(start);

    start = Clock::now();
    const std::unique_ptr<char[]> list = manager.GetUpdateInfo();
    std::string choice;
    for (const char* record = list.get(); *record != '\0';) {
        const char* comma = std::strchr(record, ',');
        const char* end = std::strchr(record, ';');
        if (comma == nullptr || end == nullptr)
            break;
        choice.append(record, comma).append("," + std::to_string(ServiceEdition) + ",true;");
        record = end + 1;
    }
    manager.UpdateUpdateInfo(choice.c_str());
    GS::Array<GS::UniString> products;
    manager.updateInfo.GetUpdatableProductGuids(&products);
    ElementsByProduct elements;
    LibPartsByProduct libParts;
    manager.updateInfo.GetUpdatableObjectsAndLibParts(&elements, &libParts);
    run.ms[Choice] = Since(start);

    // The query as the update makes it, in two parts: the round trip to the service (the
    // request built and posted, the answer written to its file), then the add-on's reading
    // of the answer.
    start = Clock::now();
    const PostResult post = PostServiceRequest(Endpoints::LegacyHttpScheme, "/GetKordelaInfoXml3",
                                               BuildUpdateRequest(GetCheckedAPIKey().get(), products));
    run.ms[Query] = Since(start);
    start = Clock::now();
    UpdateDataTable data;
    ReadUpdateAnswer(post.answerFile.c_str(), products, &data, ReportLine);
    run.ms[Answer] = Since(start);
    std::remove(post.answerFile.c_str());

    start = Clock::now();
    manager.UpdateLibParts(&data, &libParts, &manager.updatedProductGuids, &manager.notUpdatedProductGuids,
                           &manager.updatedLibPartCount, &manager.processedLibPartCount);
    run.ms[Parts] = Since(start);
    run.partsUpdated = manager.updatedLibPartCount;

    start = Clock::now();
    manager.UpdateInstances(&data, &elements, &run.changed);
    run.ms[Elements] = Since(start);
    run.cpuMs = ThreadCpuMs() - cpuStart;
    for (int phase = Collection; phase < Total; ++phase)
        run.ms[Total] += run.ms[phase];
    return run;
}

struct FloorRun {
    double ms = 0;
    double cpuMs = 0;
    double partsMs = 0;
    double readMs = 0;  // one more read of every element and memo, timed apart
    double readCpuMs = 0;
    int changed = 0;
    int partsWritten = 0;
};

// Every placed object, lamp, window, door and skylight that the host can read, with its
// memo, in the order the update visits them; the memo is released after `visit`.
template <typename Visit>
void ForEachPlacedElement(Visit visit)
{
    for (API_ElemTypeID type : {API_ObjectID, API_LampID, API_WindowID, API_DoorID, API_SkylightID}) {
        GS::Array<API_Guid> guids;
        ACAPI_Element_GetElemList(type, &guids);
        for (const API_Guid& guid : guids) {
            API_Element element {};
            element.header.guid = guid;
            if (ACAPI_Element_Get(&element) != NoError)
                continue;
            API_ElementMemo memo {};
            ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_All);
            visit(element, memo);
            ACAPI_DisposeElemMemoHdls(&memo);
        }
    }
}

// The update must read every memo twice: the collection reads them before the page opens and
// the rewrite again after the user's choice (keeping them in between would take about 200 KB
// per element). One more read pass, timed apart from the floor, gives the floor that allows.
[[gnu::noinline]] void ReadEveryMemo(FloorRun& run)
{
    const double cpuStart = ThreadCpuMs();
    const Clock::time_point start = Clock::now();
    ForEachPlacedElement([](API_Element&, API_ElementMemo&) {});
    run.readMs = Since(start);
    run.readCpuMs = ThreadCpuMs() - cpuStart;
}

// The least an update does through the host: every library part read and written once,
// every placed element and its memo read once and written once in an undo step of its own.
[[gnu::noinline]] FloorRun RunFloor(int products)
{
    FloorRun run;
    const double cpuStart = ThreadCpuMs();
    const Clock::time_point start = Clock::now();
    for (int32_t index = 1; index <= products; ++index) {
        double a = 0;
        double b = 0;
        int32_t count = 0;
        API_AddParType** params = nullptr;
        if (ACAPI_LibPart_GetParams(index, &a, &b, &count, &params) != NoError)
            continue;
        API_LibPart part {};
        part.index = index;
        ACAPI_LibPart_Get(&part);
        GSHandle section = nullptr;
        ACAPI_LibPart_GetSect_ParamDef(&part, params, &a, &b, &section);
        const API_LibPartSection descriptor {API_SectParamDef, 0};
        if (ACAPI_LibPart_UpdateSection(index, &descriptor, section) == NoError)
            ++run.partsWritten;
        if (section != nullptr)
            BMhKill(&section);
        ACAPI_DisposeAddParHdl(&params);
    }
    run.partsMs = Since(start);
    ForEachPlacedElement([&](API_Element& element, API_ElementMemo& memo) {
        const auto change = [&]() -> GSErrCode {
            API_Element mask;
            std::memset(static_cast<void*>(&mask), 0xFF, sizeof mask);
            const GSErrCode err = ACAPI_Element_Change(&element, &mask, &memo, APIMemoMask_All, true);
            run.changed += err == NoError ? 1 : 0;
            return err;
        };
#if KORDELA_HOST_VERSION >= 19
        ACAPI_CallUndoableCommand(GS::UniString(""), change);
#else
        ACAPI_OpenUndoableSession(GS::UniString(""));
        change();
        ACAPI_CloseUndoableSession();
#endif
    });
    run.ms = Since(start);
    run.cpuMs = ThreadCpuMs() - cpuStart;

    ReadEveryMemo(run);
    return run;
}

void StoreApiKey()
{
    GSPref::RootKey* root = nullptr;
    if (GSPref::OpenRootKey(GSPref::UserRootKey, &root) != NoError)
        return;
    root->SetStringValue("Kordela", "APIKey", ApiKey);
    GSPref::CloseRootKey(root);
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    int parameters = 200;
    int entries = 40;
    std::vector<int> elementCounts = {1000, 2000, 5000, 10000, 20000};
    bench::CommandLine commandLine("update_benchmark", R"([--rounds N] [--sizes N,N,...] [--parameters N] [--entries N]
  --rounds N       rounds at each size, each timing the update and the floor (5)
  --sizes N,...    placed elements of each generated project (1000,2000,5000,10000,20000),
                   one product per 20 elements, at most 500 products
  --parameters N   parameters of each library part (200), at least --entries + 5
  --entries N      parameters the service sends per product, its product GUID and edition
                   included (40), at least 4
)");
    commandLine.Add("--rounds", bench::Count(rounds, 1));
    commandLine.Add("--sizes", bench::Counts(elementCounts, 1));
    commandLine.Add("--parameters", bench::Count(parameters, 1));
    commandLine.Add("--entries", bench::Count(entries, 4));
    if (const auto exitCode = commandLine.Read(argc, argv))
        return *exitCode;
    // The service sends the product GUID, the edition and the ordinary parameters with one
    // new one; a part holds the ordinary ones but the new one, eight of its own kind (A, B,
    // the product URL, the Kordela block's title, separators, GUID and edition) and G001....
    Shape shape;
    shape.ordinary = entries - 3;
    shape.own = parameters - 8 - shape.ordinary;
    if (shape.own < 0)
        return commandLine.Refuse("--parameters: " + std::to_string(parameters) + " is fewer than --entries + 5 (" +
                                  std::to_string(entries + 5) + ")");

    kordela::test::LocalService service(kordela::test::LocalService::Options::Quiet());
    if (!service.Running()) {
        std::fprintf(stderr, "the local catalogue service did not start\n");
        return 1;
    }
    setenv("KORDELA_SERVICE_ORIGIN", service.Origin().c_str(), 1);
    const json baseCatalogue = service.Catalogue();

    // The transcript goes where devhost prints it, so that its lines cost what they cost there.
    std::ofstream transcript("/dev/null");
    DevHost::Options hostOptions;
    hostOptions.echo = &transcript;
    DevHost::Host host(hostOptions);
    if (const std::string problem =
            host.Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_RESOURCES_DIR, "add-on");
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    StoreApiKey();

    std::printf(
        "object update against the floor, host %d build, %d rounds, parts of %d parameters, "
        "%d parameters per product from the service\n",
        KORDELA_HOST_VERSION, rounds, shape.own + shape.ordinary + 8, shape.ordinary + 3);
    std::map<int, double> medianTotal;
    std::map<int, double> medianRatio;
    std::map<int, double> medianOwnTotal;  // without the query
    std::map<int, double> medianOwnRatio;
    std::map<int, double> medianCpuTotal;  // this thread's processor time
    std::map<int, double> medianCpuRatio;
    struct Ratios {
        double total = 0;
        double own = 0;
        double cpu = 0;
    };
    std::map<int, Ratios> medianTwoReadRatio;  // against the floor with the collection's read
    for (const int elementCount : elementCounts) {
        const Size size {elementCount, std::clamp(elementCount / ElementsPerProduct, 1, MaxProducts)};
        const std::string projectFile = WriteProject(fs::path(host.ProfileFolder()) / "Bench project", size, shape);
        if (!service.SetCatalogue(Catalogue(baseCatalogue, size, shape.ordinary))) {
            std::fprintf(stderr, "the service refused the generated catalogue\n");
            return 1;
        }
        std::vector<double> phases[PhaseCount];
        std::vector<double> floors;
        std::vector<double> floorParts;
        std::vector<double> ratios;
        std::vector<double> ownRatios;
        std::vector<double> cpuRatios;
        std::vector<double> cpuTotals;
        std::vector<double> reads;  // the floor's extra read pass
        std::vector<double> twoReadRatios;
        std::vector<double> twoReadOwnRatios;
        std::vector<double> twoReadCpuRatios;
        for (int round = 0; round < rounds; ++round) {
            UpdateRun update;
            FloorRun floor;
            for (int turn = 0; turn < 2; ++turn) {
                const bool updateTurn = (turn == 0) == (round % 2 == 0);
                if (const std::string error = host.GetProject().Open(projectFile, true); !error.empty()) {
                    std::fprintf(stderr, "%s\n", error.c_str());
                    return 1;
                }
                if (updateTurn)
                    update = RunUpdate();
                else
                    floor = RunFloor(size.products);
            }
            // A round that left work undone measured something else: an error, not a figure.
            if (update.changed != size.elements || update.partsUpdated != size.products ||
                floor.changed != size.elements || floor.partsWritten != size.products) {
                std::fprintf(stderr,
                             "update_benchmark: round %d at %d elements did not do all the work: update %d elements, "
                             "%d parts; floor %d elements, %d parts\n",
                             round + 1, size.elements, update.changed, update.partsUpdated, floor.changed,
                             floor.partsWritten);
                return 1;
            }
            for (int phase = 0; phase < PhaseCount; ++phase)
                phases[phase].push_back(update.ms[phase]);
            floors.push_back(floor.ms);
            floorParts.push_back(floor.partsMs);
            ratios.push_back(floor.ms > 0 ? update.ms[Total] / floor.ms : 0);
            ownRatios.push_back(floor.ms > 0 ? (update.ms[Total] - update.ms[Query]) / floor.ms : 0);
            cpuRatios.push_back(floor.cpuMs > 0 ? update.cpuMs / floor.cpuMs : 0);
            const double twoReads = floor.ms + floor.readMs;
            twoReadRatios.push_back(twoReads > 0 ? update.ms[Total] / twoReads : 0);
            twoReadOwnRatios.push_back(twoReads > 0 ? (update.ms[Total] - update.ms[Query]) / twoReads : 0);
            const double twoReadsCpu = floor.cpuMs + floor.readCpuMs;
            twoReadCpuRatios.push_back(twoReadsCpu > 0 ? update.cpuMs / twoReadsCpu : 0);
            reads.push_back(floor.readMs);
            cpuTotals.push_back(update.cpuMs);
        }
        std::printf("\n%d elements over %d products (ms: min / median / max)\n", size.elements, size.products);
        for (int phase = 0; phase < PhaseCount; ++phase) {
            const Spread s = SpreadOf(phases[phase]);
            std::printf("  update %-10s %9.1f %9.1f %9.1f\n", PhaseNames[phase], s.min, s.median, s.max);
        }
        const Spread fp = SpreadOf(floorParts);
        std::printf("  floor parts       %9.1f %9.1f %9.1f\n", fp.min, fp.median, fp.max);
        const Spread f = SpreadOf(floors);
        std::printf("  floor             %9.1f %9.1f %9.1f\n", f.min, f.median, f.max);
        const Spread r = SpreadOf(ratios);
        std::printf("  update / floor    %9.2f %9.2f %9.2f   (round by round)\n", r.min, r.median, r.max);
        const Spread o = SpreadOf(ownRatios);
        std::printf("  without query     %9.2f %9.2f %9.2f   (the service's turn left out)\n", o.min, o.median, o.max);
        const Spread c = SpreadOf(cpuRatios);
        std::printf("  processor time    %9.2f %9.2f %9.2f   (this thread's, update / floor)\n", c.min, c.median,
                    c.max);
        const Spread rd = SpreadOf(reads);
        std::printf("  memo read pass    %9.1f %9.1f %9.1f   (every element and memo read once more)\n", rd.min,
                    rd.median, rd.max);
        const Spread t = SpreadOf(twoReadRatios);
        const Spread to = SpreadOf(twoReadOwnRatios);
        const Spread tc = SpreadOf(twoReadCpuRatios);
        std::printf("  update / floor with both reads: %.2f / %.2f / %.2f; without query %.2f; processor time %.2f\n",
                    t.min, t.median, t.max, to.median, tc.median);
        medianTwoReadRatio[size.elements] = {t.median, to.median, tc.median};
        medianCpuTotal[size.elements] = SpreadOf(cpuTotals).median;
        medianCpuRatio[size.elements] = c.median;
        medianTotal[size.elements] = SpreadOf(phases[Total]).median;
        std::vector<double> ownTotals;
        for (size_t round = 0; round < phases[Total].size(); ++round)
            ownTotals.push_back(phases[Total][round] - phases[Query][round]);
        medianOwnTotal[size.elements] = SpreadOf(ownTotals).median;
        medianRatio[size.elements] = r.median;
        medianOwnRatio[size.elements] = o.median;
        std::fflush(stdout);
    }

    // The targets: doubling the elements costs at most 2.1 times the time, and at 10000
    // elements the update takes at most 1.3 times the floor.
    constexpr double MostGrowth = 2.1;
    constexpr double MostRatio = 1.3;
    std::printf("\ndoubling the elements (median totals):\n");
    bool doubled = false;
    for (const auto& [elements, total] : medianTotal)
        if (const auto half = medianTotal.find(elements / 2); elements % 2 == 0 && half != medianTotal.end()) {
            const auto growth = [&](std::map<int, double>& totals) {
                return totals[half->first] > 0 ? totals[elements] / totals[half->first] : 0.0;
            };
            const double time = growth(medianTotal);
            const double own = growth(medianOwnTotal);
            const double cpu = growth(medianCpuTotal);
            std::printf(
                "  %6d -> %6d elements: %.2fx the time, %.2fx without the query, %.2fx processor time "
                "(target: at most %.1fx; %s, %s, %s)\n",
                half->first, elements, time, own, cpu, MostGrowth, Verdict(time <= MostGrowth),
                Verdict(own <= MostGrowth), Verdict(cpu <= MostGrowth));
            doubled = true;
        }
    if (!doubled)
        std::printf("  no size is twice another: no figure for this target\n");
    if (const auto at = medianRatio.find(10000); at != medianRatio.end()) {
        const double own = medianOwnRatio[10000];
        const double cpu = medianCpuRatio[10000];
        std::printf(
            "update / floor at 10000 elements over %d products: %.2f, without the query %.2f, processor time %.2f "
            "(target: at most %.1f; %s, %s, %s)\n",
            std::clamp(10000 / ElementsPerProduct, 1, MaxProducts), at->second, own, cpu, MostRatio,
            Verdict(at->second <= MostRatio), Verdict(own <= MostRatio), Verdict(cpu <= MostRatio));
    } else {
        std::printf("update / floor: 10000 is not among the sizes: no figure for this target (at most %.1f)\n",
                    MostRatio);
    }
    if (const auto at = medianTwoReadRatio.find(10000); at != medianTwoReadRatio.end())
        std::printf("against the floor with both memo reads: %.2f, without the query %.2f, processor time %.2f\n",
                    at->second.total, at->second.own, at->second.cpu);
    return 0;
}
