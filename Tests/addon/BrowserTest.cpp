// The API key, the settings dialog, browser windows, the script bridge and the auto-logon
// address, with the add-on linked into the simulated host and pages played by script.
#include "APIKey.hpp"
#include "AddOnHarness.hpp"
#include "BrowserDialog.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "ScriptText.hpp"
#include "SettingsDialog.hpp"

#include "Cocoa.hpp"
#include "DevHost/ScriptedPages.hpp"
#include "GSPrefHost.hpp"

#include <png.h>

#include "Endpoints.hpp"

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

constexpr const char* GoodKey = "0123abcd-4567-89ef-ABCD-0123456789ab";

using Kind = DevHost::PageStep::Kind;

class BrowserFixture : public AddOnHarness {
protected:
    void SetUp() override
    {
        AddOnHarness::SetUp();
        StartAddOn();
        // The scripted user: pages finish loading first, then the queued user actions run.
        host->modalDriver = [this](short dialogId) {
            pageProblem = pages.RunPending().reason;
            while (DGHost::IsOpen(dialogId) && !userActions.empty()) {
                auto action = std::move(userActions.front());
                userActions.pop_front();
                action();
                pageProblem += pages.RunPending().reason;
            }
        };
    }

    void User(std::function<void()> action) { userActions.push_back(std::move(action)); }
    std::string Page(const std::string& url) const
    {
        return Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, url.c_str());
    }

    std::deque<std::function<void()>> userActions;
};

}  // namespace

TEST(APIKey, TrimwhitespaceCutsAndAlwaysTerminates)
{
    struct Case {
        const char* in;
        size_t size;
        const char* out;
        size_t copied;
    };
    for (const Case& c : {Case {"  abc \t\n", 37, "abc", 3}, Case {"   ", 37, "", 1}, Case {"", 37, "", 1},
                          Case {" abcdef ", 4, "abc", 3}, Case {"a", 2, "a", 1}}) {
        char out[64];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(trimwhitespace(out, c.size, c.in), c.copied) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
    }
    char untouched[4] = {'#', '#', '#', '\0'};
    EXPECT_EQ(trimwhitespace(untouched, 0, "abc"), 0u);
    EXPECT_STREQ(untouched, "###");
}

TEST(APIKey, FormCheckTakesHexDigitsAndDashesAtTheirPlaces)
{
    struct Case {
        const char* key;
        bool valid;
    };
    for (const Case& c :
         {Case {"0123abcd-4567-89ef-0123-456789abcdef", true}, Case {"0123ABCD-4567-89EF-0123-456789ABCDEF", true},
          Case {"0123abcd-4567-89ef-0123-456789abcdeg", false}, Case {"0123abcd-4567-89ef-01234-56789abcdef", false},
          Case {"0123abcd4-567-89ef-0123-456789abcdef", false}, Case {"0123abcd-4567-89ef-0123-456789abcde", false},
          Case {"0123abcd-4567-89ef-0123-456789abcdef0", false}, Case {"xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", false},
          Case {"", false}, Case {"0123abcd-4567-89ef-0123-456789abcd\xC3\xA9", false}})
        EXPECT_EQ(IsValidAPIKey(c.key), c.valid) << c.key;
}

TEST(ScriptText, FakePostTextIsEscapedSoThePageGetsExactlyIt)
{
    for (const std::string text : {"plain", "it's", "back\\slash", "two\nlines\r", "</script><b>",
                                   "\xE2\x80\xA8 and \xE2\x80\xA9", "\xC3\xA9t\xC3\xA9", ""}) {
        const std::string script = "FakePost('" + EscapeForSingleQuotedScript(text) + "')";
        EXPECT_EQ(DevHost::ScriptArgumentText(script), text) << script;
        EXPECT_EQ(script.find("</"), std::string::npos);
    }
}

