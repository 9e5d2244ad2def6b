#include "AddOnHarness.hpp"

#include "DevHost/Project.hpp"
#include "GSPrefHost.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kordela::test {

namespace {

// A failed test prints at most this much of the transcript and the request log (the end).
constexpr size_t DumpedLines = 300;
constexpr size_t DumpedRequests = 60;

}  // namespace

std::vector<nlohmann::json> FilterRequests(const nlohmann::json& log, const RequestFilter& filter)
{
    std::vector<nlohmann::json> found;
    if (!log.is_array())
        return found;
    for (const auto& entry : log) {
        if (!entry.is_object())
            continue;
        const std::string path = entry.value("path", "");
        if (!filter.path.empty() && path != filter.path)
            continue;
        if (!filter.pathPrefix.empty() && path.rfind(filter.pathPrefix, 0) != 0)
            continue;
        if (!filter.method.empty() && entry.value("method", "") != filter.method)
            continue;
        found.push_back(entry);
    }
    return found;
}

void AddBridgeCall(DevHost::ScriptedPages& pages, const std::string& pattern, const BridgeCall& call)
{
    using Kind = DevHost::PageStep::Kind;
    if constexpr (ModernPages) {
        nlohmann::json message = {{"functionName", call.message}};
        for (const auto& [name, value] : call.fields.items())
            message[name] = value;
        pages.AddStep(pattern, {Kind::Post, message.dump(), {}});
        if (!call.callback.empty())
            pages.AddStep(pattern, {Kind::Await, call.callback, {}});
    } else if (!call.legacyFunction.empty()) {
        pages.AddStep(pattern, {Kind::Call, call.legacyFunction, call.legacyArgs});
    }
}

std::optional<std::string> BridgeAnswer(const std::vector<std::string>& lines, const BridgeCall& call)
{
    const std::string marker = ModernPages ? " received " + call.callback + ": " : std::string(" got ");
    for (const std::string& line : lines) {
        const size_t at = line.find(marker);
        if (at == std::string::npos)
            continue;
        const std::string rest = line.substr(at + marker.size());
        if constexpr (!ModernPages)
            return rest;
        const nlohmann::json text = nlohmann::json::parse(rest, nullptr, false);
        return text.is_string() ? text.get<std::string>() : rest;
    }
    return std::nullopt;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SampleFile(const std::string& path)
{
    return ReadFile(std::string(KORDELA_SAMPLES_DIR) + "/files/" + path);
}

}  // namespace kordela::test

namespace {

void PrintLines(const char* what, const std::vector<std::string>& lines, size_t most)
{
    const size_t from = lines.size() > most ? lines.size() - most : 0;
    std::fprintf(stderr, "---- %s (%zu lines%s)\n", what, lines.size(), from > 0 ? ", the last shown" : "");
    for (size_t i = from; i < lines.size(); ++i)
        std::fprintf(stderr, "| %s\n", lines[i].c_str());
}

}  // namespace

void AddOnHarness::SetUp()
{
    host = std::make_unique<DevHost::Host>(DevHost::Options {});
}

void AddOnHarness::TearDown()
{
    // A page step the test scripted and no page played checked nothing.
    if (!HasFailure()) {
        EXPECT_EQ(pages.LinesNeverRun().reason, "");
    }
    if (HasFailure() && host)
        PrintLines("transcript", host->TranscriptLines(), kordela::test::DumpedLines);
    if (resetLinkedAddOn_)
        resetLinkedAddOn_();
    host.reset();
}

void AddOnHarness::LoadAndStart()
{
    ASSERT_EQ(host->Load(KORDELA_HARNESS_MODULE_PATH), "");
    host->Start();
}

void AddOnHarness::OpenSampleProject()
{
    ASSERT_EQ(host->GetProject().Open(std::string(KORDELA_SAMPLES_DIR) + "/project/Project.json", true), "");
}

std::string AddOnHarness::CopySampleProject() const
{
    namespace fs = std::filesystem;
    fs::create_directories(Profile() + "/Projects");
    std::string pattern = Profile() + "/Projects/sample-XXXXXX";
    const fs::path folder = ::mkdtemp(pattern.data());
    fs::copy(fs::path(KORDELA_SAMPLES_DIR) / "project", folder, fs::copy_options::recursive);
    return (folder / "Project.json").string();
}

void AddOnHarness::PlayPagesInWindows()
{
    host->modalDriver = [this](short dialogId) {
        if (beforePage)
            beforePage(dialogId);
        if (DGHost::IsOpen(dialogId))
            pageProblem += pages.RunPending().reason;
    };
    pages.userDriver = [this](NSWindow& window) {
        if (beforePage)
            beforePage(OwnWindow);
        if (!window.isClosed())
            pageProblem += pages.RunPending().reason;
    };
}

