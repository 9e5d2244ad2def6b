#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"
#include "HostCall.hpp"

#include "CH.hpp"
#include "CommandRunnerHost.hpp"
#include "DGHost.hpp"
#include "GSPrefHost.hpp"
#include "IOFaults.hpp"
#include "RSHost.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace DevHost {
namespace {

Host* current = nullptr;
using Args = std::vector<std::string>;

// The table's entries forward to the one running host.
API_HostTable MakeTable()
{
    API_HostTable table {};
    table.RegisterMenu = [](short a, short b, int32_t c, int32_t d) {
        return HostCall(
            "RegisterMenu", [a] { return Args {std::to_string(a)}; },
            [&](Host& h) { return h.RegisterMenu(a, b, c, d); });
    };
    table.InstallMenuHandler = [](short a, APIMenuCommandProc* b) {
        return HostCall(
            "InstallMenuHandler", [a] { return Args {std::to_string(a)}; },
            [&](Host& h) { return h.InstallMenuHandler(a, b); });
    };
    table.CatchProjectEvent = [](int32_t a, APIProjectEventHandlerProc* b) {
        return HostCall(
            "CatchProjectEvent", [a] { return Args {Hex(a)}; }, [&](Host& h) { return h.CatchProjectEvent(a, b); });
    };
    table.Environment = [](int32_t a, void* b, void* c, void* d) {
        return HostCall(
            "Environment", [a] { return Args {CodeText(a)}; }, [&](Host& h) { return h.Environment(a, b, c, d); });
    };
    table.Goodies = [](int32_t a, void* b, void* c, void* d, void* e) {
        return HostCall(
            "Goodies", [a] { return Args {CodeText(a)}; }, [&](Host& h) { return h.Goodies(a, b, c, d, e); });
    };
    table.WriteReport = [](const char* a, bool b) {
        return HostCall("WriteReport", [&](Host& h) { return h.WriteReport(a, b); });
    };
    table.GetLocStr = [](char* a, size_t b, short c, short d) {
        // A string that cannot be read leaves an empty text.
        if (a != nullptr && b > 0)
            a[0] = '\0';
        return HostCall(
            "GetLocStr",
            [c, d] {
                return Args {std::to_string(c), std::to_string(c) + "/" + std::to_string(d)};
            },
            [&](Host& h) { return h.GetLocStr(a, b, c, d); });
    };
    table.UnregisterModelessWindow = [](int32_t a) {
        return HostCall(
            "UnregisterModelessWindow", [a] { return Args {std::to_string(a)}; },
            [&](Host& h) { return h.UnregisterModelessWindow(a); });
    };
    table.GetOwnResModule = [](GSResModule* module) {
        return HostCall("GetOwnResModule", [&](Host& h) {
            *module = h.AddOnResModule();
            return *module != 0 ? NoError : ErrCode::General;
        });
    };
    Project::FillTable(table);
    return table;
}

}  // namespace

std::string Hex(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(value));
    return text;
}

std::string EventName(int32_t eventCode)
{
    switch (eventCode) {
    case APINotify_New: return "new project";
    case APINotify_NewAndReset: return "new project with reset";
    case APINotify_Open: return "open project";
    case APINotify_Close: return "close project";
    case APINotify_Quit: return "quit";
    case APINotify_ChangeLibrary: return "library change";
    default: return "event " + Hex(eventCode);
    }
}

Host* Host::Current()
{
    return current;
}

Host::Host(Options options)
    : options_(std::move(options)), table_(MakeTable()), faults_([this](const std::string& line) { Transcript(line); })
{
    if (options_.profileFolder.empty()) {
        std::string pattern = (fs::temp_directory_path() / "devhost-profile-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a profile folder");
        profile_ = pattern;
        ownsProfile_ = true;
    } else {
        fs::create_directories(options_.profileFolder);
        profile_ = fs::canonical(options_.profileFolder).string();
    }
    for (const char* sub : {"Documents", "Temp/Kordela", "Help"})
        fs::create_directories(fs::path(profile_) / sub);
    fs::create_directories(ApplicationFolder());
    Platform::SetProgramResolver([this](const std::string& program) { return ResolveProgram(program); });
    project_ = std::make_unique<Project>([this](const std::string& line) { Transcript(line); },
                                         (fs::path(profile_) / "Project").string());
    current = this;
    Platform::SetHostBackend(this);
    GSPref::SetStoreFile((fs::path(profile_) / "Preferences.json").string());
}

