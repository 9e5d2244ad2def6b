// Downloads behind the progress page and their installation, with the add-on linked into the
// simulated host, the progress page played by script and the files served by the local
// catalogue service (and its faults).
#include "AddOnServiceHost.hpp"
#include "BridgeFunctions.hpp"
#include "DownloadManager.hpp"
#include "DownloadObject.hpp"
#include "LocalService.hpp"
#include "ServiceRequest.hpp"

#include "DGHost.hpp"
#include "DevHost/ScriptedPages.hpp"
#include "GSPref.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr short ProgressDialog = 32591;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SampleFile(const std::string& path)
{
    return ReadFile(std::string(KORDELA_SOURCE_DIR) + "/Samples/files/" + path);
}

class DownloadTest : public AddOnServiceHostTest {
protected:
    void SetUp() override
    {
        AddOnServiceHostTest::SetUp();
        host->modalDriver = [this](short dialogId) {
            if (beforePage)
                beforePage(dialogId);
            if (DGHost::IsOpen(dialogId))
                pageProblem += pages.RunPending();
        };
        pages.userDriver = [this](NSWindow& window) {
            if (beforePage)
                beforePage(ProgressDialog);
            if (!window.isClosed())
                pageProblem += pages.RunPending();
        };
#if KORDELA_HOST_VERSION != 18
        // The legacy page of the host 18 build asks by itself once it has loaded.
        pages.AddStep("/CadApplication/ProgressDialog", {DevHost::PageStep::Kind::Post, R"({"functionName":"downloadProgress"})", {}});
#endif
    }

    void TearDown() override
    {
        if (HasFailure() && getenv("DUMP"))
            for (const auto& line : host->TranscriptLines())
                std::fprintf(stderr, "| %s\n", line.c_str());
        SetTransferLimits(TransferLimits {});
        AddOnServiceHostTest::TearDown();
    }

    // Hands the page's two texts to the installation as the opener does: 1024-byte buffers.
    int Install(const std::string& url, const std::string& fileName)
    {
        std::vector<char> urlBuffer(1024, '\0');
        std::vector<char> nameBuffer(1024, '\0');
        std::memcpy(urlBuffer.data(), url.data(), std::min<size_t>(url.size(), 1023));
        std::memcpy(nameBuffer.data(), fileName.data(), std::min<size_t>(fileName.size(), 1023));
        return DownloadObject(urlBuffer.data(), nameBuffer.data());
    }
    std::string FileUrl(const std::string& path) const { return service.Url("/files/" + path); }

    static std::string Embedded()
    {
        GS::Array<API_LibraryInfo> libraries;
        ACAPI_Environment(APIEnv_GetLibrariesID, &libraries);
        return libraries[0].location.ToUTF8POSIXPath() + "/KordelaLibrary";
    }
    std::string DownloadFolder() const { return Profile() + "/Documents/KordelaLibrary"; }
    std::string Temp() const { return Profile() + "/Temp"; }

    std::vector<int> Progress() const
    {
        std::vector<int> values;
        for (const auto& script : pages.Evaluated())
            if (script.rfind("setProgress(", 0) == 0)
                values.push_back(std::stoi(script.substr(12)));
        return values;
    }

    DevHost::ScriptedPages pages;
    std::function<void(short dialogId)> beforePage;
    std::string pageProblem;
};

}  // namespace

TEST_F(DownloadTest, LibraryPartGoesIntoTheEmbeddedKordelaLibraryAndItsToolIsSelected)
{
    struct Case {
        const char* file;
        API_ElemTypeID tool;
        const char* toolName;
    };
    for (const Case& c : {Case {"OakChair_1234.gsm", API_ObjectID, "object"},
                          Case {"SlidingDoor_2001.gsm", API_DoorID, "door"}}) {
        ASSERT_EQ(Install(FileUrl(std::string("library/") + c.file), c.file), 0) << c.file;
        EXPECT_EQ(ReadFile(Embedded() + "/" + c.file), SampleFile(std::string("library/") + c.file));
        EXPECT_FALSE(fs::exists(Temp() + "/" + c.file)) << "the temporary copy is deleted";
        EXPECT_EQ(host->GetProject().ToolboxSelection(), c.tool) << c.file;
        EXPECT_TRUE(host->TranscriptContains(std::string("toolbox: ") + c.toolName + " tool selected"));
    }
    EXPECT_EQ(pageProblem, "");
    EXPECT_EQ(CountLines("library part registered"), 2u);
    EXPECT_EQ(CountLines("libraries reloaded"), 2u);
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialog));
    EXPECT_FALSE(host->TranscriptContains("report alert"));
}

