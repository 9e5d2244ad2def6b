// Attaching, linking and unlinking property clouds from a scripted property-cloud page, with
// the add-on in the simulated host against the local catalogue service.
#include "AddOnHarness.hpp"
#include "KDPCManager.hpp"
#include "UpdatePageScripts.hpp"

#include "DevHost/HostFaults.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using Kind = DevHost::PageStep::Kind;

constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";
constexpr const char* ChairId = "{6E0F5B7A-0000-4E3F-8A9B-0C1D2E3F4A5B}-{00000000-0000-0000-0000-000000000001}";
constexpr short CloudItem = 5;
constexpr const char* CloudPagePath = "/KDPC/Product";

constexpr const char* StepBegins =
    HostUndoesByCommand ? "undo step \"Adding KDPC\" begins" : "undo step \"Adding KDPC\" opened";

// A working copy of the sample project whose chair carries the product block's end marker
// and no cloud yet, as an updated object does.
constexpr const char* ChairOfSecondPart = "AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA";

// With `secondPart`, a second library part of the same product ("Oak dining chair B") and one
// placed chair of it.
std::string PrepareProject(const nlohmann::json& cloudRows, const std::vector<std::string>& moreChairs = {},
                           bool secondPart = false)
{
    char pattern[] = "/tmp/kordela-clouds-XXXXXX";
    const fs::path folder = ::mkdtemp(pattern);
    fs::copy(fs::path(KORDELA_SOURCE_DIR) / "Samples/project", folder, fs::copy_options::recursive);
    const fs::path chair = folder / "Library/OakChair_1234.gsm";
    nlohmann::json part = nlohmann::json::parse(std::ifstream(chair));
    auto& params = part["parameters"];
    for (auto it = params.begin(); it != params.end();)
        it = (*it)["name"] == "KDPC_HNDL" ? params.erase(it) : it + 1;
    params.push_back({{"name", "KD_Separator2"}, {"type", "separator"}});
    if (!cloudRows.is_null()) {
        params.push_back({{"name", "KDPC_HNDL"}, {"type", "real"}, {"flags", 128}, {"array", cloudRows}});
        params.push_back({{"name", "KDPC_Title"}, {"type", "title"}});
        params.push_back({{"name", "KDPC_Separator"}, {"type", "separator"}});
    }
    params.push_back({{"name", "Finish"}, {"type", "text"}, {"description", "Finish"}, {"value", "oiled"}});
    std::ofstream(chair) << part.dump(2);
    const fs::path projectFile = folder / "Project.json";
    nlohmann::json project = nlohmann::json::parse(std::ifstream(projectFile));
    if (secondPart) {
        part["name"] = "Oak dining chair B";
        part["ownUnID"] = "{6E0F5B7A-0000-4E3F-8A9B-0C1D2E3F4A5C}-{00000000-0000-0000-0000-000000000001}";
        std::ofstream(folder / "Library/OakChairB_1234.gsm") << part.dump(2);
        project["elements"].push_back({{"guid", ChairOfSecondPart}, {"type", "object"}, {"part", part["ownUnID"]}});
    }
    for (const std::string& guid : moreChairs) {
        nlohmann::json placed = project["elements"][0];
        placed["guid"] = guid;
        project["elements"].push_back(placed);
    }
    std::ofstream(projectFile) << project.dump(2);
    return projectFile.string();
}