// The scripted pages read a string literal as a real script engine does (the real page engine
// agrees): raw U+2028 and U+2029 belong to the string, the short escapes and surrogate pairs
// decode, a line continuation adds nothing, and a malformed escape is a syntax error.
TEST(ScriptText, ScriptedPagesReadStringLiteralsAsAScriptEngineDoes)
{
    struct Case {
        const char* script;
        std::string text;
    };
    for (const Case& c :
         {Case {"FakePost('a\xE2\x80\xA8"
                "b\xE2\x80\xA9"
                "c')",
                "a\xE2\x80\xA8"
                "b\xE2\x80\xA9"
                "c"},
          Case {"FakePost('\\b\\f\\v\\0')", std::string("\b\f\v\0", 4)}, Case {"FakePost('\\x41\\x7e')", "A~"},
          Case {"FakePost('\\ud83d\\ude00')", "\xF0\x9F\x98\x80"}, Case {"FakePost('\\u00e9')", "\xC3\xA9"},
          Case {"FakePost('a\\\nb')", "ab"}, Case {"FakePost('\\uZZZZ')", "(syntax error)"},
          Case {"FakePost('\\x4')", "(syntax error)"}, Case {"FakePost('a\nb')", "(syntax error)"}})
        EXPECT_EQ(DevHost::ScriptArgumentText(c.script), c.text) << c.script;
}

TEST_F(BrowserFixture, FirstKeyReadStoresThePlaceholderAndMovesAKeyFromTheEmptyName)
{
    auto key = GetAPIKey();
    EXPECT_STREQ(key.get(), APIKeyPlaceholder);
    EXPECT_EQ(Setting("APIKey"), APIKeyPlaceholder);
    EXPECT_FALSE(IsValidAPIKey(key.get()));

    GSPref::RootKey* root = nullptr;
    ASSERT_EQ(GSPref::OpenRootKey(GSPref::UserRootKey, &root), NoError);
    root->RemoveValue("Kordela", "APIKey");
    StoreSetting("", (std::string(" ") + GoodKey + "ffff ").c_str());
    key = GetAPIKey();
    EXPECT_STREQ(key.get(), GoodKey);  // trimmed and cut to 36
    EXPECT_FALSE(GSPref::HasValue("Kordela", ""));
    EXPECT_TRUE(GSPref::HasValue("Kordela", "APIKey"));
}

TEST_F(BrowserFixture, SettingsOkStoresTheTrimmedKeyAndRefusesAMalformedOne)
{
    struct Case {
        std::string typed;
        const char* stored;  // null: refused, the dialog stays open
    };
    for (const Case& c :
         {Case {std::string("  ") + GoodKey + "  ", GoodKey}, Case {std::string(GoodKey) + "0123", GoodKey},
          Case {"0123abcd-4567-89ef-ABCD-0123456789ag", nullptr},
          Case {"0123abcd-4567-89ef-ABC-D0123456789ab", nullptr}, Case {APIKeyPlaceholder, nullptr}}) {
        StoreSetting("APIKey", "before");
        User([&] { DGHost::TypeText(SettingsId, 5, c.typed); });
        User([&] { DGHost::ClickItem(SettingsId, 1); });
        User([&] {
            if (DGHost::IsOpen(SettingsId))
                DGHost::ClickItem(SettingsId, 2);
        });
        const size_t alerts = CountLines("report alert: Invalid key format!");
        OpenUserSettings();
        EXPECT_EQ(Setting("APIKey"), c.stored != nullptr ? c.stored : "before") << c.typed;
        EXPECT_EQ(CountLines("report alert: Invalid key format!\nThe user identification key should have a format "
                             "like:\n12345678-1234-1234-1234-1234567890ab"),
                  alerts + (c.stored != nullptr ? 0 : 1));
        userActions.clear();
    }
}

TEST_F(BrowserFixture, SettingsFolderChoiceIsStoredOnlyByOk)
{
    StoreSetting("DefaultDownloadFolder", "/stored/folder");
    StoreSetting("APIKey", GoodKey);
    host->folderPicks.push_back("/picked/folder");
    User([] { DGHost::ClickItem(SettingsId, 15); });
    User([] { DGHost::SetCheck(SettingsId, 12, false); });
    User([] { DGHost::ClickItem(SettingsId, 2); });
    OpenUserSettings();
    EXPECT_TRUE(host->TranscriptContains("folder dialog \"Select default download folder\" at /stored/folder"));
    EXPECT_EQ(Setting("DefaultDownloadFolder"), "/stored/folder");
    EXPECT_EQ(Setting("AddToEmbedded"), "1");

    host->folderPicks.push_back("/picked/folder");
    User([] { DGHost::ClickItem(SettingsId, 15); });
    User([] { DGHost::SetCheck(SettingsId, 12, false); });
    User([] { DGHost::ClickItem(SettingsId, 1); });
    OpenUserSettings();
    EXPECT_EQ(Setting("DefaultDownloadFolder"), "/picked/folder");
    EXPECT_EQ(Setting("AddToEmbedded"), "0");
    EXPECT_EQ(Setting("APIKey"), GoodKey);
}