TEST_F(DownloadTest, RequestCarriesTheBrowserHeadersAndProgressRisesTo100)
{
    ASSERT_TRUE(service.SetFault("/files/generated/2MB.bin", "throttle", {{"bytes_per_second", 8000000}}));
    ASSERT_EQ(Install(FileUrl("generated/2MB.bin"), "Generated.gsm"), 0);
    EXPECT_EQ(fs::file_size(Embedded() + "/Generated.gsm"), 2u * 1024 * 1024);
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
    for (const std::string& expected : std::vector<std::string> {"gzip, deflate", "hu-hu,hu;q=0.8,en-US;q=0.5,en;q=0.3",
                                                                 "\"" + origin + "\"", "Gecko/20100101 Firefox/19.0",
                                                                 "application/xhtml+xml"})
        EXPECT_NE(headers.find(expected), std::string::npos) << expected << " in " << headers;
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
    for (const Case& c : {Case {"library/KitchenSet_4001.lcf", "KitchenSet_4001.lcf", "Kitchen cabinet K4"},
                          Case {"tests/Unloadable_9001.lcf", "Unloadable_9001.lcf", nullptr},
                          Case {"tests/KitchenSet_4001.gsm.lcf", "KitchenSet_4001.gsm.lcf", "Cabinet handle (macro)"}}) {
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
        const std::string resources = (fs::path(KORDELA_MODULE_PATH).parent_path() / "Resources").string();
        ASSERT_EQ(host->Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, resources, "add-on"), "");
        host->modalDriver = [this](short) { pageProblem += pages.RunPending(); };

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
    EXPECT_EQ(CountLines("command output: new host instance opens \"<profile>/My Projects/Sample House 'A' $HOME.pln\""), 1u);
    EXPECT_EQ(CountLines("command output: new host instance opens"), 1u) << "one argument, not split at blanks";
    EXPECT_FALSE(host->TranscriptContains("library part registered"));
    EXPECT_FALSE(host->TranscriptContains("toolbox:"));
}

TEST(NewInstance, ArgumentsAreTheApplicationInsideItsFolderAndTheTarget)
{
    const std::string version = std::to_string(KORDELA_HOST_VERSION);
    EXPECT_EQ(NewInstanceArguments("/Applications/ArchiCAD " + version, "/Lib/Kordela Library/a b.pln"),
              (std::vector<std::string> {"/Applications/ArchiCAD " + version + "/archicad " + version +
                                             ".app/Contents/MacOS/ArchiCAD",
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
        EXPECT_EQ(CountLines("report alert: The download failed and nothing was installed: "), alertsBefore + 1) << c.mode;
        EXPECT_TRUE(host->TranscriptLines().size() > 0 &&
                    host->TranscriptContains(std::string("nothing was installed: ")) && host->TranscriptContains(c.reason))
            << c.mode;
        EXPECT_FALSE(fs::exists(Embedded() + "/OakChair_1234.gsm")) << c.mode;
        EXPECT_FALSE(fs::exists(Temp() + "/OakChair_1234.gsm")) << c.mode;
        const std::vector<int> all = Progress();
        const std::vector<int> values(all.begin() + static_cast<long>(stepsBefore), all.end());
        EXPECT_EQ(std::count(values.begin(), values.end(), 100), 0) << c.mode;
        EXPECT_FALSE(DGHost::IsOpen(ProgressDialog)) << c.mode;
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
    for (const Case& c : {Case {"closed", [](short dialogId) { DGHost::CloseBox(dialogId); }, "closed before it ended"},
                          Case {"cancelled", [](short) { DownloadCancel(); }, "cancelled"}}) {
#if KORDELA_HOST_VERSION == 18
        if (std::string(c.what) == "closed") {
            pages.userDriver = [](NSWindow& window) { window.close(); };
        } else {
            pages.userDriver = [this](NSWindow&) {
                DownloadCancel();
                pageProblem += pages.RunPending();
            };
        }
#else
        beforePage = c.user;
#endif
        EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), "OakChair_1234.gsm"), -1) << c.what;
        EXPECT_TRUE(host->TranscriptContains(std::string("nothing was installed: the download was ") + c.reason)) << c.what;
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
        EXPECT_EQ(Install(FileUrl("library/OakChair_1234.gsm"), name), -1) << name;
        EXPECT_TRUE(host->TranscriptContains("report alert: The page offered the download under a file name that cannot be used"))
            << name;
    }
    EXPECT_TRUE(service.Log().empty());
    for (const auto& entry : fs::recursive_directory_iterator(Profile()))
        EXPECT_FALSE(entry.is_regular_file() && entry.path().extension() == ".gsm") << entry.path();
    EXPECT_FALSE(DGHost::IsOpen(ProgressDialog));
    EXPECT_FALSE(host->TranscriptContains("dialog 32591 opened"));
}

TEST_F(DownloadTest, ProgressStepsWithoutADownloadEndTheLoop)
{
    EXPECT_EQ(DownloadManager::getInstance().Continue(), -1);
    EXPECT_EQ(DownloadProgress(), -1);
}

namespace {

// One answer without a length: the body ends when the connection closes.
class UnannouncedLengthServer {
public:
    explicit UnannouncedLengthServer(std::string body) : body_(std::move(body))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
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
            const std::string answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body_;
            (void)!::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(connection);
        });
    }
    ~UnannouncedLengthServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    std::string body_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace

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
    for (const Case& c : {Case {0x81010206u, 4}, Case {old ? 0x81010306u : 0x81010308u, 5},
                          Case {old ? 0x81010305u : 0x81010307u, 6}, Case {old ? 0x81010308u : 0x81010306u, 7},
                          Case {0x81010205u, 7}, Case {1u, 7}, Case {0xFFFFFFFFu, 7}})
        EXPECT_EQ(CopyFailureItem(static_cast<GSErrCode>(c.code)), c.item) << std::hex << c.code;
}