Host::~Host()
{
    if (started_ && !freed_)
        Quit();
    DGHost::DisposeAll();
    FlushTranscript();
    // The module stays mapped: objects it made may still be referenced by the frameworks.
    if (current == this) {
        Platform::SetProgramResolver(nullptr);
        Platform::SetHostBackend(nullptr);
        GSPref::SetStoreFile("");
        // Faults of this host's file system do not outlive it.
        IO::Faults::Clear();
        current = nullptr;
    }
    if (ownsProfile_) {
        std::error_code ec;
        fs::remove_all(profile_, ec);
    }
}

std::string Host::Load(const std::string& modulePath)
{
    module_ = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* error = ::dlerror();
        return "cannot load " + modulePath + ": " + (error != nullptr ? error : "unknown error");
    }
    auto* getExports = reinterpret_cast<GetExportedFuncAddrsProc*>(::dlsym(module_, "GetExportedFuncAddrs"));
    auto* setImports = reinterpret_cast<SetImportedFuncAddrsProc*>(::dlsym(module_, "SetImportedFuncAddrs"));
    if (getExports == nullptr || setImports == nullptr)
        return modulePath + " is not an add-on: it does not export the host glue";
    return Attach(getExports, setImports, (fs::path(modulePath).parent_path() / "Resources").string(), modulePath);
}

std::string Host::Attach(GetExportedFuncAddrsProc* getExports, SetImportedFuncAddrsProc* setImports,
                         const std::string& resourceFolder, const std::string& name)
{
    if (getExports(&exports_) != NoError)
        return name + " did not report its exports";
    const int moduleVersion = static_cast<int>(exports_.versionWord >> 16);
    if (moduleVersion != Version)
        return name + " is built for host " + std::to_string(moduleVersion) + ", this is host " +
               std::to_string(Version);
    resModule_ = RS::RegisterModule(resourceFolder);
    if (setImports(&table_, tableSize_) != NoError)
        return name + " refused the host's function table";
    Transcript("host " + std::to_string(Version) + ": loaded add-on (version word " +
               Hex(static_cast<int32_t>(exports_.versionWord)) + ", build " + std::to_string(exports_.buildNumber) +
               ")");
    return {};
}

GSErrCode Host::Start()
{
    API_EnvirParams envir;
    const API_AddonType type = exports_.checkEnvironment(&envir);
#if KORDELA_HOST_VERSION >= 21
    Transcript("add-on \"" + envir.addOnInfo.name.ToUTF8() + "\": " + envir.addOnInfo.description.ToUTF8());
#else
    Transcript("add-on \"" + envir.addOnInfo.name.Std() + "\": " + envir.addOnInfo.description.Std());
#endif
    Transcript("add-on type " + std::to_string(type) + (type == APIAddon_Preload ? " (stays loaded)" : ""));
    const GSErrCode registered = exports_.registerInterface();
    Transcript("RegisterInterface -> " + Hex(registered));
    const GSErrCode initialised = exports_.initialize();
    Transcript("Initialize -> " + Hex(initialised));
    started_ = true;
    return initialised;
}

void Host::Quit()
{
    End(true);
}

void Host::Unload()
{
    End(false);
}

void Host::End(bool quitEvent)
{
    if (!started_ || freed_)
        return;
    if (modalSessions_ > 0) {
        if (!pendingEnd_)
            Transcript(std::string(quitEvent ? "quit" : "unload") + ": the host first ends its open modal sessions");
        pendingEnd_ = pendingEnd_.value_or(false) || quitEvent;
        return;
    }
    pendingEnd_.reset();
    if (quitEvent)
        SendProjectEvent(APINotify_Quit);
    else
        Transcript("> unload (no quit event)");
    const GSErrCode result = exports_.freeData();
    Transcript("FreeData -> " + Hex(result));
    freed_ = true;
}

void Host::FinishPendingQuit()
{
    if (pendingEnd_ && modalSessions_ == 0)
        End(*pendingEnd_);
}

std::string Host::SendMenuCommand(short menuResId, int32_t itemIndex)
{
    if (!menu_ || menu_->resId != menuResId)
        return "no menu " + std::to_string(menuResId) + " is registered";
    if (menu_->handler == nullptr)
        return "menu " + std::to_string(menuResId) + " has no handler";
    Transcript("> menu " + std::to_string(menuResId) + " item " + std::to_string(itemIndex));
    API_MenuParams params;
    params.menuItemRef.menuResID = menuResId;
    params.menuItemRef.itemIndex = itemIndex;
    menu_->handler(&params);
    FinishPendingQuit();
    return {};
}

