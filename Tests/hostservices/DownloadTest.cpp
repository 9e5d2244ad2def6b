// Downloads behind the progress page and their installation, with the add-on linked into the
// simulated host, the progress page played by script and the files served by the local
// catalogue service (and its faults).
#include "AddOnHarness.hpp"
#include "BridgeFunctions.hpp"
#include "BrowserDialog.hpp"
#include "DownloadManager.hpp"
#include "DownloadObject.hpp"
#include "ServiceRequest.hpp"

#include "DevHost/PageScript.hpp"
#include "DevHost/Project.hpp"
#include "DevHost/Scenario.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;

using kordela::test::ReadFile;
using kordela::test::SampleFile;
using kordela::test::UnannouncedLengthServer;

namespace {

class DownloadTest : public AddOnDownloadHarness {};

}  // namespace

TEST_F(DownloadTest, LibraryPartGoesIntoTheEmbeddedKordelaLibraryAndItsToolIsSelected)
{
    struct Case {
        const char* file;
        API_ElemTypeID tool;
        const char* toolName;
    };
    for (const Case& c :
         {Case {"OakChair_1234.gsm", API_ObjectID, "object"}, Case {"SlidingDoor_2001.gsm", API_DoorID, "door"}}) {
        ASSERT_EQ(Install(FileUrl(std::string("library/") + c.file), c.file), 0) << c.file;
        EXPECT_EQ(ReadFile(Embedded() + "/" + c.file), SampleFile(std::string("library/") + c.file));
        EXPECT_FALSE(fs::exists(Temp() + "/" + c.file)) << "the temporary copy is deleted";
        EXPECT_EQ(host->GetProject().ToolboxSelection(), c.tool) << c.file;
        EXPECT_TRUE(host->TranscriptContains(std::string("toolbox: ") + c.toolName + " tool selected"));
    }
    EXPECT_EQ(pageProblem, "");
    EXPECT_EQ(CountLines("library part registered"), 2u);
    EXPECT_EQ(CountLines("libraries reloaded"), 2u);
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialogId));
    EXPECT_FALSE(host->TranscriptContains("report alert"));
}

TEST_F(DownloadTest, RequestCarriesTheBrowserHeadersAndProgressRisesTo100)
{
    ASSERT_TRUE(service.SetFault("/files/generated/2MB.bin", "throttle", {{"bytes_per_second", 8000000}}));
    // Pattern bytes are no library part: the transfer completes, the host then refuses them.
    ASSERT_EQ(Install(FileUrl("generated/2MB.bin"), "Generated.gsm"), -1);
    EXPECT_TRUE(host->TranscriptContains("not a library part that can be loaded"));
    const std::vector<int> values = Progress();
    ASSERT_GE(values.size(), 3u);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(values.back(), 100);
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 1) << "100 only once, at the end";
    EXPECT_GT(std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 100; }), 0);

    const auto requests = Requests("/files/generated/2MB.bin");
    ASSERT_EQ(requests.size(), 1u);
    const std::string headers = requests[0]["headers"].dump();
    const std::string origin = service.Origin().substr(std::string("http://").size());
    for (const std::string& expected :
         std::vector<std::string> {"gzip, deflate", "hu-hu,hu;q=0.8,en-US;q=0.5,en;q=0.3", "\"" + origin + "\"",
                                   "Gecko/20100101 Firefox/19.0", "application/xhtml+xml"})
        EXPECT_NE(headers.find(expected), std::string::npos) << expected << " in " << headers;
}

TEST_F(DownloadTest, ThrottledTransferTakesAStepPerArrivalNotASpin)
{
    // 2 MB at 1 MB/s: the service sends a block every 20 ms, about 100 in all.
    constexpr long BytesPerSecond = 1000000;
    constexpr long Blocks = 2 * 1024 * 1024 / (BytesPerSecond / 50) + 1;
    ASSERT_TRUE(service.SetFault("/files/generated/2MB.bin", "throttle", {{"bytes_per_second", BytesPerSecond}}));
    const auto start = std::chrono::steady_clock::now();
    // Pattern bytes are no library part: the transfer completes, the host then refuses them.
    EXPECT_EQ(Install(FileUrl("generated/2MB.bin"), "Generated.gsm"), -1);
    const long elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(host->TranscriptContains("not a library part that can be loaded"));
    // A step waits for the socket: it ends when a block arrives or after at most 50 ms of
    // silence. Twice that many, whatever the machine's pace; a loop that spins takes thousands.
    const long steps = static_cast<long>(Progress().size());
    EXPECT_LE(steps, 2 * (Blocks + elapsedMs / 50) + 10) << elapsedMs << " ms";
    EXPECT_GE(steps, 3);
}

