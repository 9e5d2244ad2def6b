// The add-on in the simulated host, for the integration tests: one fixture family.
//
//   AddOnHarness         a simulated host for each test; the add-on linked into the test
//                        program (attached, started, its palette opened) or the real module
//                        loaded; pages played by script; the transcript since a mark; the
//                        transcript printed when the test fails.
//   AddOnServiceHarness  the same against a local catalogue service of its own, whose origin
//                        the add-on uses for the test; a filter over the service's request
//                        log, which is printed too when the test fails.
//   AddOnDownloadHarness the linked add-on attached, downloads from the service behind the
//                        scripted progress page.
//   AddOnPaletteHarness  the palette's services: a sample API key stored.
//
// Pages of the host 18 build talk through the legacy web view's script object instead of
// posting messages: BridgeCall and the page-window helpers say each thing once for both, so
// that tests need no branches on the host version.
//
// The scoped service origin, the closed port, the silent listener and the one-answer server
// come from LocalService.hpp. Programs that link the add-on take kordela_addon_harness; those
// that only load the module take kordela_module_harness and use LoadAndStart.
#pragma once

#include "LocalService.hpp"

#include "DGHost.hpp"
#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"
#include "DevHost/ScriptedPages.hpp"
#include "HostVersion.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kordela::test {

// Which entries of the service's request log a test means; empty fields match anything.
struct RequestFilter {
    std::string path {};        // exactly this path
    std::string pathPrefix {};  // paths that begin so
    std::string method {};      // "GET", "POST"
};
std::vector<nlohmann::json> FilterRequests(const nlohmann::json& log, const RequestFilter& filter);

// One message a page sends to the add-on. The modern web view posts {"functionName":
// message, fields...} and, when `callback` is given, awaits the add-on's call of that page
// function; the legacy web view calls `legacyFunction` of its script object with
// `legacyArgs` (JSON values), and sends nothing when it has no such function.
struct BridgeCall {
    std::string message {};
    nlohmann::json fields = nlohmann::json::object();
    std::string callback {};
    std::string legacyFunction {};
    std::vector<std::string> legacyArgs {};
};
// Adds the call to the script of the pages matching `pattern`, as this build's web view sends it.
void AddBridgeCall(DevHost::ScriptedPages& pages, const std::string& pattern, const BridgeCall& call);
// The add-on's answer to the call in these transcript lines: the text the callback received,
// or on the legacy web view the value the call returned; nullopt when there is none.
std::optional<std::string> BridgeAnswer(const std::vector<std::string>& lines, const BridgeCall& call);

// The contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// A file of the samples' downloadable files (Samples/files/<path>).
std::string SampleFile(const std::string& path);

// Whether this build's browser pages post messages (false: the legacy web view of host 18).
inline constexpr bool ModernPages = HostHasModernWebView;

}  // namespace kordela::test

// A position in the transcript: what came after it is what happened since.
struct TranscriptMark {
    size_t line = 0;
};

class AddOnHarness : public ::testing::Test {
protected:
    static constexpr short PaletteId = 32600;
    static constexpr short PaletteMenu = 32500;
    static constexpr short SettingsId = 32606;
    static constexpr short BrowserId = 32590;
    static constexpr short ProgressId = 32591;
    // What beforePage is given for the add-on's own window of the legacy web view.
    static constexpr short OwnWindow = 0;

    void SetUp() override;
    // Fails a test whose scripted page step never ran (a check that never ran checked
    // nothing), apart from the pages it said may not open (pages.MayNotOpen); prints the
    // transcript when the test failed, and puts back the linked add-on's transfer limits.
    void TearDown() override;

    // The add-on linked into the test program, handed the host's table (not started).
    void AttachAddOn();
    // ... and started: CheckEnvironment, RegisterInterface, Initialize.
    void StartAddOn();
    // The real module, loaded and started as the host does.
    void LoadAndStart();
    // The started add-on's palette, opened by its menu command.
    void OpenPalette();
    void OpenSampleProject();
    // A working copy of the sample project in a new folder of the host's profile (which goes
    // with the host); answers the path of its project file.
    std::string CopySampleProject() const;

    // Pages play their scripts whenever a dialog or a browser window of the add-on waits;
    // beforePage acts first (with the dialog's id, or OwnWindow), problems go to pageProblem.
    void PlayPagesInWindows();
    // ... and the progress page asks for each transfer step, as downloads need.
    void PlayProgressPage();
    // Adds a page message to the script of the pages matching `pattern`.
    void AddBridgeCall(const std::string& pattern, const kordela::test::BridgeCall& call);
    // The add-on's answer to `call` since the mark, "(no answer)" when there was none.
    std::string BridgeAnswerSince(TranscriptMark mark, const kordela::test::BridgeCall& call) const;
    // Closes a page's window as the user does: the dialog's close box, or on the legacy web
    // view the add-on's own window in front.
    void ClosePageWindow(short dialogId);
    // The same as a scenario line.
    static std::string ClosePageWindowLine(short dialogId);