void Host::SendProjectEvent(int32_t eventCode)
{
    const bool caught = eventHandler_ != nullptr && (caughtEvents_ & eventCode) != 0;
    Transcript("> project event " + Hex(eventCode) + " (" + EventName(eventCode) + ")" +
               (caught ? "" : ": not caught by the add-on"));
    if (caught) {
        eventHandler_(static_cast<API_NotifyEventID>(eventCode), 0);
        FinishPendingQuit();
    }
}

std::string Host::SpecialFolder(API_SpecFolderID id) const
{
    if (const auto set = specialFolders_.find(id); set != specialFolders_.end())
        return set->second;
    // Hosts 15 and 16 number their special folders one lower.
    const int shift = Version <= 16 ? 1 : 0;
    if (id == 6 - shift)
        return profile_ + "/Documents";
    if (id == 7 - shift)
        return profile_ + "/Temp/Kordela";
    if (id == 8 - shift)
        return ApplicationFolder();
    if (id == 12 - shift)
        return profile_ + "/Help";
    return {};
}

std::string Host::ApplicationFolder() const
{
    return profile_ + "/Applications/ArchiCAD " + std::to_string(Version);
}

// The system's disk-image tool and the host application itself are played by small
// programs of ours that lie beside devhost and say what they were asked to do.
std::string Host::ResolveProgram(const std::string& program) const
{
    const fs::path tools = fs::canonical("/proc/self/exe").parent_path();
    if (program == "/usr/bin/hdiutil")
        return (tools / "devhost-hdiutil").string();
    const std::string suffix = "/Contents/MacOS/ArchiCAD";
    if (program.rfind(ApplicationFolder() + "/", 0) == 0 && program.size() > suffix.size() &&
        program.compare(program.size() - suffix.size(), suffix.size(), suffix) == 0)
        return (tools / "devhost-hostapp").string();
    return program;
}