class CloudPage : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        StoreSetting("APIKey", kordela::test::ServiceKeys::ThreeMails);
        OpenProject(nullptr);
        OpenPalette();
        PlayPagesInWindows();
    }

    void OpenProject(const nlohmann::json& cloudRows, const std::vector<std::string>& moreChairs = {},
                     bool secondPart = false)
    {
        if (!projectFile.empty())
            fs::remove_all(fs::path(projectFile).parent_path());
        projectFile = PrepareProject(cloudRows, moreChairs, secondPart);
        ASSERT_EQ(host->GetProject().Open(projectFile, true), "");
        ASSERT_EQ(host->GetProject().SelectElements({Chair}), "");
    }

    int32_t ChairIndex() { return ChairPart().index; }

    std::vector<double> InstanceRows(const char* guid = Chair)
    {
        for (const auto& p : host->GetProject().Element(APIGuidFromString(guid))->params)
            if (p.name == "KDPC_HNDL")
                return p.cells;
        return {};
    }

    void TearDown() override
    {
        AddOnServiceHarness::TearDown();
        fs::remove_all(fs::path(projectFile).parent_path());
    }

    // What the page got back for one message about `cloudId`: the callback's arguments, or
    // on the legacy web view the call's value.
    // `operation` is "AddKDPC", "LinkKDPC" or "UnlinkKDPC".
    std::string PageCalls(const std::string& operation, int cloudId)
    {
        pages.Forget(CloudPagePath);
        std::string message = operation;
        message[0] = static_cast<char>(std::tolower(message[0]));
        const kordela::test::BridgeCall call {.message = message,
                                              .fields = {{"kdpcId", cloudId}},
                                              .callback = operation + "_callback",
                                              .legacyFunction = "Ext" + operation,
                                              .legacyArgs = {std::to_string(cloudId)}};
        AddBridgeCall(CloudPagePath, call);
        const TranscriptMark mark = Mark();
        EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudItem), "");
        return BridgeAnswerSince(mark, call);
    }

    const DevHost::LibraryPartData& ChairPart()
    {
        for (int32_t i = 1;; ++i) {
            const DevHost::LibraryPartData* part = host->GetProject().Part(i);
            if (part == nullptr || part->ownUnID == ChairId) {
                EXPECT_NE(part, nullptr);
                return *part;
            }
        }
    }

    std::vector<std::string> ChairNames()
    {
        std::vector<std::string> names;
        for (const auto& p : ChairPart().params)
            names.push_back(p.name);
        return names;
    }

    const DevHost::Parameter* ChairParam(const std::string& name)
    {
        for (const auto& p : ChairPart().params)
            if (p.name == name)
                return &p;
        return nullptr;
    }

    std::vector<double> Rows()
    {
        const DevHost::Parameter* p = ChairParam("KDPC_HNDL");
        return p != nullptr ? p->cells : std::vector<double> {};
    }

    std::string projectFile;
};

}  // namespace

// The page's answer: "id, code" through the callback, the code alone on the legacy web view,
// negative codes as the unsigned numbers the page receives.
std::string Answer(int cloudId, int code)
{
    if constexpr (!kordela::test::ModernPages)
        return std::to_string(code);
    return std::to_string(cloudId) + ", " + std::to_string(static_cast<uint32_t>(code));
}

