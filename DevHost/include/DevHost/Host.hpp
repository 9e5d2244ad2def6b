// The simulated host application: loads one add-on module built for its own host version,
// hands it the table of host functions, sends it menu commands and project events, and
// records everything the add-on makes visible in a transcript.
#pragma once

#include "ACAPI.hpp"
#include "DevHost/HostFaults.hpp"
#include "HostBackend.hpp"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace DevHost {

class Project;

struct Options {
    std::string profileFolder;       // empty: a fresh temporary folder, removed at the end
    std::ostream* echo = nullptr;    // where transcript lines are printed (see FlushTranscript)
    int echoDescriptor = -1;         // the file descriptor behind echo, for writing out after a crash
    bool hideServiceOrigin = false;  // write the local service's origin as "<service>"
};

class Host final : public Platform::HostBackend {
public:
    explicit Host(Options options);
    ~Host() override;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static constexpr int Version = KORDELA_HOST_VERSION;

    // Loads the module and hands over the table; answers an empty text or why it refused.
    std::string Load(const std::string& modulePath);
    // The same for an add-on linked into this program (the unit tests' way).
    std::string Attach(GetExportedFuncAddrsProc* getExports, SetImportedFuncAddrsProc* setImports,
                       const std::string& resourceFolder, const std::string& name);
    // CheckEnvironment, RegisterInterface and Initialize; answers Initialize's result.
    GSErrCode Start();
    // The project event of quitting, then FreeData; the module stays loaded until destruction.
    // Asked while a modal session runs (a dialog or window of the add-on waiting for the
    // user), the host first ends its sessions: the session loops return, the add-on's calls
    // unwind, and the quit follows when the host is back in its own event loop
    // (FinishPendingQuit, or the end of the menu command or event that opened them).
    void Quit();
    // FreeData without the quit event, as when the host unloads the add-on; the same care
    // for open modal sessions.
    void Unload();
    bool QuitPending() const { return pendingEnd_.has_value(); }
    void FinishPendingQuit();

    // Marks a modal session of the user's side for as long as it lives.
    class ModalSession {
    public:
        explicit ModalSession(Host& host) : host_(host) { ++host_.modalSessions_; }
        ~ModalSession() { --host_.modalSessions_; }
        ModalSession(const ModalSession&) = delete;
        ModalSession& operator=(const ModalSession&) = delete;

    private:
        Host& host_;
    };

    std::string SendMenuCommand(short menuResId, int32_t itemIndex = 1);
    void SendProjectEvent(int32_t eventCode);

    // A table the test can tamper with before Load, to play an older host.
    API_HostTable& Table() { return table_; }
    size_t& TableSize() { return tableSize_; }

    const std::string& ProfileFolder() const { return profile_; }
    std::string SpecialFolder(API_SpecFolderID id) const;
    // Puts a special folder elsewhere (the id as this host version numbers it).
    void SetSpecialFolder(API_SpecFolderID id, const std::string& folder) { specialFolders_[id] = folder; }
    // Where the host application lies (its special folder): "<profile>/Applications/ArchiCAD NN".
    std::string ApplicationFolder() const;
    std::string ResolveProgram(const std::string& program) const;
    GSResModule AddOnResModule() const { return resModule_; }

    const std::vector<std::string>& TranscriptLines() const { return transcript_; }
    bool TranscriptContains(const std::string& text) const;
    const std::vector<std::string>& Reports() const { return reports_; }
    // Where the registered menu stands; empty when none was registered.
    std::string MenuDescription() const;

    // What the scripted user does when a modal dialog opens; without it the dialog gets its close box.
    std::function<void(short dialogId)> modalDriver;
    std::deque<int> alertAnswers;                        // buttons to press, one per alert
    std::deque<std::optional<std::string>> folderPicks;  // folders to pick, nullopt = cancel

    // Lines reach echo in blocks: at each modal turn and scenario step, at the end, on
    // failure, and when much is pending. After a crash, FlushTranscriptAfterCrash writes
    // out what is pending.
    void FlushTranscript();
    // For fatal-signal handlers and the watchdog: writes the running host's pending lines
    // straight to the echo's descriptor, without allocating; does nothing if another
    // thread is in the middle of writing a line.
    static void FlushTranscriptAfterCrash();

    // HostBackend
    void Transcript(const std::string& line) override;
    void RunModalLoop(short dialogId) override;
    int AnswerAlert(const Platform::AlertRequest& alert) override;
    std::optional<std::string> PickFolder(const std::string& title, const std::string& startFolder) override;
    std::optional<int> FailCall(const char* name, const std::vector<std::string>& arguments) override;

    // Host functions, reached from the table.
    GSErrCode RegisterMenu(short menuResId, short promptResId, int32_t menuCode, int32_t flags);
    GSErrCode InstallMenuHandler(short menuResId, APIMenuCommandProc* handler);
    GSErrCode CatchProjectEvent(int32_t eventMask, APIProjectEventHandlerProc* handler);
    GSErrCode Environment(int32_t code, void* par1, void* par2, void* par3);
    GSErrCode Goodies(int32_t code, void* par1, void* par2, void* par3, void* par4);
    GSErrCode WriteReport(const char* text, bool withAlert);
    GSErrCode GetLocStr(char* buffer, size_t bufferSize, short resId, short index);
    GSErrCode UnregisterModelessWindow(int32_t referenceId);

    static Host* Current();
    // Started and not yet shut down by FreeData: host calls are answered.
    bool Running() const { return !freed_; }
    // Host calls made to fail on purpose (see HostFaults).
    HostFaults& Faults() { return faults_; }

    // The open project: libraries, placed elements, selection, toolbox and undo steps.
    Project& GetProject() { return *project_; }

private:
    std::string Normalise(std::string line) const;
    // The quit event (or not), then FreeData; deferred while a modal session runs.
    void End(bool quitEvent);

    Options options_;
    std::string profile_;
    bool ownsProfile_ = false;
    void* module_ = nullptr;
    API_AddOnExports exports_ {};
    API_HostTable table_ {};
    size_t tableSize_ = sizeof(API_HostTable);
    GSResModule resModule_ = 0;
    bool started_ = false;
    bool freed_ = false;
    int modalSessions_ = 0;
    std::optional<bool> pendingEnd_;  // ending asked for in a modal session: with the quit event or without
    std::map<API_SpecFolderID, std::string> specialFolders_;

    struct Menu {
        short resId = 0;
        short promptResId = 0;
        std::string title;
        std::vector<std::string> items;
        APIMenuCommandProc* handler = nullptr;
    };
    std::optional<Menu> menu_;
    APIProjectEventHandlerProc* eventHandler_ = nullptr;
    int32_t caughtEvents_ = 0;
    std::vector<std::string> transcript_;
    std::string pending_;  // lines not yet written to echo
    std::mutex pendingMutex_;
    std::vector<std::string> reports_;
    std::unique_ptr<Project> project_;
    HostFaults faults_;
};

std::string EventName(int32_t eventCode);
// A result code as the transcript writes it: 0x0000ABCD.
std::string Hex(int32_t value);

}  // namespace DevHost