TEST_F(BrowserFixture, SettingsPagesUseTheSchemeOfTheHostVersion)
{
    StoreSetting("APIKey", GoodKey);
    // The legacy web view shows the pages in a window of their own, which closes itself.
    User([] { DGHost::ClickItem(SettingsId, 9); });
    if (kordela::test::ModernPages)
        User([] { DGHost::CloseBox(BrowserDialogId); });
    User([] { DGHost::ClickItem(SettingsId, 7); });
    if (kordela::test::ModernPages)
        User([] { DGHost::CloseBox(BrowserDialogId); });
    User([] { DGHost::ClickItem(SettingsId, 2); });
    OpenUserSettings();
    const std::string scheme = KORDELA_HOST_VERSION == 19 || KORDELA_HOST_VERSION == 20 ? "http://" : "https://";
    EXPECT_EQ(CountLines(" loads " + scheme + Endpoints::SiteHost + "/Account/UserPreference"), 1u);
    EXPECT_EQ(CountLines(" loads " + scheme + Endpoints::SiteHost), 2u);
    EXPECT_EQ(CountLines("(legacy) loads"), kordela::test::ModernPages ? 0u : 2u);
    EXPECT_FALSE(DGHost::IsOpen(SettingsId));
}

TEST_F(BrowserFixture, PaletteOffersTheSettingsWhenTheKeyIsMalformed)
{
    kordela::test::LocalService service(kordela::test::LocalService::Options::Quiet());
    ASSERT_TRUE(service.Running());
    nlohmann::json catalogue = service.Catalogue();
    catalogue["manufacturers"] = nlohmann::json::array();  // each button's address would offer it too
    ASSERT_TRUE(service.SetCatalogue(catalogue));
    const kordela::test::ScopedServiceOrigin origin(service.Origin());
    // The start-up key check and the unread-mail request each offer the dialog once.
    User([] { DGHost::ClickItem(SettingsId, 2); });
    User([] { DGHost::ClickItem(SettingsId, 2); });
    ASSERT_EQ(host->SendMenuCommand(32500), "");
    EXPECT_EQ(CountLines("dialog 32606 opened"), 2u);
    EXPECT_EQ(Setting("FirstRun"), "2");

    host->SendMenuCommand(32500);  // hide
    StoreSetting("APIKey", GoodKey);
    host->SendMenuCommand(32500);
    EXPECT_EQ(CountLines("dialog 32606 opened"), 2u);
}

TEST_F(BrowserFixture, AutoLogOnAddressCarriesKeyVersionsAndThePageUnchanged)
{
    StoreSetting("APIKey", GoodKey);
    const std::string page = Page("/CadApplication/Search?q=a%26b&x=1");
    const auto url = UrlGenerator(page.c_str());
    ASSERT_NE(url, nullptr);
    const std::string expected = Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, "") +
                                 "/Account/AutoLogOn/" + GoodKey + "/ArchiCAD/3/3.2/ArchiCAD%20" +
                                 std::to_string(KORDELA_HOST_VERSION) + "%20mac/0?redirecturl=" + page;
    EXPECT_EQ(std::string(url.get()), expected);
    EXPECT_EQ(CountLines("dialog 32606 opened"), 0u);

    // A page address too long for 2048 bytes still arrives whole.
    const std::string longPage = Page("/CadApplication/Kdpc?ids=" + std::string(3000, '7'));
    const auto longUrl = UrlGenerator(longPage.c_str());
    EXPECT_NE(std::string(longUrl.get()).find(longPage), std::string::npos);
}

TEST_F(BrowserFixture, AutoLogOnOpensTheSettingsOnceAndUsesWhateverKeyIsThen)
{
    User([] { DGHost::ClickItem(SettingsId, 2); });
    const auto url = UrlGenerator("p");
    EXPECT_EQ(CountLines("dialog 32606 opened"), 1u);
    EXPECT_NE(std::string(url.get()).find(std::string("/AutoLogOn/") + APIKeyPlaceholder + "/"), std::string::npos);
}