TEST_F(CloudPage, AttachFillsThePartInOneUndoStepAndLinkFlipsTheFlag)
{
    EXPECT_EQ(PageCalls("AddKDPC", 12), Answer(12, 0));
    const std::vector<std::string> names = ChairNames();
    const auto separator = std::find(names.begin(), names.end(), "KD_Separator2");
    ASSERT_NE(separator, names.end());
    EXPECT_EQ(std::vector<std::string>(separator, names.end()),
              (std::vector<std::string> {"KD_Separator2", "KDPC_HNDL", "KDPC_Title", "KDPC_C0012_Title",
                                         "KDPC_C0012_Resistance", "KDPC_C0012_Reaction", "KDPC_C0012_TestedBy",
                                         "KDPC_Separator", "Finish"}));
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1}));
    EXPECT_EQ(ChairParam("KDPC_HNDL")->flags, 0x80);
    EXPECT_EQ(ChairParam("KDPC_C0012_Resistance")->text, u"EI 60");
    EXPECT_EQ(ChairParam("KDPC_C0012_Title")->type, APIParT_Title);
    EXPECT_EQ(ChairParam("KDPC_C0012_Title")->description, u"Fire safety");
    EXPECT_EQ(ChairParam("Finish")->text, u"oiled");
    EXPECT_EQ(CountLines(StepBegins), 1u);
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), 1u);

    EXPECT_EQ(PageCalls("AddKDPC", 15), Answer(15, 0));
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1, 15, 1, -1}));
    EXPECT_NE(ChairParam("KDPC_C0015_Alpha"), nullptr);

    struct Case {
        const char* operation;
        int cloud;
        int code;
        std::vector<double> rows;
        const char* alert;
    };
    for (const Case& c :
         {Case {"UnlinkKDPC", 12, 0, {12, 0, -1, 15, 1, -1}, nullptr},
          Case {"UnlinkKDPC", 12, -3, {12, 0, -1, 15, 1, -1}, "The property cloud is already unlinked."},
          Case {"LinkKDPC", 15, -3, {12, 0, -1, 15, 1, -1}, "The property cloud is already linked to this object."},
          Case {"LinkKDPC", 12, 0, {12, 1, -1, 15, 1, -1}, nullptr},
          Case {"LinkKDPC", 21, -4, {12, 1, -1, 15, 1, -1}, "The property cloud is not attached to the object."},
          Case {"AddKDPC", 12, -4, {12, 1, -1, 15, 1, -1}, "The property cloud is already attached to the object."}}) {
        const size_t alerts = c.alert != nullptr ? CountLines(c.alert) : 0;
        EXPECT_EQ(PageCalls(c.operation, c.cloud), Answer(c.cloud, c.code)) << c.operation << " " << c.cloud;
        EXPECT_EQ(Rows(), c.rows) << c.operation << " " << c.cloud;
        if (c.alert != nullptr) {
            EXPECT_EQ(CountLines(c.alert), alerts + 1) << c.alert;
        }
    }
}

// A cloud the service cannot give, or a first cloud that memory runs out for (the list cannot
// grow, the row's cells or their copy cannot be made), changes nothing.
TEST_F(CloudPage, CloudsThatCannotBeAttachedChangeNothing)
{
    const std::string noData = "No dynamic parameters found";
    const std::string modificationError = ModificationErrorMessage();
    struct Case {
        const char* what;
        const char* serviceFault;  // null: the service answers
        int cloud;
        std::vector<std::string> hostFault = {};
        int code = -1;
    };
    for (const Case& c : {Case {"not offered", nullptr, 21}, Case {"http500", "http500", 12},
                          Case {"malformed-xml", "malformed-xml", 12}, Case {"unexpected-xml", "unexpected-xml", 15},
                          Case {"no memory for the frame", nullptr, 12, {"BMhSetSize", "when", "grow"}, -3},
                          Case {"no memory for the row", nullptr, 12, {"BMhAllClear", "when", "24"}, -3},
                          Case {"no memory for its copy", nullptr, 12, {"BMhDuplicate"}, -3}}) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(OpenProject(nullptr));
        if (c.serviceFault != nullptr) {
            ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", c.serviceFault));
        }
        if (!c.hostFault.empty()) {
            ASSERT_EQ(DevHost::AddHostFault(host->Faults(), c.hostFault), "");
        }
        const auto before = ChairNames();
        const TranscriptMark mark = Mark();
        EXPECT_EQ(PageCalls("AddKDPC", c.cloud), Answer(c.cloud, c.code));
        EXPECT_EQ(CountSince(mark, "report alert: " + (c.code == -1 ? noData : modificationError)), 1u);
        EXPECT_EQ(CountSince(mark, "library part rewritten"), 0u);
        EXPECT_EQ(ChairNames(), before);
        EXPECT_EQ(ChairParam("KDPC_HNDL"), nullptr);
        ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", "none"));
        host->Faults().Clear();
    }
    // The cloud can still be attached once the service gives it.
    EXPECT_EQ(PageCalls("AddKDPC", 12), Answer(12, 0));
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1}));
}

TEST_F(CloudPage, LinkAndAttachOnAPartWithoutTheFrame)
{
    EXPECT_EQ(PageCalls("LinkKDPC", 12), Answer(12, -1));
    EXPECT_EQ(CountLines("The chosen property cloud is not attached to the selected object."), 1u);
    EXPECT_EQ(PageCalls("UnlinkKDPC", 12), Answer(12, -1));
    EXPECT_EQ(CountLines("The chosen property cloud is not attached to the selected object."), 2u);
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), 0u);
}