TEST_F(DownloadTest, WithoutEmbeddingAndForContainersTheDownloadFolderIsAddedToTheLibraries)
{
    StoreSetting("AddToEmbedded", "0");
    ASSERT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    EXPECT_TRUE(fs::exists(DownloadFolder() + "/OakChair_1234.gsm"));
    EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm"));
    EXPECT_EQ(CountLines("libraries set: embedded library \"KordelaLibrary\" <profile>/Documents/KordelaLibrary"), 1u);
    EXPECT_EQ(host->GetProject().ToolboxSelection(), API_ObjectID);
}

TEST_F(DownloadTest, BlanksInTheAddressBecomeUnderscoresAndTheFileNameKeepsThem)
{
    ASSERT_EQ(Install(FileUrl("library/OakChair 1234.gsm"), "Oak Chair.gsm"), 0);
    EXPECT_EQ(Requests("/files/library/OakChair_1234.gsm").size(), 1u);
    EXPECT_TRUE(fs::exists(Embedded() + "/Oak Chair.gsm"));
}

TEST_F(DownloadTest, RedirectsOfTheDownloadAddressAreFollowed)
{
    ASSERT_TRUE(service.SetFault("/files/library/OakChair_1234.gsm", "redirect-chain", {{"count", 3}}));
    ASSERT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    EXPECT_EQ(Requests("/files/library/OakChair_1234.gsm").size(), 4u);
    EXPECT_EQ(ReadFile(Embedded() + "/OakChair_1234.gsm"), SampleFile("library/OakChair_1234.gsm"));
}

TEST_F(DownloadTest, AnExistingNameIsNotOverwrittenAndTheTemporaryCopyStays)
{
    ASSERT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    std::ofstream(Embedded() + "/OakChair_1234.gsm", std::ios::trunc) << "the user's own edit";
    EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), -2);
    EXPECT_EQ(CountLines("report alert: The download could not be copied: a file of that name exists already."), 1u);
    EXPECT_EQ(ReadFile(Embedded() + "/OakChair_1234.gsm"), "the user's own edit");
    EXPECT_EQ(ReadFile(Temp() + "/OakChair_1234.gsm"), SampleFile("library/OakChair_1234.gsm"));
    EXPECT_EQ(CountLines("library part registered"), 1u);
}

TEST_F(DownloadTest, ContainersAreRegisteredAndTheFirstPlaceablePartInThemIsSelected)
{
    struct Case {
        const char* url;
        const char* name;
        const char* selected;  // the tool's new default, null when nothing is selected
    };
    // A container named like a library part is handed to the tool selection as a part
    // (its first part, here a macro), not walked.
    for (const Case& c :
         {Case {"library/KitchenSet_4001.lcf", "KitchenSet_4001.lcf", "Kitchen cabinet K4"},
          Case {"tests/Unloadable_9001.lcf", "Unloadable_9001.lcf", nullptr},
          Case {"tests/KitchenSet_4001.gsm.lcf", "KitchenSet_4001.gsm.lcf", "Cabinet handle (macro)"}}) {
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        ASSERT_NO_FATAL_FAILURE(AttachAddOn());
        host->modalDriver = [this](short) { pageProblem += pages.RunPending().reason; };

        ASSERT_EQ(Install(FileUrl(c.url), c.name), 0) << c.name;
        EXPECT_EQ(ReadFile(DownloadFolder() + "/" + c.name), SampleFile(c.url));
        if (c.selected != nullptr) {
            EXPECT_TRUE(host->TranscriptContains(std::string("tool: part ")) && host->TranscriptContains(c.selected))
                << c.name;
            EXPECT_TRUE(host->TranscriptContains(std::string("\"") + c.selected + "\", ")) << c.name;
            EXPECT_EQ(host->GetProject().ToolboxSelection(), API_ObjectID) << c.name;
        } else {
            EXPECT_FALSE(host->TranscriptContains("toolbox:")) << c.name;
            EXPECT_TRUE(host->TranscriptContains("library part not registered")) << c.name;
        }
    }
}