#if KORDELA_HOST_VERSION != 18
TEST_F(BrowserFixture, DownloadMessageFillsBothBuffersOrNeitherAndAlwaysCloses)
{
    struct Case {
        std::string body;
        bool filled;
    };
    const std::string url1023 = "http://x/" + std::string(1023 - 9, 'u');
    const std::string url1024 = url1023 + "u";
    const std::string name = "OakChair_1234.gsm";
    int n = 0;
    for (const Case& c :
         {Case {R"({"functionName":"download","url1":")" + url1023 + R"(","filename1":")" + name + "\"}", true},
          Case {R"({"functionName":"download","url1":")" + url1024 + R"(","filename1":")" + name + "\"}", false},
          Case {R"({"functionName":"download","url1":"http://x/a.gsm"})", false},
          Case {R"({"functionName":"download","url1":"http://x/a.gsm","filename1":7})", false}}) {
        const std::string path = "/CadApplication/Pick" + std::to_string(++n);
        pages.AddStep(path, {Kind::Post, c.body, {}});
        const PageDownload download = RunBrowserDialog(Page(path).c_str(), true, 0);
        EXPECT_EQ(pageProblem, "");
        EXPECT_FALSE(DGHost::IsOpen(BrowserDialogId));
        EXPECT_EQ(download.Requested(), c.filled) << c.body.substr(0, 60);
        if (c.filled) {
            EXPECT_EQ(download.fileUrl, url1023);
            EXPECT_EQ(download.fileName, name);
        }
    }
}
#endif

namespace {

void WritePng(const std::string& path, bool truncated)
{
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    image.width = 4;
    image.height = 3;
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image), 0x7F);
    ASSERT_NE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr), 0);
    if (truncated)
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
}

}  // namespace

TEST_F(BrowserFixture, ConvertIconDecodesAPngAndGivesNullForABrokenOrMissingFile)
{
    const std::string folder = host->ProfileFolder();
    WritePng(folder + "/good.png", false);
    WritePng(folder + "/broken.png", true);
    FooWrapper fr;
    struct Case {
        mutable std::string file;
        bool image;
    };
    for (const Case& c : {Case {folder + "/good.png", true}, Case {folder + "/broken.png", false},
                          Case {folder + "/missing.png", false}}) {
        std::unique_ptr<const NSImage> image(static_cast<const NSImage*>(fr.convertIcon(c.file.data(), nullptr)));
        EXPECT_EQ(image != nullptr, c.image) << c.file;
        if (image) {
            EXPECT_EQ(image->size().width, 4);
        }
    }
}

TEST_F(BrowserFixture, OpenfolderShowsThePathInTheFileViewer)
{
    FooWrapper fr;
    std::string path = "/tmp/Kordela-ArchiCAD21.dmg";
    fr.openfolder(path.data());
    EXPECT_TRUE(host->TranscriptContains("file viewer shows /tmp/Kordela-ArchiCAD21.dmg"));
}

TEST_F(BrowserFixture, AutoClosePollEndsAtTheFirstLogoutOrAfterTwentyTries)
{
    struct Case {
        const char* body;
        long seconds;
    };
    for (const Case& c : {Case {"<a>Logout</a>", 1}, Case {"<a>Login</a>", 20}}) {
        const auto before = pages.Slept();
        const std::string path = std::string("/Account/AutoLogOn/") + (c.seconds == 1 ? "in" : "out");
        pages.SetBody(path, c.body);
        std::string url = Page(path);
        FooWrapper fr;
        fr.login(url.data());  // returns only when the window has closed
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(pages.Slept() - before).count(), c.seconds);
        EXPECT_EQ(pages.FrontWindow(), nullptr);
    }
    EXPECT_EQ(CountLines("the user closes window"), 0u);  // the poll closed them, not the user
}

