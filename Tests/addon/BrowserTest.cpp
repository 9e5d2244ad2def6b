// The API key, the settings dialog, browser windows, the script bridge and the auto-logon
// address, with the add-on linked into the simulated host and pages played by script.
#include "APIKey.hpp"
#include "BrowserDialog.hpp"
#include "FooWrapper.hpp"
#include "ScriptText.hpp"
#include "StaticAddOnFixture.hpp"

#include "Cocoa.hpp"
#include "DevHost/ScriptedPages.hpp"

#include <png.h>

#include "Endpoints.hpp"

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

constexpr short SettingsId = 32606;
constexpr const char* GoodKey = "0123abcd-4567-89ef-ABCD-0123456789ab";

using Kind = DevHost::PageStep::Kind;

class BrowserFixture : public StaticAddOnFixture {
protected:
    void SetUp() override
    {
        StaticAddOnFixture::SetUp();
        StartAddOn();
        // The scripted user: pages finish loading first, then the queued user actions run.
        host->modalDriver = [this](short dialogId) {
            pageProblem = pages.RunPending();
            while (DGHost::IsOpen(dialogId) && !userActions.empty()) {
                auto action = std::move(userActions.front());
                userActions.pop_front();
                action();
                pageProblem += pages.RunPending();
            }
        };
    }

    void User(std::function<void()> action) { userActions.push_back(std::move(action)); }
    std::string Page(const std::string& url) const
    {
        return Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, url.c_str());
    }

    DevHost::ScriptedPages pages;
    std::deque<std::function<void()>> userActions;
    std::string pageProblem;
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
    for (const Case& c : {Case {"0123abcd-4567-89ef-0123-456789abcdef", true},
                          Case {"0123ABCD-4567-89EF-0123-456789ABCDEF", true},
                          Case {"0123abcd-4567-89ef-0123-456789abcdeg", false},
                          Case {"0123abcd-4567-89ef-01234-56789abcdef", false},
                          Case {"0123abcd4-567-89ef-0123-456789abcdef", false},
                          Case {"0123abcd-4567-89ef-0123-456789abcde", false},
                          Case {"0123abcd-4567-89ef-0123-456789abcdef0", false},
                          Case {"xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", false},
                          Case {"", false},
                          Case {"0123abcd-4567-89ef-0123-456789abcd\xC3\xA9", false}})
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
    for (const Case& c : {Case {std::string("  ") + GoodKey + "  ", GoodKey},
                          Case {std::string(GoodKey) + "0123", GoodKey},
                          Case {"0123abcd-4567-89ef-ABCD-0123456789ag", nullptr},
                          Case {"0123abcd-4567-89ef-ABC-D0123456789ab", nullptr},
                          Case {APIKeyPlaceholder, nullptr}}) {
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

TEST_F(BrowserFixture, PaletteOpensTheSettingsOnceWhenTheKeyIsMalformed)
{
    User([] { DGHost::ClickItem(SettingsId, 2); });
    ASSERT_EQ(host->SendMenuCommand(32500), "");
    EXPECT_EQ(CountLines("dialog 32606 opened"), 1u);
    EXPECT_EQ(Setting("FirstRun"), "2");

    host->SendMenuCommand(32500);  // hide
    StoreSetting("APIKey", GoodKey);
    host->SendMenuCommand(32500);
    EXPECT_EQ(CountLines("dialog 32606 opened"), 1u);
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
    for (const Case& c : {Case {R"({"functionName":"download","url1":")" + url1023 + R"(","filename1":")" + name + "\"}", true},
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