TEST_F(CloudPage, FurtherCloudsRepackRowsOfAnyShapeAndReachThePlacedChair)
{
    struct Case {
        nlohmann::json rows;
        std::vector<double> grown;
    };
    for (const Case& c : {Case {{{12, 1, -1, 9}, {13, 0, 4, 9}}, {12, 1, -1, 13, 0, 4, 15, 1, -1}},
                          Case {{{12}, {13}}, {12, 1, -1, 13, 1, -1, 15, 1, -1}},
                          Case {{{12, 0}}, {12, 0, -1, 15, 1, -1}}, Case {{{12, 1, -1}}, {12, 1, -1, 15, 1, -1}}}) {
        OpenProject(c.rows);
        const size_t steps = CountLines(StepBegins);
        EXPECT_EQ(PageCalls("AddKDPC", 15), Answer(15, 0)) << c.rows;
        EXPECT_EQ(Rows(), c.grown) << c.rows;
        EXPECT_EQ(ChairParam("KDPC_HNDL")->dim2, 3) << c.rows;
        EXPECT_EQ(InstanceRows(), c.grown) << c.rows;
        // One step brings the placed chair level, one refreshes its cloud values.
        EXPECT_EQ(CountLines(StepBegins), steps + 2) << c.rows;
        EXPECT_NE(ChairParam("KDPC_C0015_Alpha"), nullptr) << c.rows;
    }
}

TEST_F(CloudPage, RefreshMarksOnlyTheLastRowOfTheCloud)
{
    OpenProject({{12, 1, 5}, {15, 1, 2}, {12, 1, 7}});
    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex(), 12, false), 0);
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, 5, 15, 1, 2, 12, 1, -1}));
    EXPECT_EQ(ChairParam("KDPC_C0012_Reaction")->text, u"A2-s1,d0");

    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex(), 21, false), -1);  // the product does not offer it
    OpenProject({{15, 1, 2}});
    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex(), 12, false), -6);
    EXPECT_EQ(CountLines("The KDPC identifier could not be found."), 1u);
    OpenProject(nullptr);
    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex(), 12, false), -5);
    EXPECT_EQ(CountLines("KDPC_HNDL parameter could not be found."), 1u);
}

// The refusals come in this order: no part, then a part without the frame and without the
// product block's end marker (whether or not its parameters can be read), then parameters
// that cannot be read.
TEST_F(CloudPage, AttachRefusesPartsItCannotUse)
{
    const size_t missing = CountLines("The library part could not be found!");
    EXPECT_EQ(KDPCManager::LinkKDPCParams(9999, 12), -1);
    EXPECT_EQ(CountLines("The library part could not be found!"), missing + 1);
    int32_t door = 0;
    for (int32_t i = 1; host->GetProject().Part(i) != nullptr; ++i)
        if (host->GetProject().Part(i)->name == "Sliding door S2")
            door = i;
    ASSERT_NE(door, 0);
    const std::string modificationError = ModificationErrorMessage();
    struct Case {
        const char* what;
        int32_t part;
        const char* unreadable;  // the host call that fails for the part, or null
        int code;
        std::string alert;
    };
    for (const Case& c :
         {Case {"no such part", 9999, nullptr, -1, "The library part could not be found!"},
          Case {"no end marker", door, nullptr, -2, "Please update the object before applying KDPC."},
          Case {"no end marker, details unreadable", door, "LibPartGetDetails", -2,
                "Please update the object before applying KDPC."},
          Case {"no end marker, parameters unreadable", door, "LibPartGetParams", -2,
                "Please update the object before applying KDPC."},
          Case {"the end marker, details unreadable", ChairIndex(), "LibPartGetDetails", -3, modificationError}}) {
        SCOPED_TRACE(c.what);
        host->Faults().Clear();
        if (c.unreadable != nullptr) {
            ASSERT_EQ(DevHost::AddHostFault(host->Faults(), {c.unreadable, "when", std::to_string(c.part)}), "");
        }
        const TranscriptMark mark = Mark();
        EXPECT_EQ(KDPCManager::AddKDPCParams(c.part, 21), c.code);
        EXPECT_EQ(CountSince(mark, "report alert:"), 1u);
        EXPECT_EQ(CountSince(mark, "report alert: " + c.alert), 1u);
    }
    host->Faults().Clear();
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), 0u);
    EXPECT_EQ(CountLines("library part rewritten"), 0u);
}