TEST_F(BrowserFixture, LegacyWindowFollowsLinksButOpensNoNewWindow)
{
    pages.AddStep("/ifc", {Kind::Link, Page("/ifc/next"), {}});
    pages.AddStep("/ifc/next", {Kind::NewWindow, Page("/elsewhere"), {}});
    pages.AddStep("/ifc/next", {Kind::Close, {}, {}});
    FooWrapper fr;
    fr.bar(Page("/ifc").c_str());
    EXPECT_TRUE(host->TranscriptContains("follows a link: " + Page("/ifc/next") + " (allowed)"));
    if (kordela::test::ModernPages) {
        EXPECT_TRUE(host->TranscriptContains("asks for a new window: " + Page("/elsewhere") + " (ignored)"));
    }
    EXPECT_EQ(pageProblem, "");
}

TEST_F(BrowserFixture, LegacyScriptObjectOffersOnlyItsScriptNames)
{
    struct Case {
        const char* function;
        std::vector<std::string> args;
        const char* answer;  // what the page gets, null when the call fails
    };
    const std::vector<Case> cases {{"ExtAddKDPC", {"7"}, "-1"},     {"ExtLinkKDPC", {"\"9\""}, "-1"},
                                   {"ExtUnlinkKDPC", {"-3"}, "-1"}, {"getUpdateInfo", {}, nullptr},
                                   {"addKdpc", {"7"}, nullptr},     {"ExtUpdateProducts", {"\"a;b\""}, "42"}};
    // The object update's query goes to a closed port on this machine.
    const kordela::test::ScopedServiceOrigin origin(kordela::test::RefusingOrigin());
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "/legacy" + std::to_string(++n);
        pages.AddStep(path, {Kind::Call, c.function, c.args});
        if (c.answer != nullptr)
            pages.AddStep(path, {Kind::Expect, c.answer, {}});
        FooWrapper fr;
        fr.bar(Page(path).c_str(), 55);
        EXPECT_EQ(pageProblem.empty() ? "" : pageProblem, "") << c.function;
    }
    EXPECT_TRUE(host->TranscriptContains("window.external.getUpdateInfo is not a function"));
    EXPECT_TRUE(host->TranscriptContains("window.external.addKdpc is not a function"));
    EXPECT_FALSE(host->TranscriptContains("log: object update: not available yet"));
}