TEST_F(DownloadTest, ProjectFileOpensInANewHostInstanceWithItsPathAsOneArgument)
{
    const std::string folder = Profile() + "/My Projects";
    StoreSetting("DefaultDownloadFolder", folder);
    ASSERT_EQ(Install(FileUrl("projects/SampleHouse_5001.pln"), "Sample House 'A' $HOME.pln"), 0);
    const std::string target = folder + "/Sample House 'A' $HOME.pln";
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(
        CountLines("command output: new host instance opens \"<profile>/My Projects/Sample House 'A' $HOME.pln\""), 1u);
    EXPECT_EQ(CountLines("command output: new host instance opens"), 1u) << "one argument, not split at blanks";
    EXPECT_FALSE(host->TranscriptContains("library part registered"));
    EXPECT_FALSE(host->TranscriptContains("toolbox:"));
}

TEST(NewInstance, ArgumentsAreTheApplicationInsideItsFolderAndTheTarget)
{
    const std::string version = std::to_string(KORDELA_HOST_VERSION);
    EXPECT_EQ(NewInstanceArguments("/Applications/ArchiCAD " + version, "/Lib/Kordela Library/a b.pln"),
              (std::vector<std::string> {
                  "/Applications/ArchiCAD " + version + "/archicad " + version + ".app/Contents/MacOS/ArchiCAD",
                  "/Lib/Kordela Library/a b.pln"}));
}

TEST_F(DownloadTest, FailedTransfersInstallNothingTellTheUserAndEndTheProgressLoop)
{
    SetTransferLimits(TransferLimits {2, 1, 1, 20});
    struct Case {
        const char* mode;
        nlohmann::json settings;
        const char* reason;
    };
    const std::string path = "/files/library/OakChair_1234.gsm";
    for (const Case& c : {Case {"http500", nlohmann::json::object(), "HTTP status 500"},
                          Case {"http500", {{"status", 404}}, "HTTP status 404"},
                          Case {"html-error", nlohmann::json::object(), "a web page"},
                          Case {"truncated", {{"send_bytes", 100}}, "the transfer stopped"},
                          Case {"no-answer", {{"seconds", 10}}, "the transfer stopped"}}) {
        ASSERT_TRUE(service.Reset());
        ASSERT_TRUE(service.SetFault(path, c.mode, c.settings));
        const size_t alertsBefore = CountLines("report alert: The download failed and nothing was installed: ");
        const size_t stepsBefore = Progress().size();
        EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), -1) << c.mode;
        EXPECT_EQ(CountLines("report alert: The download failed and nothing was installed: "), alertsBefore + 1)
            << c.mode;
        EXPECT_TRUE(host->TranscriptLines().size() > 0 &&
                    host->TranscriptContains(std::string("nothing was installed: ")) &&
                    host->TranscriptContains(c.reason))
            << c.mode;
        EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm")) << c.mode;
        EXPECT_FALSE(fs::exists(Temp() + "/OakChair_1234.gsm")) << c.mode;
        const std::vector<int> all = Progress();
        const std::vector<int> values(all.begin() + static_cast<long>(stepsBefore), all.end());
        EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0) << c.mode;
        EXPECT_FALSE(DGHost::IsOpen(ProgressDialogId)) << c.mode;
    }
    EXPECT_FALSE(host->TranscriptContains("library part registered"));
    EXPECT_EQ(pageProblem, "");
}

TEST_F(DownloadTest, DialogClosedOrCancelledBeforeTheEndIsAFailedDownload)
{
    struct Case {
        const char* what;
        std::function<void(short)> user;
        const char* reason;
    };
    for (const Case& c :
         {Case {"closed", [this](short dialogId) { ClosePageWindow(dialogId); }, "closed before it ended"},
          Case {"cancelled", [](short) { DownloadCancel(); }, "cancelled"}}) {
        beforePage = c.user;
        EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), -1) << c.what;
        EXPECT_TRUE(host->TranscriptContains(std::string("nothing was installed: the download was ") + c.reason))
            << c.what;
        EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm")) << c.what;
        EXPECT_FALSE(fs::exists(Temp() + "/OakChair_1234.gsm")) << c.what;
    }
    EXPECT_FALSE(host->TranscriptContains("library part registered"));
}

TEST_F(DownloadTest, CompressedAnswerIsStoredDecoded)
{
    ASSERT_TRUE(service.SetFault("/files/library/OakChair_1234.gsm", "gzip"));
    ASSERT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    EXPECT_EQ(ReadFile(Embedded() + "/OakChair_1234.gsm"), SampleFile("library/OakChair_1234.gsm"));
    EXPECT_EQ(host->GetProject().ToolboxSelection(), API_ObjectID);
    EXPECT_EQ(Progress().back(), 100);
}

