// The palette's start-up checks against the local service: the unread-mail counter, the
// featured manufacturers and the self-update.
#include "AddOnHarness.hpp"
#include "Kordela.hpp"
#include "MainObserver.hpp"
#include "MainPalette.hpp"

#include "ServiceRequest.hpp"

#include "DevHost/HostFaults.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

using namespace kordela::test::ServiceKeys;

constexpr short ManufacturerItem = 14;

bool IsAnswerOrLogoFile(const std::string& name)
{
    static const std::regex pattern("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}|[0-9]\\.(png|icns)");
    return std::regex_match(name, pattern);
}

class PaletteServices : public AddOnPaletteHarness {
protected:
    // A catalogue featuring `count` manufacturers; the third one's logo no decoder reads.
    void FeatureManufacturers(int count)
    {
        nlohmann::json catalogue = service.Catalogue();
        nlohmann::json list = nlohmann::json::array();
        for (int i = 1; i <= count; ++i) {
            char colour[8];
            std::snprintf(colour, sizeof colour, "#%02X40%02X", i * 17, 255 - i * 13);
            list.push_back({{"id", i},
                            {"name", Name(i)},
                            {"page", "/Manufacturer/" + std::to_string(i) + "/page"},
                            {"logo", i == 3 ? "broken" : colour},
                            {"featured", true}});
        }
        catalogue["manufacturers"] = list;
        ASSERT_TRUE(service.SetCatalogue(catalogue));
    }

    static std::string Name(int i)
    {
        return i == 2 ? "K\xC3\xBC"
                        "chen & <Werk>"
                      : "Maker " + std::to_string(i);
    }

    // Opens the palette with six featured manufacturers while `paths` keep silent, the small
    // requests' window shortened; the opening must stay brief and say so once.
    void OpenWithSilentCatalogue(const std::vector<std::string>& paths)
    {
        FeatureManufacturers(6);
        // The posted request's own bytes count toward a transfer's rate for a few seconds, so
        // a higher rate lets the silent answers fail sooner.
        TransferLimits limits = GetTransferLimits(TransferKind::Request);
        limits.lowSpeedBytesPerSecond = 1000;
        limits.lowSpeedSeconds = 1;
        SetTransferLimits(TransferKind::Request, limits);
        for (const std::string& path : paths)
            ASSERT_TRUE(service.SetFault(path, "no-answer", {{"seconds", 30}})) << path;
        const auto start = std::chrono::steady_clock::now();
        OpenPalette();
        // Six logos, or two answers, of 30 s silence each would take minutes.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        EXPECT_EQ(CountLines("report alert: The Kordela catalogue could not be reached"), 1u);
        EXPECT_EQ(Setting("FirstRun"), "2");
        EXPECT_FALSE(DGHost::IsOpen(32604));
    }
};

}  // namespace

TEST_F(PaletteServices, MailCounterShowsTheServicesCountClampedToTenAndRefreshesAfterAClick)
{
    StoreSetting("APIKey", ManyMails);
    OpenPalette();
    EXPECT_EQ(Item(10).icon.substr(0, 5), "32530");  // 25 unread

    StoreSetting("APIKey", ThreeMails);
    ASSERT_EQ(DGHost::ClickItem(PaletteId, 4), "");  // a separator: no action, still a refresh
    EXPECT_EQ(Item(10).icon.substr(0, 5), "32523");
    EXPECT_EQ(RequestCount("/GetUnreadEmailsCount2"), 2u);
}

TEST_F(PaletteServices, MailAnswerWithoutTheCountOrAFailedRequestGivesZero)
{
    struct Case {
        const char* mode;
        const char* body;
        const char* icon;
    };
    OpenPalette();
    for (const Case& c : {Case {"body", "<Bim Other='1'></Bim>", "32520"},
                          Case {"body", "<Bim UnreadEmails='4'></Bim><Bim UnreadEmails='9'></Bim>", "32524"},
                          Case {"body", "<Root><Bim UnreadEmails='7'/></Root>", "32527"}, Case {"http500", "", "32520"},
                          Case {"malformed-xml", "", "32520"}}) {
        ASSERT_TRUE(service.SetFault("/GetUnreadEmailsCount2", c.mode, {{"body", c.body}}));
        ASSERT_EQ(DGHost::ClickItem(PaletteId, 4), "");
        EXPECT_EQ(Item(10).icon.substr(0, 5), c.icon) << c.mode << " " << c.body;
    }
}