    TranscriptMark Mark() const { return {host->TranscriptLines().size()}; }
    std::vector<std::string> LinesSince(TranscriptMark mark) const;
    size_t CountSince(TranscriptMark mark, const std::string& text) const;
    bool SaidSince(TranscriptMark mark, const std::string& text) const { return CountSince(mark, text) > 0; }
    // Transcript lines containing `text`, from the start.
    size_t CountLines(const std::string& text) const { return CountSince({}, text); }

    // Settings as an earlier run would have left them.
    static void StoreSetting(const char* key, const std::string& value);
    static std::string Setting(const char* key);

    // The palette as the window system has it.
    static std::optional<DGHost::DialogInfo> Palette() { return DGHost::GetDialog(PaletteId); }
    static std::string PaletteSize();
    static bool PaletteVisible();
    static DGHost::ItemInfo Item(short item) { return Palette()->items.at(static_cast<size_t>(item) - 1); }
    static int Row(short item) { return (Item(item).y - 1) / 45; }
    // Shows the first n manufacturer buttons, as the featured manufacturers would.
    static void ShowManufacturers(int n);
    // Palette resizes the user did not make.
    size_t ProgrammaticResizes() const;
    // The open palette's self-update check, as its opening runs it.
    static GSErrCode ObserverCheck();
    // How often the user was offered a newer add-on.
    size_t Offers() const { return CountLines("A newer version of the Kordela add-on is available."); }

    // Folders of the add-on in the host's profile.
    std::string Profile() const { return host->ProfileFolder(); }
    std::string Temp() const { return Profile() + "/Temp"; }
    std::string DownloadFolder() const { return Profile() + "/Documents/KordelaLibrary"; }
    static std::string Embedded();
    static std::string TemporaryFolder();
    static std::vector<std::string> TemporaryFiles();

    // The library part index of the part of that name, 0 when there is none.
    int32_t IndexOf(const std::string& name) const;

    // Hands the page's two texts to the installation as the opener does: 1024-byte buffers.
    static int Install(const std::string& url, const std::string& fileName);
    // The progress values the progress page was given, one per transfer step.
    std::vector<int> Progress() const;

    std::unique_ptr<DevHost::Host> host;
    DevHost::ScriptedPages pages;
    std::string pageProblem;
    std::function<void(short dialogId)> beforePage;

private:
    std::function<void()> resetLinkedAddOn_;
};

class AddOnServiceHarness : public AddOnHarness {
protected:
    // The service's origin is the add-on's for the test; the service starts with a clean log.
    void SetUp() override;
    // Prints the request log too when the test failed.
    void TearDown() override;

    // What the service received since its last reset, oldest first: the requests the filter
    // matches, or those of one path.
    std::vector<nlohmann::json> RequestsWhere(const kordela::test::RequestFilter& filter) const;
    size_t RequestCountWhere(const kordela::test::RequestFilter& filter) const { return RequestsWhere(filter).size(); }
    std::vector<nlohmann::json> Requests(const std::string& path) const { return RequestsWhere({.path = path}); }
    size_t RequestCount(const std::string& path) const { return Requests(path).size(); }

    std::string FileUrl(const std::string& path) const { return service.Url("/files/" + path); }
    // The catalogue site's address of a page, as the service serves it.
    std::string Site(const std::string& pathAndQuery) const { return service.Origin() + pathAndQuery; }
    // The version the service publishes for this host version.
    void PublishVersion(const std::string& version);
    static std::string VersionFilePath();
    static std::string InstallerFile();
    static constexpr const char* InstallerPath = "/kordela_data/documents/Apps/Kordela.dmg";
    // Requests for manufacturers' logos.
    size_t LogoRequests() const { return RequestCountWhere({.pathPrefix = "/logos/"}); }

    kordela::test::LocalService service {kordela::test::LocalService::Options::Quiet()};

private:
    std::optional<kordela::test::ScopedServiceOrigin> origin_;
};

// Downloads from the local service: the linked add-on attached, the progress page played.
class AddOnDownloadHarness : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        AttachAddOn();
        PlayProgressPage();
    }
};

// The palette against the local service: the sample key with three unread mails stored.
class AddOnPaletteHarness : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        StoreSetting("APIKey", kordela::test::ServiceKeys::ThreeMails);
    }
};