TEST_F(CloudPage, QueryAsksForTheProductOfThePart)
{
    auto partNamed = [this](const std::string& name) {
        for (int32_t i = 1; host->GetProject().Part(i) != nullptr; ++i)
            if (host->GetProject().Part(i)->name == name)
                return i;
        return 0;
    };
    struct Case {
        const char* part;
        int cloud;
        int result;
        size_t entries;
        const char* product;  // in the request; null when none is sent
    };
    for (const Case& c :
         {Case {"Oak dining chair", 15, 0, 3, "ProductId='6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B'"},
          Case {"Sliding door S2", 21, 0, 3, "ProductId='B3A1C9D2-7E44-4F0B-9C1A-5D6E7F809A1B'"},
          Case {"Oak dining chair", -1, 0, 0, "CloudId='-1'"}, Case {"Plain desk", 12, -2, 0, nullptr}}) {
        const int32_t index = partNamed(c.part);
        ASSERT_NE(index, 0) << c.part;
        const size_t before = RequestCount("/GetKdpcInfoXml2");
        KDPCManager::KDPCInfo info;
        EXPECT_EQ(KDPCManager::RetrieveObjectRelatedInformation(index, c.cloud, &info), c.result) << c.part;
        EXPECT_EQ(info.params.GetSize(), c.entries) << c.part;
        EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), before + (c.product != nullptr ? 1 : 0)) << c.part;
        if (c.product != nullptr) {
            EXPECT_NE(service.Log().back().value("value", "").find(c.product), std::string::npos)
                << service.Log().back().value("value", "");
        }
    }
    EXPECT_EQ(CountLines("The selected object is not a KDPC valid object."), 1u);

    KDPCManager::KDPCInfo info;
    ASSERT_EQ(KDPCManager::RetrieveObjectRelatedInformation(partNamed("Oak dining chair"), 15, &info), 0);
    ASSERT_EQ(info.params.GetSize(), 3u);
    EXPECT_EQ(info.name, "Acoustics");
    EXPECT_TRUE(info.params[0].isTitle);
    EXPECT_FALSE(info.params[0].value.has_value());
    EXPECT_EQ(info.params[2].variableName, "KDPC_C0015_Class");
    EXPECT_EQ(info.params[2].value, std::string());  // no value in the answer: the empty text
    EXPECT_TRUE(info.params[2].editable);
}

TEST_F(CloudPage, RefreshReachesLinkedCloudsAndThePlacedChairsFixedValues)
{
    OpenProject({{12, 1, 5}, {15, 0, 2}});
    DevHost::PlacedElement* chair = host->GetProject().Element(APIGuidFromString(Chair));
    ASSERT_NE(chair, nullptr);
    for (const char* name : {"KDPC_C0012_Resistance", "KDPC_C0012_TestedBy"}) {
        DevHost::Parameter p;
        p.name = name;
        p.type = APIParT_CString;
        p.text = u"placed";
        chair->params.push_back(p);
    }
    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex()), 0);
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1, 15, 0, 2}));
    EXPECT_NE(ChairParam("KDPC_C0012_Reaction"), nullptr);
    EXPECT_EQ(ChairParam("KDPC_C0015_Alpha"), nullptr);  // unlinked: not refreshed
    std::map<std::string, std::u16string> placed;
    for (const auto& p : host->GetProject().Element(APIGuidFromString(Chair))->params)
        placed[p.name] = p.text;
    EXPECT_EQ(placed["KDPC_C0012_Resistance"], u"EI 60");  // fixed by the service
    EXPECT_EQ(placed["KDPC_C0012_TestedBy"], u"placed");   // the user's to edit
}

