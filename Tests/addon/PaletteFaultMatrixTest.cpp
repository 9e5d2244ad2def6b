// The palette's own transfers (the installer image, the version file, the manufacturers'
// logos) against every misbehaviour of the local service: each ends within the limits with
// the documented default or a clear message, and nothing is mounted from a failed transfer.
#include "AddOnHarness.hpp"
#include "ServiceRequest.hpp"
#include "TransferFaultMatrix.hpp"

#include <chrono>
#include <fstream>
#include <iterator>

namespace {

using kordela::test::InstallerOutcome;
using kordela::test::LogoOutcome;
using kordela::test::TransferFault;
using kordela::test::VersionOutcome;

constexpr short FirstLogoButton = 14;
constexpr short FeaturedInSample = 6;
constexpr const char* Unreachable = "report alert: The Kordela catalogue could not be reached";

class PaletteFaultMatrix : public AddOnPaletteHarness, public ::testing::WithParamInterface<TransferFault> {
protected:
    void SetUp() override
    {
        AddOnPaletteHarness::SetUp();
        SetTransferLimits(TransferLimits {kordela::test::MatrixConnectSeconds,
                                          kordela::test::MatrixLowSpeedBytesPerSecond,
                                          kordela::test::MatrixLowSpeedSeconds, 20});
    }
    void TearDown() override
    {
        ResetTransferLimits();
        AddOnPaletteHarness::TearDown();
    }

    // Runs the self-update check as the palette's opening does, timed.
    GSErrCode TimedCheck()
    {
        const auto start = std::chrono::steady_clock::now();
        const GSErrCode result = ObserverCheck();
        // Generous against a busy machine; without the limits the slow cases take minutes.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        return result;
    }

    static std::string StoredInstaller()
    {
        std::ifstream in(InstallerFile(), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

}  // namespace

TEST_P(PaletteFaultMatrix, InstallerIsMountedOnlyWhenItArrivedWhole)
{
    const TransferFault& fault = GetParam();
    OpenPalette();
    PublishVersion("3.3");
    ASSERT_TRUE(service.SetFault(InstallerPath, fault.mode, fault.settings));
    host->alertAnswers = {1, 1};
    const GSErrCode result = TimedCheck();
    switch (fault.installer) {
    case InstallerOutcome::Mounts: {
        EXPECT_EQ(result, ErrCode::Cancel);
        const std::string stored = StoredInstaller();
        ASSERT_TRUE(service.Reset());
        EXPECT_EQ(stored, kordela::test::Fetch(Site(InstallerPath)).body);
        EXPECT_TRUE(host->TranscriptContains("command output: mounted "));
        EXPECT_TRUE(host->TranscriptContains("file viewer shows /Volumes/Kordela/Kordela"));
        break;
    }
    case InstallerOutcome::FailsTold:
        EXPECT_EQ(result, NoError);
        EXPECT_EQ(CountLines("report alert: The installer could not be downloaded."), 1u);
        EXPECT_FALSE(std::filesystem::exists(InstallerFile()));
        EXPECT_FALSE(host->TranscriptContains("command output:"));
        EXPECT_FALSE(host->TranscriptContains("The installer has been downloaded."));
        break;
    case InstallerOutcome::NotMountable:
        EXPECT_EQ(result, ErrCode::Cancel);
        EXPECT_EQ(CountLines("report alert: Mounting DMG file failed, please try to install manually."), 1u);
        EXPECT_FALSE(host->TranscriptContains("file viewer shows /Volumes/Kordela/Kordela"));
        break;
    }
}

TEST_P(PaletteFaultMatrix, VersionFileIsReadOrGivesItsDefault)
{
    const TransferFault& fault = GetParam();
    OpenPalette();
    PublishVersion("3.3");
    ASSERT_TRUE(service.SetFault(VersionFilePath(), fault.mode, fault.settings));
    host->alertAnswers = {2};
    const GSErrCode result = TimedCheck();
    switch (fault.version) {
    case VersionOutcome::Offers:
        EXPECT_EQ(result, NoError);
        EXPECT_EQ(Offers(), 1u);
        break;
    case VersionOutcome::NoOffer:
        EXPECT_EQ(result, NoError);
        EXPECT_EQ(Offers(), 0u);
        break;
    case VersionOutcome::Unreachable:
        EXPECT_EQ(result, ErrCode::NotFound);
        EXPECT_EQ(Offers(), 0u);
        break;
    }
    EXPECT_FALSE(std::filesystem::exists(InstallerFile()));
}

TEST_P(PaletteFaultMatrix, LogosFailAloneAndASilentHostIsToldOnce)
{
    const TransferFault& fault = GetParam();
    ASSERT_TRUE(service.SetFault("/logos/*", fault.mode, fault.settings));
    const auto start = std::chrono::steady_clock::now();
    OpenPalette();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(Setting("FirstRun"), "2");
    for (short item = FirstLogoButton; item < FirstLogoButton + FeaturedInSample; ++item) {
        EXPECT_TRUE(Item(item).visible) << item;
        EXPECT_TRUE(DGHost::RequestToolTip(PaletteId, item).value_or("").size() > 0) << item;
        EXPECT_EQ(Item(item).icon, fault.logo == LogoOutcome::Icon ? "image 48x48" : "") << item;
    }
    EXPECT_EQ(CountLines(Unreachable), fault.logo == LogoOutcome::Silent ? 1u : 0u);
    if (fault.logo == LogoOutcome::Silent) {
        EXPECT_EQ(LogoRequests(), 1u) << "the other logos are not waited for";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, PaletteFaultMatrix, ::testing::ValuesIn(kordela::test::TransferFaults),
                         [](const auto& info) { return kordela::test::TransferFaultName(info.param); });