void AddOnHarness::PlayProgressPage()
{
    PlayPagesInWindows();
    // The legacy page asks by itself once it has loaded. The page stands in for the real one
    // whenever a download opens it; a test may well open none.
    AddBridgeCall("/CadApplication/ProgressDialog", {.message = "downloadProgress"});
    pages.MayNotOpen("/CadApplication/ProgressDialog");
}

void AddOnHarness::AddBridgeCall(const std::string& pattern, const kordela::test::BridgeCall& call)
{
    kordela::test::AddBridgeCall(pages, pattern, call);
}

std::string AddOnHarness::BridgeAnswerSince(TranscriptMark mark, const kordela::test::BridgeCall& call) const
{
    return kordela::test::BridgeAnswer(LinesSince(mark), call).value_or("(no answer)");
}

void AddOnHarness::ClosePageWindow(short dialogId)
{
    if constexpr (kordela::test::ModernPages) {
        DGHost::CloseBox(dialogId);
    } else if (NSWindow* window = pages.FrontWindow(); window != nullptr) {
        window->close();
    }
}

std::string AddOnHarness::ClosePageWindowLine(short dialogId)
{
    return kordela::test::ModernPages ? "close-box " + std::to_string(dialogId) : std::string("close-window");
}

std::vector<std::string> AddOnHarness::LinesSince(TranscriptMark mark) const
{
    const auto& lines = host->TranscriptLines();
    return {lines.begin() + static_cast<long>(std::min(mark.line, lines.size())), lines.end()};
}

size_t AddOnHarness::CountSince(TranscriptMark mark, const std::string& text) const
{
    const auto& lines = host->TranscriptLines();
    size_t count = 0;
    for (size_t i = mark.line; i < lines.size(); ++i)
        count += lines[i].find(text) != std::string::npos ? 1 : 0;
    return count;
}

void AddOnHarness::StoreSetting(const char* key, const std::string& value)
{
    GSPref::RootKey* root = nullptr;
    ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), NoError);
    root->SetStringValue("Kordela", key, value.c_str());
    GSPref::CloseRootKey(root);
}

std::string AddOnHarness::Setting(const char* key)
{
    return GSPref::PeekValue("Kordela", key);
}

std::string AddOnHarness::PaletteSize()
{
    const auto palette = Palette();
    return palette ? std::to_string(palette->width) + "x" + std::to_string(palette->height) : "none";
}

bool AddOnHarness::PaletteVisible()
{
    const auto palette = Palette();
    return palette && palette->visible;
}

size_t AddOnHarness::ProgrammaticResizes() const
{
    size_t count = 0;
    for (const auto& line : host->TranscriptLines())
        count += line.rfind("palette 32600 size ", 0) == 0 && line.find("(user)") == std::string::npos ? 1 : 0;
    return count;
}

int32_t AddOnHarness::IndexOf(const std::string& name) const
{
    for (const auto& part : host->GetProject().Parts())
        if (part.name == name)
            return part.index;
    return 0;
}

std::vector<int> AddOnHarness::Progress() const
{
    std::vector<int> values;
    for (const auto& script : pages.Evaluated())
        if (script.rfind("setProgress(", 0) == 0)
            values.push_back(std::stoi(script.substr(12)));
    return values;
}

void AddOnServiceHarness::SetUp()
{
    ASSERT_TRUE(service.Running());
    origin_.emplace(service.Origin());
    AddOnHarness::SetUp();
    ASSERT_TRUE(service.Reset());
}

void AddOnServiceHarness::TearDown()
{
    if (HasFailure()) {
        std::vector<std::string> lines;
        for (const auto& entry : service.Log())
            lines.push_back(entry.dump());
        PrintLines("service requests", lines, kordela::test::DumpedRequests);
    }
    AddOnHarness::TearDown();
    origin_.reset();
}

std::vector<nlohmann::json> AddOnServiceHarness::RequestsWhere(const kordela::test::RequestFilter& filter) const
{
    return kordela::test::FilterRequests(service.Log(), filter);
}

void AddOnServiceHarness::PublishVersion(const std::string& version)
{
    nlohmann::json catalogue = service.Catalogue();
    catalogue["publishedVersions"][std::to_string(KORDELA_HOST_VERSION)] = version;
    ASSERT_TRUE(service.SetCatalogue(catalogue));
}

std::string AddOnServiceHarness::VersionFilePath()
{
    return "/kordela_data/documents/Apps/versionMac" + std::to_string(KORDELA_HOST_VERSION) + ".txt";
}