TEST_F(CloudPage, RefreshSkipsRowsWhoseIdIsNoCloudId)
{
    OpenProject({{1e12, 1, 5}, {-1e12, 1, 5}, {12, 1, 5}});
    EXPECT_EQ(KDPCManager::UpdateKDPCParams(ChairIndex()), 0);
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), 1u);
    EXPECT_EQ(Rows(), (std::vector<double> {1e12, 1, 5, -1e12, 1, 5, 12, 1, -1}));
}

namespace {

constexpr short CloudUpdateItem = 6;
constexpr const char* ChairProduct = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
constexpr const char* SecondChair = "77777777-7777-4777-8777-777777777777";
constexpr const char* ThirdChair = "88888888-8888-4888-8888-888888888888";
constexpr const char* FourthChair = "99999999-9999-4999-8999-999999999999";
constexpr const char* UpdateStepBegins =
    HostUndoesByCommand ? "undo step \"Adding KDPC\" begins" : "undo step \"Updating KDPC\" opened";

// The property-cloud update from the palette, its two pages played by script.
class CloudUpdate : public CloudPage {
protected:
    void TearDown() override
    {
        EXPECT_EQ(pageProblem, "");
        CloudPage::TearDown();
    }

    void ScriptUpdatePage(const std::string& expectedList, const std::string& choice)
    {
        ::ScriptUpdatePage(pages, CloudUpdatePages, expectedList, choice);
    }

    void ScriptResultPage(const std::string& expected) { ::ScriptResultPage(pages, CloudUpdatePages, expected); }

    // Gives the placed element a text parameter of that name and value.
    void SetInstanceText(const char* guid, const std::string& name, const std::u16string& text)
    {
        DevHost::PlacedElement* element = host->GetProject().Element(APIGuidFromString(guid));
        ASSERT_NE(element, nullptr);
        for (auto& p : element->params) {
            if (p.name == name) {
                p.text = text;
                return;
            }
        }
        DevHost::Parameter p;
        p.name = name;
        p.type = APIParT_CString;
        p.text = text;
        element->params.push_back(p);
    }

    std::u16string InstanceText(const char* guid, const std::string& name)
    {
        for (const auto& p : host->GetProject().Element(APIGuidFromString(guid))->params)
            if (p.name == name)
                return p.text;
        return u"(none)";
    }

    static std::string Result(const std::string& updatedClouds, const std::string& notUpdatedClouds = {})
    {
        auto product = [](const std::string& clouds, const char* updated) {
            std::string list;
            for (const char id : clouds)
                list += std::string(list.empty() ? "" : ",") + "{\"id\":" + (id == 'a' ? "12" : "15") +
                        ", \"isupdated\": " + updated + ", \"error\": null, \"warning\": null}";
            return std::string("{\"productguid\":\"") + ChairProduct + "\", \"clouds\": [" + list + "]}";
        };
        std::string json = "[";
        if (!updatedClouds.empty())
            json += product(updatedClouds, "true");
        if (!notUpdatedClouds.empty())
            json += std::string(json.size() > 1 ? "," : "") + product(notUpdatedClouds, "false");
        return json + "]";
    }

    std::string pageProblem;
};

}  // namespace