bool Host::TranscriptContains(const std::string& text) const
{
    for (const auto& line : transcript_)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

std::string Host::MenuDescription() const
{
    if (!menu_)
        return {};
    std::string text = std::to_string(menu_->resId) + " \"" + menu_->title + "\"";
    for (const auto& item : menu_->items)
        text += " [" + item + "]";
    return text;
}

namespace {
void ReplaceAll(std::string& line, const std::string& what, const std::string& by)
{
    if (what.empty())
        return;
    for (size_t at = line.find(what); at != std::string::npos; at = line.find(what, at + by.size()))
        line.replace(at, what.size(), by);
}

bool IsUuidAt(const std::string& line, size_t at)
{
    if (at + 36 > line.size())
        return false;
    for (size_t i = 0; i < 36; ++i) {
        const char c = line[at + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}
}  // namespace

// Transcripts stay the same from run to run: the profile folder, the local service's port
// and the fresh names of answer files are written as placeholders.
std::string Host::Normalise(std::string line) const
{
    ReplaceAll(line, profile_, "<profile>");
    if (const char* origin = std::getenv("KORDELA_SERVICE_ORIGIN"); origin != nullptr && options_.hideServiceOrigin)
        ReplaceAll(line, origin, "<service>");
    const std::string temp = "<profile>/Temp/";
    for (size_t at = line.find(temp); at != std::string::npos; at = line.find(temp, at + 1))
        if (IsUuidAt(line, at + temp.size()))
            line.replace(at + temp.size(), 36, "<answer>");
    return line;
}

namespace {
constexpr size_t PendingLimit = 1 << 20;
}

void Host::Transcript(const std::string& line)
{
    std::string normalised = Normalise(line);
    if (options_.echo != nullptr) {
        bool full = false;
        {
            std::lock_guard lock(pendingMutex_);
            pending_ += normalised;
            pending_ += '\n';
            full = pending_.size() >= PendingLimit;
        }
        if (full)
            FlushTranscript();
    }
    transcript_.push_back(std::move(normalised));
}

void Host::FlushTranscript()
{
    if (options_.echo == nullptr)
        return;
    std::lock_guard lock(pendingMutex_);
    options_.echo->write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    options_.echo->flush();
    pending_.clear();
}

void Host::FlushTranscriptAfterCrash()
{
    Host* host = current;
    if (host == nullptr || host->options_.echoDescriptor < 0 || !host->pendingMutex_.try_lock())
        return;
    const char* data = host->pending_.data();
    size_t left = host->pending_.size();
    while (left > 0) {
        const ssize_t written = ::write(host->options_.echoDescriptor, data, left);
        if (written <= 0)
            break;
        data += written;
        left -= static_cast<size_t>(written);
    }
    host->pending_.clear();
    host->pendingMutex_.unlock();
}

void Host::RunModalLoop(short dialogId)
{
    FlushTranscript();
    // On the way to quitting, a dialog that opens now is closed at once.
    if (pendingEnd_)
        return;
    const ModalSession session(*this);
    if (modalDriver)
        modalDriver(dialogId);
}

int Host::AnswerAlert(const Platform::AlertRequest& alert)
{
    int answer = 1;
    if (!alertAnswers.empty()) {
        answer = alertAnswers.front();
        alertAnswers.pop_front();
    }
    std::string buttons;
    for (const auto& button : alert.buttons)
        buttons += " [" + button + "]";
    Transcript("alert \"" + alert.title + "\": " + alert.text +
               (alert.secondaryText.empty() ? "" : " / " + alert.secondaryText) + buttons + " -> " +
               std::to_string(answer) + " (type " + std::to_string(alert.type) + ")");
    return answer;
}

std::optional<int> Host::FailCall(const char* name, const std::vector<std::string>& arguments)
{
    return faults_.Take(name, [&arguments] { return arguments; });
}

std::optional<std::string> Host::PickFolder(const std::string&, const std::string&)
{
    if (folderPicks.empty())
        return std::nullopt;
    auto pick = folderPicks.front();
    folderPicks.pop_front();
    return pick;
}

GSErrCode Host::RegisterMenu(short menuResId, short promptResId, int32_t menuCode, int32_t flags)
{
    const auto resource = RS::GetMenu(resModule_, menuResId);
    if (!resource) {
        Transcript("menu " + std::to_string(menuResId) + " refused: no such menu resource");
        return ErrCode::General;
    }
    menu_ = Menu {menuResId, promptResId, resource->title, resource->items, nullptr};
    Transcript("menu registered: " + MenuDescription() + ", prompts " + std::to_string(promptResId) + ", position " +
               std::to_string(menuCode) + ", flags " + std::to_string(flags));
    return NoError;
}

GSErrCode Host::InstallMenuHandler(short menuResId, APIMenuCommandProc* handler)
{
    if (!menu_ || menu_->resId != menuResId || handler == nullptr)
        return ErrCode::General;
    menu_->handler = handler;
    Transcript("menu handler installed for " + std::to_string(menuResId));
    return NoError;
}

GSErrCode Host::CatchProjectEvent(int32_t eventMask, APIProjectEventHandlerProc* handler)
{
    if (handler != nullptr) {
        eventHandler_ = handler;
        caughtEvents_ |= eventMask;
        Transcript("project events " + Hex(eventMask) + " caught");
    } else {
        caughtEvents_ &= ~eventMask;
        Transcript("project events " + Hex(eventMask) + " released");
    }
    return NoError;
}

GSErrCode Host::Environment(int32_t code, void* par1, void* par2, void*)
{
    if (code == APIEnv_GetSpecFolderID) {
        const auto* id = static_cast<const API_SpecFolderID*>(par1);
        auto* location = static_cast<IO::Location*>(par2);
        if (id == nullptr || location == nullptr)
            return ErrCode::General;
        const std::string folder = SpecialFolder(*id);
        if (folder.empty())
            return ErrCode::General;
        *location = IO::Location(folder);
        return NoError;
    }
    return project_->Environment(code, par1, par2).value_or(ErrCode::General);
}

GSErrCode Host::Goodies(int32_t code, void* par1, void* par2, void*, void*)
{
    return project_->Goodies(code, par1, par2).value_or(ErrCode::General);
}

GSErrCode Host::WriteReport(const char* text, bool withAlert)
{
    const std::string line = text != nullptr ? text : "";
    reports_.push_back(line);
    Transcript(std::string(withAlert ? "report alert: " : "report: ") + line);
    return NoError;
}

GSErrCode Host::GetLocStr(char* buffer, size_t bufferSize, short resId, short index)
{
    GS::UniString text;
    if (buffer == nullptr || bufferSize == 0)
        return ErrCode::General;
    if (!RSGetIndString(&text, resId, index, resModule_)) {
        buffer[0] = '\0';
        return ErrCode::General;
    }
    CHTruncate(text.ToUTF8().c_str(), buffer, bufferSize);
    return NoError;
}

GSErrCode Host::UnregisterModelessWindow(int32_t referenceId)
{
    Transcript("modeless window " + std::to_string(referenceId) + " unregistered");
    return NoError;
}

}  // namespace DevHost