TEST_F(DownloadTest, FileNamesThatLeaveTheTemporaryFolderAreRefusedBeforeAnyTransfer)
{
    for (const std::string name : {"", "../OakChair_1234.gsm", "/tmp/OakChair_1234.gsm", "a/OakChair_1234.gsm",
                                   "a\\OakChair_1234.gsm", "..", "Oak\nChair.gsm", "Oak\x7F.gsm", "Oak\tChair.gsm"}) {
        // Each name is refused on its own: an earlier name's alert does not count.
        const TranscriptMark mark = Mark();
        EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), name), -1) << name;
        EXPECT_EQ(CountSince(mark, "report alert: The page offered the download under a file name that cannot be used"),
                  1u)
            << name;
    }
    EXPECT_TRUE(service.Log().empty());
    for (const auto& entry : fs::recursive_directory_iterator(Profile()))
        EXPECT_FALSE(entry.is_regular_file() && entry.path().extension() == ".gsm") << entry.path();
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialogId));
    EXPECT_FALSE(host->TranscriptContains("dialog 32591 opened"));
}

TEST_F(DownloadTest, ProgressStepsWithoutADownloadEndTheLoop)
{
    EXPECT_EQ(DownloadManager::getInstance().Continue(), -1);
    EXPECT_EQ(DownloadProgress(), -1);
}