TEST_F(CloudUpdate, AttachedCloudsReachThePublishedEditionsInPartAndInstances)
{
    OpenProject({{12, 1, -1}});
    EXPECT_EQ(PageCalls("AddKDPC", 15), Answer(15, 0));
    EXPECT_EQ(InstanceRows(), (std::vector<double> {12, 1, -1, 15, 1, -1}));
    SetInstanceText(Chair, "KDPC_C0012_Resistance", u"old");
    SetInstanceText(Chair, "KDPC_C0015_Alpha", u"old");
    ASSERT_TRUE(service.PublishCloud(12, 4,
                                     {{{"name", "Fire resistance"},
                                       {"variableName", "KDPC_C0012_Resistance"},
                                       {"value", "EI 90"},
                                       {"visible", true},
                                       {"editable", false}},
                                      {{"name", "Smoke"},
                                       {"variableName", "KDPC_C0012_Smoke"},
                                       {"value", "S200"},
                                       {"visible", true},
                                       {"editable", false}}}));
    ASSERT_EQ(host->GetProject().SelectElements({}), "");

    ScriptUpdatePage(std::string(ChairProduct) + ",12,-1,15,-1;", std::string(ChairProduct) + ",12,4,15,1");
    ScriptResultPage(Result("ab"));
    const size_t queries = RequestCount("/GetKdpcInfoXml2");
    const size_t steps = CountLines(UpdateStepBegins);
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");

    EXPECT_GT(CountLines("KdpcUpdate?isSelectionUpdate=false"), 0u);
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), queries + 2) << "one query per cloud";
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, 4, 15, 1, 1}));
    EXPECT_EQ(InstanceRows(), (std::vector<double> {12, 1, 4, 15, 1, 1}));
    ASSERT_NE(ChairParam("KDPC_C0012_Smoke"), nullptr);
    EXPECT_EQ(ChairParam("KDPC_C0012_Resistance")->text, u"EI 90");
    EXPECT_EQ(ChairParam("KDPC_C0015_Alpha")->text, u"0.85");
    EXPECT_EQ(InstanceText(Chair, "KDPC_C0012_Resistance"), u"EI 90");
    EXPECT_EQ(InstanceText(Chair, "KDPC_C0015_Alpha"), u"0.85");
    EXPECT_EQ(CountLines(UpdateStepBegins), steps + 2) << "each instance change is a step of its own, per cloud";
    EXPECT_EQ(CountLines("refused"), 0u);
    EXPECT_EQ(CountLines("report alert"), 0u);

    // Nothing newer: the page is offered the current editions and nothing is asked for.
    pages.Forget(CloudUpdatePages.updatePage);
    pages.Forget(CloudUpdatePages.resultPage);
    pages.AddStep(CloudUpdatePages.updatePage, {Kind::Close, {}, {}});
    const size_t resultPages = CountLines("KDPCUpdateResult");
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), queries + 2);
    EXPECT_EQ(CountLines("KDPCUpdateResult"), resultPages) << "no result page without a result";
}

TEST_F(CloudUpdate, InstanceWithoutTheCloudEndsTheInstanceLoop)
{
    OpenProject({{12, 1, -1}}, {FourthChair, SecondChair, ThirdChair});
    for (const char* guid : {Chair, SecondChair, ThirdChair, FourthChair})
        SetInstanceText(guid, "KDPC_C0012_Resistance", u"old");
    // The fourth chair has no "KDPC_HNDL", the second none for cloud 12.
    auto& fourth = host->GetProject().Element(APIGuidFromString(FourthChair))->params;
    fourth.erase(std::remove_if(fourth.begin(), fourth.end(), [](const auto& p) { return p.name == "KDPC_HNDL"; }),
                 fourth.end());
    for (auto& p : host->GetProject().Element(APIGuidFromString(SecondChair))->params)
        if (p.name == "KDPC_HNDL")
            p.cells = {15, 1, -1};
    ASSERT_EQ(host->GetProject().SelectElements({}), "");

    ScriptUpdatePage(std::string(ChairProduct) + ",12,-1,15,-999;", std::string(ChairProduct) + ",12,3");
    ScriptResultPage(Result("a"));
    const size_t steps = CountLines(UpdateStepBegins);
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");

    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, 3}));
    EXPECT_EQ(ChairParam("KDPC_C0012_Resistance")->text, u"EI 60");
    EXPECT_EQ(InstanceRows(Chair), (std::vector<double> {12, 1, 3}));
    EXPECT_EQ(InstanceText(Chair, "KDPC_C0012_Resistance"), u"EI 60");
    EXPECT_EQ(CountLines("KDPC_HNDL parameter could not be found."), 1u) << "the fourth chair is skipped";
    EXPECT_EQ(InstanceText(FourthChair, "KDPC_C0012_Resistance"), u"old");
    EXPECT_EQ(CountLines("The KDPC identifier could not be found."), 1u) << "the second chair ends the loop";
    EXPECT_EQ(InstanceRows(SecondChair), (std::vector<double> {15, 1, -1}));
    EXPECT_EQ(InstanceText(SecondChair, "KDPC_C0012_Resistance"), u"old");
    EXPECT_EQ(InstanceRows(ThirdChair), (std::vector<double> {12, 1, -1}));
    EXPECT_EQ(InstanceText(ThirdChair, "KDPC_C0012_Resistance"), u"old");
    EXPECT_EQ(CountLines(UpdateStepBegins), steps + 1);
}