#if KORDELA_HOST_VERSION != 18
TEST_F(BrowserFixture, EveryBridgeMessageGetsItsAnswer)
{
    struct Case {
        std::string body;
        const char* awaited;  // the page function that answers, null for none
        const char* received;
        const char* logged;
    };
    const std::vector<Case> cases {
        {R"({"functionName":"addKDPC","kdpcId":7})", "AddKDPC_callback", "7, 4294967295", "log: JavaScript: 7"},
        {R"({"functionName":"linkKDPC","kdpcId":"12"})", "LinkKDPC_callback", "12, 4294967295", "log: JavaScript: 12"},
        {R"({"functionName":"unlinkKDPC","kdpcId":-3})", "UnlinkKDPC_callback", "4294967293, 4294967295",
         "log: JavaScript: -3"},
        {R"({"functionName":"addKDPC","kdpcId":4294967303})", "AddKDPC_callback", "7, 4294967295", nullptr},
        {R"({"functionName":"productUpdateGetInfo"})", "FakePost", "", nullptr},
        {R"({"functionName":"productUpdateResultGetInfo"})", "FakePost", "[]", nullptr},
        {R"({"functionName":"kdpcUpdateGetInfo"})", "FakePost", "", nullptr},
        {R"({"functionName":"kdpcUpdateResultGetInfo"})", "FakePost", "[]", nullptr},
        {R"({"functionName":"noSuchCall"})", nullptr, nullptr, "log: JavaScript: unknown function \"noSuchCall\""},
        {R"({"functionName":"no\nSuch"})", nullptr, nullptr, "log: JavaScript: unknown function \"no?Such\""},
        {R"({"url1":"x"})", nullptr, nullptr, "log: JavaScript: a message without a \"functionName\" text"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "/bridge" + std::to_string(++n);
        pages.AddStep(path, {Kind::Post, c.body, {}});
        if (c.awaited != nullptr) {
            pages.AddStep(path, {Kind::Await, c.awaited, {}});
            pages.AddStep(path, {Kind::Expect, c.received, {}});
        }
        User([] { DGHost::CloseBox(BrowserDialogId); });
        RunBrowserDialog(Page(path).c_str(), false, 0);
        EXPECT_EQ(pageProblem, "") << c.body;
        if (c.logged != nullptr) {
            EXPECT_TRUE(host->TranscriptContains(c.logged)) << c.logged;
        }
        userActions.clear();
    }
    // Messages that answer nothing evaluate nothing.
    EXPECT_EQ(CountLines("evaluates FakePost("), 4u);
    EXPECT_EQ(CountLines(" evaluates "), 8u);
}

TEST_F(BrowserFixture, UpdateAndProgressMessagesCloseTheWindow)
{
    const kordela::test::ScopedServiceOrigin origin(kordela::test::RefusingOrigin());
    int n = 0;
    for (const char* body :
         {R"({"functionName":"productUpdateDoUpdate","items":"a"})",
          R"({"functionName":"kdpcUpdateDoUpdate","items":"b"})", R"({"functionName":"downloadProgress"})"}) {
        const std::string path = "/closing" + std::to_string(++n);
        pages.AddStep(path, {Kind::Post, body, {}});
        RunBrowserDialog(Page(path).c_str(), false, 0);
        EXPECT_FALSE(DGHost::IsOpen(BrowserDialogId)) << body;
        EXPECT_EQ(pageProblem, "");
    }
    EXPECT_EQ(CountLines("dialog 32590 window closed"), 3u);
}

TEST_F(BrowserFixture, SecondEmbeddedWindowReplacesTheFirstForLoading)
{
    const auto open = [](short id) {
        const GSResModule module = ACAPI_GetOwnResModule();
#if KORDELA_HOST_VERSION >= 18
        return DGModelessInit(module, id, module, nullptr, 0, 0);
#else
        (void)module;
        OwnResModuleScope scope;
        return DGModelessInit(id, nullptr, 0, 0);
#endif
    };
    ASSERT_EQ(open(32604), 32604);
    ASSERT_EQ(open(32591), 32591);
    NSWindow* first = DGGetDialogWindow(32604);
    NSWindow* second = DGGetDialogWindow(32591);
    FooWrapper fr;
    fr.bar(first, Page("/first").c_str(), nullptr, nullptr, 0);
    fr.bar(second, nullptr, nullptr, nullptr, 3);
    fr.loadRequest(Page("/loaded").c_str());
    fr.reloadRequest();
    EXPECT_EQ(first->styleMask() & NSWindowStyleMaskClosable, NSWindowStyleMaskClosable);
    // Only the second window's view loads; with a null address there is nothing to reload.
    auto pageOf = [](NSWindow* window) {
        const auto& views = window->contentView()->subviews();
        return views.empty() ? -1 : dynamic_cast<WKWebView&>(*views.back()).PageId();
    };
    EXPECT_EQ(CountLines("page " + std::to_string(pageOf(first)) + " loads"), 0u);
    EXPECT_EQ(CountLines("page " + std::to_string(pageOf(second)) + " loads " + Page("/loaded")), 1u);
    EXPECT_EQ(CountLines(" loads "), 2u);  // the reload of the second, empty, address
}
#else
TEST_F(BrowserFixture, Host18OpensBrowserPagesInItsOwnModalWindow)
{
    pages.AddStep("/CadApplication/Pick", {Kind::Call, "Execute", {"\"http://x/a.gsm\"", "\"a.gsm\""}});
    const PageDownload download = RunBrowserDialog(Page("/CadApplication/Pick").c_str(), true, 0);
    EXPECT_EQ(pageProblem, "");
    EXPECT_FALSE(host->TranscriptContains("dialog 32590 opened"));
    EXPECT_TRUE(host->TranscriptContains("(legacy) loads"));
    EXPECT_EQ(download.fileUrl, "http://x/a.gsm");
    EXPECT_EQ(download.fileName, "a.gsm");
}

TEST_F(BrowserFixture, Host18HandsEachUpdatePageOnlyItsOwnText)
{
    for (const char* path : {"/CadApplication/ProductUpdate", "/CadApplication/ProductUpdateResult",
                             "/CadApplication/KdpcUpdate", "/CadApplication/KDPCUpdateResult"}) {
        FooWrapper fr;
        fr.bar(Page(path).c_str());
    }
    // Nothing is collected here: empty update lists and empty result lists.
    EXPECT_EQ(CountLines("function FakePost(\"\")"), 2u);
    EXPECT_EQ(CountLines("function FakePost(\"[]\")"), 2u);
}
#endif