TEST_F(DownloadTest, AnswerWithoutALengthReports100AtItsEnd)
{
    const std::string part = SampleFile("library/OakChair_1234.gsm");
    UnannouncedLengthServer server(part);
    ASSERT_EQ(Install(server.Url("/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    EXPECT_EQ(ReadFile(Embedded() + "/OakChair_1234.gsm"), part);
    ASSERT_FALSE(Progress().empty());
    EXPECT_EQ(Progress().back(), 100);
}

TEST(CopyFailure, EachHostCodeHasItsMessage)
{
    const bool old = KORDELA_HOST_VERSION <= 17;
    struct Case {
        uint32_t code;
        short item;
    };
    for (const Case& c :
         {Case {0x81010206u, 4}, Case {old ? 0x81010306u : 0x81010308u, 5}, Case {old ? 0x81010305u : 0x81010307u, 6},
          Case {old ? 0x81010308u : 0x81010306u, 7}, Case {0x81010205u, 7}, Case {1u, 7}, Case {0xFFFFFFFFu, 7}})
        EXPECT_EQ(CopyFailureItem(static_cast<GSErrCode>(c.code)), c.item) << std::hex << c.code;
}

TEST_F(DownloadTest, PartTheHostCannotLoadIsRemovedTheUserIsToldAndAGoodDownloadThenInstalls)
{
    const std::string part = SampleFile("library/OakChair_1234.gsm");
    std::string garbled = part;
    for (size_t i = 0; i < garbled.size(); i += 7)
        garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    // The service's compressed answer, fetched without decoding: a gzip body under no header.
    ASSERT_TRUE(service.SetFault("/files/library/OakChair_1234.gsm", "gzip"));
    const std::string compressed = kordela::test::Fetch(FileUrl("library/OakChair_1234.gsm")).body;
    ASSERT_TRUE(service.Reset());
    ASSERT_NE(compressed, part);
    struct Case {
        const char* what;
        std::string body;
    };
    for (const Case& c : {Case {"cut", part.substr(0, part.size() / 2)}, Case {"garbled", garbled},
                          Case {"compressed unsaid", compressed}}) {
        UnannouncedLengthServer server(c.body);
        const size_t told = CountLines(
            "report alert: The download is not a library part that can be loaded, so it was "
            "removed again and nothing was installed: OakChair_1234.gsm");
        EXPECT_EQ(Install(server.Url("/OakChair_1234.gsm"), "OakChair_1234.gsm"), -1) << c.what;
        EXPECT_EQ(CountLines("report alert: The download is not a library part that can be loaded, so it was removed "
                             "again and nothing was installed: OakChair_1234.gsm"),
                  told + 1)
            << c.what;
        EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm")) << c.what;
        EXPECT_FALSE(fs::exists(Temp() + "/OakChair_1234.gsm")) << c.what;
        EXPECT_FALSE(host->TranscriptContains("toolbox:")) << c.what;
        EXPECT_EQ(CountLines("libraries reloaded"), 0u) << c.what;
    }
    ASSERT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
    EXPECT_EQ(ReadFile(Embedded() + "/OakChair_1234.gsm"), part);
    EXPECT_EQ(host->GetProject().ToolboxSelection(), API_ObjectID);
    EXPECT_FALSE(host->TranscriptContains("a file of that name exists already"));
}

TEST_F(DownloadTest, OnlyHttpAndHttpsAreFetchedAlsoAfterARedirect)
{
    const std::string local = Profile() + "/secret.gsm";
    fs::copy_file(std::string(KORDELA_SOURCE_DIR) + "/Samples/files/library/OakChair_1234.gsm", local);
    UnannouncedLengthServer redirect(
        "", "HTTP/1.1 302 Found\r\nLocation: file://" + local + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    struct Case {
        const char* what;
        std::string url;
    };
    for (const Case& c : {Case {"file address", "file://" + local}, Case {"redirect to a file", redirect.Url("/a.gsm")},
                          Case {"other scheme", "ftp://127.0.0.1:1/OakChair_1234.gsm"}}) {
        const size_t told = CountLines("report alert: The download failed and nothing was installed: ");
        EXPECT_EQ(Install(c.url, "secret.gsm"), -1) << c.what;
        EXPECT_EQ(CountLines("report alert: The download failed and nothing was installed: "), told + 1) << c.what;
        EXPECT_FALSE(fs::exists(Embedded() + "/secret.gsm")) << c.what;
        EXPECT_FALSE(fs::exists(Temp() + "/secret.gsm")) << c.what;
    }
    EXPECT_FALSE(host->TranscriptContains("library part registered"));
    EXPECT_FALSE(host->TranscriptContains("toolbox:"));
}

TEST_F(DownloadTest, CloseBoxClickedWhileTheTransferRunsEndsItAsAFailedDownload)
{
    // About 10 s at this rate; the user closes the progress window after a few steps.
    ASSERT_TRUE(service.SetFault("/files/generated/2MB.bin", "throttle", {{"bytes_per_second", 200000}}));
    int pumps = 0;
    pages.eventSource = [this, &pumps]() -> std::function<void()> {
        if (++pumps != 3)
            return {};
        return [this] { ClosePageWindow(ProgressDialogId); };
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Install(FileUrl("generated/2MB.bin"), "Generated.gsm"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << "the transfer did not go on";
    EXPECT_GE(pumps, 3);
    EXPECT_EQ(CountLines("report alert: The download failed and nothing was installed: the download was closed before "
                         "it ended"),
              1u);
    const std::vector<int> values = Progress();
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0);
    EXPECT_FALSE(fs::exists(Embedded() + "/Generated.gsm"));
    EXPECT_FALSE(fs::exists(Temp() + "/Generated.gsm"));
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialogId));
    EXPECT_EQ(pageProblem, "");
    // The host is free again: the next download runs to its end.
    pages.eventSource = nullptr;
    ASSERT_TRUE(service.Reset());
    EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), 0);
}

TEST_F(DownloadTest, TransferFarBelowAUsefulRateFailsInBoundedTime)
{
    // The rule as built, its window shortened: 100 bytes a second is far below it.
    TransferLimits limits = GetTransferLimits(TransferKind::File);
    limits.lowSpeedSeconds = 2;
    SetTransferLimits(TransferKind::File, limits);
    ASSERT_TRUE(
        service.SetFault("/files/library/OakChair_1234.gsm", "trickle", {{"chunk_bytes", 10}, {"interval_ms", 100}}));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), -1);
    // The whole trickle would take about 15 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(host->TranscriptContains("nothing was installed: the transfer stopped: Timeout was reached"));
    EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm"));
}

TEST_F(DownloadTest, ScenarioLineClosingTheProgressWindowReachesTheRunningDownload)
{
    DevHost::Scenario scenario(*host);
    DevHost::AddPageCommands(scenario, pages);
    scenario.AddCommand("install", [this](const DevHost::Scenario::Words& w) -> DevHost::Scenario::Parsed {
        if (w.size() != 3)
            return DevHost::Scenario::Usage("install URL FILENAME");
        return [this, url = w[1], name = w[2]] {
            return Install(url, name) == -1 ? std::string() : std::string("the download did not fail");
        };
    });
    // Many steps at full speed; the user's close box comes after the first.
    std::istringstream script("install " + FileUrl("generated/50MB.bin") + " Generated.bin\n" +
                              ClosePageWindowLine(ProgressDialogId) + "\n" +
                              "expect transcript \"nothing was installed: the download was closed before it ended\"\n");
    EXPECT_TRUE(scenario.Run(script));
    EXPECT_TRUE(host->TranscriptContains("SUCCESS"));
    EXPECT_FALSE(fs::exists(Temp() + "/Generated.bin"));
    const std::vector<int> values = Progress();
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0);
}