TEST_F(CloudUpdate, CloudsTheServiceCannotGiveAreReportedAsNotUpdated)
{
    OpenProject({{12, 1, -1}, {15, 1, -1}});
    ASSERT_EQ(host->GetProject().SelectElements({Chair}), "");
    ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", "malformed-xml", {{"count", 1}}));
    ScriptUpdatePage(std::string(ChairProduct) + ",12,-1,15,-1;", std::string(ChairProduct) + ",12,3,15,1;");
    ScriptResultPage(Result("b", "a"));
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");
    EXPECT_GT(CountLines("KdpcUpdate?isSelectionUpdate=true"), 0u);
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1, 15, 1, 1})) << "the cut answer changes nothing";
    EXPECT_EQ(ChairParam("KDPC_C0012_Resistance"), nullptr);
    EXPECT_NE(ChairParam("KDPC_C0015_Alpha"), nullptr);
}

TEST_F(CloudUpdate, AnswerWithoutEditionWritesMinusOne)
{
    OpenProject({{12, 1, 1}});
    ASSERT_TRUE(service.SetFault("/GetKdpcInfoXml2", "body",
                                 {{"body",
                                   "<Bim><KDPC Id='12' Name='Fire safety' VariableName='KDPC_C0012_Title' />"
                                   "<KDPCProperty Name='Fire resistance' VariableName='KDPC_C0012_Resistance' "
                                   "Value='EI 30' Visible='true' Editable='false' /></Bim>"}}));
    ScriptUpdatePage(std::string(ChairProduct) + ",12,1;", std::string(ChairProduct) + ",12,3");
    ScriptResultPage(Result("a"));
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, -1}));
    EXPECT_EQ(InstanceRows(), (std::vector<double> {12, 1, -1}));
    EXPECT_EQ(ChairParam("KDPC_C0012_Resistance")->text, u"EI 30");
}

TEST_F(CloudUpdate, EachPartOfTheProductIsRewrittenOncePerCloud)
{
    OpenProject({{12, 1, -1}, {15, 1, -1}}, {}, true);
    ASSERT_EQ(host->GetProject().SelectElements({}), "");
    ScriptUpdatePage(std::string(ChairProduct) + ",12,-1,15,-1;", std::string(ChairProduct) + ",12,3,15,1");
    ScriptResultPage(Result("ab"));
    const size_t queries = RequestCount("/GetKdpcInfoXml2");
    EXPECT_EQ(DGHost::ClickItem(PaletteId, CloudUpdateItem), "");
    EXPECT_EQ(RequestCount("/GetKdpcInfoXml2"), queries + 2);
    EXPECT_EQ(CountLines("library part rewritten: "), 4u);
    EXPECT_EQ(CountLines("\"Oak dining chair B\""), 2u);
    EXPECT_EQ(Rows(), (std::vector<double> {12, 1, 3, 15, 1, 1}));
    EXPECT_EQ(InstanceRows(ChairOfSecondPart), (std::vector<double> {12, 1, 3, 15, 1, 1}));
}
