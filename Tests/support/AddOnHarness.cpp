#include "AddOnHarness.hpp"

#include "DownloadObject.hpp"
#include "Folders.hpp"
#include "Kordela.hpp"
#include "MainPalette.hpp"
#include "ServiceRequest.hpp"

#include "DevHost/Project.hpp"
#include "GSPref.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace kordela::test {

namespace {

constexpr const char* OriginVariable = "KORDELA_SERVICE_ORIGIN";
// A failed test prints at most this much of the transcript and the request log (the end).
constexpr size_t DumpedLines = 300;
constexpr size_t DumpedRequests = 60;

// A loopback TCP socket bound to a free port; -1 when none could be made.
int BoundLoopbackSocket(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

ScopedServiceOrigin::ScopedServiceOrigin(const std::string& origin)
{
    if (const char* value = std::getenv(OriginVariable); value != nullptr)
        previous_ = value;
    ::setenv(OriginVariable, origin.c_str(), 1);
}

ScopedServiceOrigin::~ScopedServiceOrigin()
{
    if (previous_)
        ::setenv(OriginVariable, previous_->c_str(), 1);
    else
        ::unsetenv(OriginVariable);
}

int ClosedLoopbackPort()
{
    int port = 0;
    const int fd = BoundLoopbackSocket(port);
    if (fd < 0)
        return 0;
    // Bound but never listening: the port stays refused until another socket takes it,
    // which a system that hands out ports in turn does not do soon.
    ::close(fd);
    return port;
}

std::string RefusingOrigin()
{
    return "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort());
}

SilentListener::SilentListener()
{
    socket_ = BoundLoopbackSocket(port_);
    if (socket_ >= 0 && ::listen(socket_, 16) != 0) {
        ::close(socket_);
        socket_ = -1;
        port_ = 0;
    }
}

SilentListener::~SilentListener()
{
    if (socket_ >= 0)
        ::close(socket_);
}

UnannouncedLengthServer::UnannouncedLengthServer(std::string body, std::string head)
    : body_(std::move(body)), head_(std::move(head))
{
    listener_ = BoundLoopbackSocket(port_);
    if (listener_ < 0 || ::listen(listener_, 1) != 0)
        return;
    thread_ = std::thread([this] {
        const int connection = ::accept(listener_, nullptr, nullptr);
        if (connection < 0)
            return;
        char request[4096];
        std::string received;
        while (received.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(connection, request, sizeof request, 0);
            if (n <= 0)
                break;
            received.append(request, static_cast<size_t>(n));
        }
        const std::string answer = head_ + body_;
        (void)!::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        ::close(connection);
    });
}

UnannouncedLengthServer::~UnannouncedLengthServer()
{
    if (listener_ >= 0) {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
    }
    if (thread_.joinable())
        thread_.join();
}

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
    if (HasFailure() && host)
        PrintLines("transcript", host->TranscriptLines(), kordela::test::DumpedLines);
    ResetTransferLimits();
    host.reset();
}

void AddOnHarness::AttachAddOn()
{
    ASSERT_EQ(host->Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_HARNESS_RESOURCES_DIR, "add-on"), "");
}

void AddOnHarness::StartAddOn()
{
    ASSERT_NO_FATAL_FAILURE(AttachAddOn());
    host->Start();
}

void AddOnHarness::LoadAndStart()
{
    ASSERT_EQ(host->Load(KORDELA_HARNESS_MODULE_PATH), "");
    host->Start();
}

void AddOnHarness::OpenPalette()
{
    ASSERT_NO_FATAL_FAILURE(StartAddOn());
    ASSERT_EQ(host->SendMenuCommand(PaletteMenu), "");
    ASSERT_NE(mainPalette, nullptr);
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
            pageProblem += pages.RunPending();
    };
    pages.userDriver = [this](NSWindow& window) {
        if (beforePage)
            beforePage(OwnWindow);
        if (!window.isClosed())
            pageProblem += pages.RunPending();
    };
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

void AddOnHarness::ShowManufacturers(int n)
{
    for (int i = 0; i < n; ++i)
        mainPalette->customButtons[static_cast<size_t>(i)]->Show();
    if (n > 0)
        mainPalette->separator13.Show();
}

size_t AddOnHarness::ProgrammaticResizes() const
{
    size_t count = 0;
    for (const auto& line : host->TranscriptLines())
        count += line.rfind("palette 32600 size ", 0) == 0 && line.find("(user)") == std::string::npos ? 1 : 0;
    return count;
}

std::string AddOnHarness::Embedded()
{
    GS::Array<API_LibraryInfo> libraries;
    ACAPI_Environment(APIEnv_GetLibrariesID, &libraries);
    return libraries[0].location.ToUTF8POSIXPath() + "/KordelaLibrary";
}

std::string AddOnHarness::TemporaryFolder()
{
    char folder[TempPathSize] = {};
    GetTempPath(TempPathSize, folder);
    return folder;
}

std::vector<std::string> AddOnHarness::TemporaryFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TemporaryFolder()))
        names.push_back(entry.path().filename().string());
    return names;
}

int32_t AddOnHarness::IndexOf(const std::string& name) const
{
    for (const auto& part : host->GetProject().Parts())
        if (part.name == name)
            return part.index;
    return 0;
}

int AddOnHarness::Install(const std::string& url, const std::string& fileName)
{
    std::vector<char> urlBuffer(1024, '\0');
    std::vector<char> nameBuffer(1024, '\0');
    std::memcpy(urlBuffer.data(), url.data(), std::min<size_t>(url.size(), 1023));
    std::memcpy(nameBuffer.data(), fileName.data(), std::min<size_t>(fileName.size(), 1023));
    return DownloadObject(urlBuffer.data(), nameBuffer.data());
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

std::string AddOnServiceHarness::InstallerFile()
{
    return TemporaryFolder() + "/Kordela-ArchiCAD" + std::to_string(KORDELA_HOST_VERSION) + ".dmg";
}