TEST_F(PaletteServices, TwelveFeaturedManufacturersFillTheTenButtonsInOrder)
{
    FeatureManufacturers(12);
    OpenPalette();
    EXPECT_TRUE(Item(13).visible);
    ASSERT_EQ(mainPalette->urls.GetSize(), 10u);
    for (int i = 0; i < 10; ++i) {
        const short item = static_cast<short>(ManufacturerItem + i);
        EXPECT_TRUE(Item(item).visible) << i;
        EXPECT_EQ(DGHost::RequestToolTip(PaletteId, item), Name(i + 1)) << i;
        // The broken logo still gives a shown button, with an empty icon.
        EXPECT_EQ(Item(item).icon, i == 2 ? "" : "image 48x48") << i;
        const std::string& url = mainPalette->urls[static_cast<UIndex>(i)];
        EXPECT_NE(url.find("/Account/AutoLogOn/" + std::string(ThreeMails) + "/ArchiCAD/3/3.2/"), std::string::npos)
            << url;
        EXPECT_TRUE(url.ends_with("?redirecturl=" + Site("/Manufacturer/" + std::to_string(i + 1) + "/page"))) << url;
    }
    EXPECT_EQ(RequestCount("/logos/10.png"), 1u);
    EXPECT_EQ(RequestCount("/logos/11.png"), 0u);
    for (int value = 90; value <= 99; ++value)
        EXPECT_TRUE(host->TranscriptContains("dialog 32604 item 2 = " + std::to_string(value))) << value;
    EXPECT_FALSE(DGHost::IsOpen(32604));
}

TEST_F(PaletteServices, AnswerWithoutManufacturersHidesEveryButtonButKeepsTheSeparator)
{
    FeatureManufacturers(4);
    OpenPalette();
    ASSERT_TRUE(Item(ManufacturerItem + 3).visible);
    for (const char* body : {"<Bim></Bim>", "not xml at all"}) {
        ASSERT_TRUE(service.SetFault("/GetFeaturedManufacturers2", "body", {{"body", body}}));
        mainPalette->GetFeaturedManufacturers(PaletteWatch(&mainPalette));
        for (short item = ManufacturerItem; item < ManufacturerItem + 10; ++item)
            EXPECT_FALSE(Item(item).visible) << item << " " << body;
        EXPECT_TRUE(mainPalette->urls.IsEmpty());
        EXPECT_TRUE(Item(13).visible);  // only the palette's construction hides it
    }
}

TEST_F(PaletteServices, NoFeaturedManufacturersLeaveTheButtonsHidden)
{
    FeatureManufacturers(0);
    OpenPalette();
    for (short item = 13; item < ManufacturerItem + 10; ++item)
        EXPECT_FALSE(Item(item).visible) << item;
    EXPECT_TRUE(mainPalette->urls.IsEmpty());
}

TEST_F(PaletteServices, AnswerFilesLogosAndIconsAreGoneAfterBothRequests)
{
    FeatureManufacturers(3);
    OpenPalette();
    EXPECT_EQ(RequestCount("/GetUnreadEmailsCount2"), 1u);
    EXPECT_EQ(RequestCount("/GetFeaturedManufacturers2"), 1u);
    const auto files = TemporaryFiles();
    EXPECT_TRUE(std::none_of(files.begin(), files.end(), IsAnswerOrLogoFile)) << ::testing::PrintToString(files);

    // Also when a button cannot take its icon, which ends the start-up checks.
    DGHost::FailNextIconChange();
    EXPECT_ANY_THROW(mainPalette->GetFeaturedManufacturers(PaletteWatch(&mainPalette)));
    const auto left = TemporaryFiles();
    EXPECT_TRUE(std::none_of(left.begin(), left.end(), IsAnswerOrLogoFile)) << ::testing::PrintToString(left);
}

TEST_F(PaletteServices, ManufacturerButtonOpensTheAddressMadeForIt)
{
    FeatureManufacturers(6);
    OpenPalette();
    for (int i : {0, 4, 5}) {
        const std::string url = mainPalette->urls[static_cast<UIndex>(i)];
        ASSERT_EQ(DGHost::ClickItem(PaletteId, static_cast<short>(ManufacturerItem + i)), "");
        EXPECT_TRUE(host->TranscriptContains(" loads " + url)) << i;
    }
}

