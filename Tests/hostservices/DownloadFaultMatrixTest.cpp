// A download behind the progress page against every misbehaviour of the local service: it
// ends within the limits, installs only a whole loadable part and otherwise says why.
#include "AddOnHarness.hpp"
#include "BrowserDialog.hpp"
#include "ServiceRequest.hpp"
#include "TransferFaultMatrix.hpp"

#include "DevHost/Project.hpp"

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using kordela::test::DownloadOutcome;
using kordela::test::ReadFile;
using kordela::test::SampleFile;
using kordela::test::TransferFault;

class DownloadFaultMatrix : public AddOnDownloadHarness, public ::testing::WithParamInterface<TransferFault> {};

}  // namespace

TEST_P(DownloadFaultMatrix, EndsWithinTheLimitsAndInstallsOnlyAWholePart)
{
    const TransferFault& fault = GetParam();
    SetTransferLimits(TransferLimits {kordela::test::MatrixConnectSeconds, kordela::test::MatrixLowSpeedBytesPerSecond,
                                      kordela::test::MatrixLowSpeedSeconds, 20});
    const std::string file = "OakChair_1234.gsm";
    ASSERT_TRUE(service.SetFault("/files/library/" + file, fault.mode, fault.settings));

    const auto start = std::chrono::steady_clock::now();
    const int result = Install(FileUrl("library/" + file), file);
    // Generous against a busy machine; without the limits the slow cases take minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(pageProblem, "");
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialogId));
    EXPECT_FALSE(fs::exists(Temp() + "/" + file)) << "no download is left behind";

    const std::vector<int> values = Progress();
    switch (fault.download) {
    case DownloadOutcome::Installs:
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadFile(Embedded() + "/" + file), SampleFile("library/" + file));
        EXPECT_EQ(host->GetProject().ToolboxSelection(), API_ObjectID);
        EXPECT_FALSE(host->TranscriptContains("report alert"));
        break;
    case DownloadOutcome::FailsTold:
        EXPECT_EQ(result, -1);
        EXPECT_EQ(CountLines("report alert: The download failed and nothing was installed: "), 1u);
        EXPECT_FALSE(fs::exists(Embedded() + "/" + file));
        EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0);
        EXPECT_FALSE(host->TranscriptContains("library part registered"));
        break;
    case DownloadOutcome::NotLoadable:
        EXPECT_EQ(result, -1);
        EXPECT_EQ(CountLines("report alert: The download is not a library part that can be loaded"), 1u);
        EXPECT_FALSE(fs::exists(Embedded() + "/" + file));
        break;
    }
    if (fault.download != DownloadOutcome::Installs) {
        EXPECT_FALSE(host->TranscriptContains("toolbox:"));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DownloadFaultMatrix, ::testing::ValuesIn(kordela::test::TransferFaults),
                         [](const auto& info) { return kordela::test::TransferFaultName(info.param); });