// Only a newer version read whole is offered: a version file that memory cannot hold, from
// its first byte or from its second on ("4" of "4.0"), counts as not fetched.
TEST_F(PaletteServices, SameOrOlderPublishedVersionOffersNothing)
{
    struct Case {
        const char* body;  // null: the published version, a byte at a time
        bool offered;
        std::vector<std::string> memoryFault = {};
    };
    OpenPalette();
    PublishVersion("4.0");
    for (const Case& c :
         {Case {"3.2", false}, Case {"3.10", false}, Case {"", false}, Case {"<html>oops</html>", false},
          Case {"3.3", true}, Case {"  3.3 beta", true}, Case {"3.3", false, {"GS_malloc", "when", "1"}},
          Case {"3.3", false, {"GS_realloc", "count", "1"}}, Case {nullptr, false, {"GS_realloc", "when", "3"}}}) {
        const std::string what = c.body != nullptr ? c.body : "4.0 a byte at a time";
        if (c.body != nullptr) {
            ASSERT_TRUE(
                service.SetFault(VersionFilePath(), "body", {{"body", c.body}, {"content_type", "text/plain"}}));
        } else {
            ASSERT_TRUE(service.SetFault(VersionFilePath(), "trickle", {{"chunk_bytes", 1}, {"interval_ms", 20}}));
        }
        host->Faults().Clear();
        if (!c.memoryFault.empty()) {
            ASSERT_EQ(DevHost::AddHostFault(host->Faults(), c.memoryFault), "");
        }
        host->alertAnswers.push_back(2);  // declined, if offered
        const size_t before = Offers();
        const TranscriptMark mark = Mark();
        EXPECT_EQ(ObserverCheck(), c.memoryFault.empty() ? NoError : ErrCode::NotFound) << what;
        EXPECT_EQ(Offers() - before, c.offered ? 1u : 0u) << what;
        EXPECT_EQ(CountSince(mark, "host call GS_"), c.memoryFault.empty() ? 0u : 1u) << what;
        host->alertAnswers.clear();
    }
    EXPECT_EQ(RequestCount("/kordela_data/documents/Apps/Kordela.dmg"), 0u);
}

TEST_F(PaletteServices, DeclinedOfferDownloadsNothingAndTheChecksGoOn)
{
    PublishVersion("3.3");
    host->alertAnswers.push_back(2);
    OpenPalette();
    EXPECT_EQ(Offers(), 1u);
    EXPECT_EQ(RequestCount("/kordela_data/documents/Apps/Kordela.dmg"), 0u);
    EXPECT_EQ(Setting("FirstRun"), "2");
    EXPECT_EQ(RequestCount("/GetUnreadEmailsCount2"), 1u);
}

TEST_F(PaletteServices, AcceptedOfferDownloadsMountsAndRevealsThenTheChecksStop)
{
    PublishVersion("3.3");
    host->alertAnswers = {1, 1};
    OpenPalette();
    EXPECT_TRUE(std::filesystem::exists(InstallerFile()));
    EXPECT_TRUE(host->TranscriptContains("The installer has been downloaded."));
    EXPECT_TRUE(host->TranscriptContains("command output: mounted "));
    EXPECT_TRUE(host->TranscriptContains("file viewer shows /Volumes/Kordela/Kordela"));
    EXPECT_FALSE(DGHost::IsOpen(32604));
    EXPECT_EQ(Setting("FirstRun"), "1");  // as Initialize left it
    EXPECT_EQ(RequestCount("/GetUnreadEmailsCount2"), 0u);
    EXPECT_EQ(RequestCount("/GetFeaturedManufacturers2"), 0u);
}

TEST_F(PaletteServices, UnreachableVersionFileShowsTheAlertAndLeavesThePaletteAsItWas)
{
    ASSERT_TRUE(service.SetFault(VersionFilePath(), "truncated"));
    OpenPalette();
    EXPECT_TRUE(host->TranscriptContains(
        "alert \"Kordela version check\": Version check failed, internet is not accessible! [OK]"));
    EXPECT_FALSE(DGHost::IsOpen(32604));
    EXPECT_EQ(Setting("FirstRun"), "1");
    EXPECT_EQ(RequestCount("/GetUnreadEmailsCount2"), 0u);
    EXPECT_EQ(RequestCount("/GetFeaturedManufacturers2"), 0u);
    EXPECT_EQ(Item(10).icon.substr(0, 5), "32520");
}

TEST_F(PaletteServices, FailedInstallerTransferMountsNothingAndTellsTheUser)
{
    OpenPalette();
    PublishVersion("3.3");
    struct Case {
        const char* mode;
        nlohmann::json extra;
    };
    for (const Case& c :
         {Case {"http500", nlohmann::json::object()}, Case {"truncated", nlohmann::json::object()},
          Case {"body", {{"body", "gone"}, {"status", 404}}}, Case {"html-error", nlohmann::json::object()}}) {
        ASSERT_TRUE(service.SetFault("/kordela_data/documents/Apps/Kordela.dmg", c.mode, c.extra));
        host->alertAnswers = {1};
        const size_t told = CountLines("The installer could not be downloaded.");
        EXPECT_EQ(ObserverCheck(), NoError) << c.mode;
        EXPECT_EQ(CountLines("The installer could not be downloaded."), told + 1) << c.mode;
        EXPECT_FALSE(host->TranscriptContains("command output:")) << c.mode;
        EXPECT_FALSE(host->TranscriptContains("The installer has been downloaded.")) << c.mode;
        EXPECT_FALSE(std::filesystem::exists(InstallerFile())) << c.mode;
    }
}

TEST_F(PaletteServices, InstallerThatDoesNotMountIsShownWithTheMountingMessage)
{
    PublishVersion("3.3");
    ASSERT_TRUE(service.SetFault("/kordela_data/documents/Apps/Kordela.dmg", "body", {{"body", "not a disk image"}}));
    host->alertAnswers = {1, 1};
    OpenPalette();
    EXPECT_TRUE(host->TranscriptContains("report alert: Mounting DMG file failed, please try to install manually."));
    EXPECT_TRUE(host->TranscriptContains("file viewer shows "));
    EXPECT_TRUE(host->TranscriptContains("Kordela-ArchiCAD" + std::to_string(KORDELA_HOST_VERSION) + ".dmg"));
    EXPECT_FALSE(host->TranscriptContains("file viewer shows /Volumes/Kordela/Kordela"));
    EXPECT_EQ(Setting("FirstRun"), "1");
}

TEST_F(PaletteServices, CompressedInstallerIsStoredDecodedAndMounts)
{
    PublishVersion("3.3");
    ASSERT_TRUE(service.SetFault("/kordela_data/documents/Apps/Kordela.dmg", "gzip"));
    host->alertAnswers = {1, 1};
    OpenPalette();
    std::ifstream stored(InstallerFile(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stored)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(service.Reset());
    EXPECT_EQ(bytes, kordela::test::Fetch(Site("/kordela_data/documents/Apps/Kordela.dmg")).body);
    EXPECT_TRUE(host->TranscriptContains("command output: mounted "));
    EXPECT_TRUE(host->TranscriptContains("file viewer shows /Volumes/Kordela/Kordela"));
}

TEST_F(PaletteServices, SilentLogoHostIsWaitedForOnceAndToldOnce)
{
    OpenWithSilentCatalogue({"/logos/*"});
    EXPECT_EQ(LogoRequests(), 1u);
    for (short item = ManufacturerItem; item < ManufacturerItem + 6; ++item) {
        EXPECT_TRUE(Item(item).visible) << item;
        EXPECT_EQ(Item(item).icon, "") << item;
        EXPECT_EQ(DGHost::RequestToolTip(PaletteId, item), Name(item - ManufacturerItem + 1)) << item;
    }
}

TEST_F(PaletteServices, SilentServiceApiIsToldOnceForBothRequests)
{
    OpenWithSilentCatalogue({"/GetUnreadEmailsCount2", "/GetFeaturedManufacturers2"});
    EXPECT_EQ(LogoRequests(), 0u);
    EXPECT_EQ(Item(10).icon.substr(0, 5), "32520");
}

TEST_F(PaletteServices, ReachableCatalogueOpensWithoutTheUnreachableAlert)
{
    FeatureManufacturers(3);
    OpenPalette();
    EXPECT_FALSE(host->TranscriptContains("could not be reached"));
}
