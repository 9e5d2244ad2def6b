// The catalogue's real pages, run by the real page engine in devhost against the local
// service: what the add-on hands to a page reaches the page's script exactly, and what the
// page's script sends reaches the add-on as it expects. The pages tell the simulated host
// what they received ("page N says: ..." in the transcript).
#include "LocalService.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr bool Legacy = KORDELA_HOST_VERSION < 19;
const std::string ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
const std::string Chair = "11111111-1111-4111-8111-111111111111";
// A product GUID as a part may carry it: everything that can end a script string or element.
const std::string TrickyGuid =
    "Halo \"lamp\" 'x' \\ a\nb\r\xE2\x80\xA8"
    "c </script> d";

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((fs::path(folder) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

// How devhost gets a display: a virtual one of its own, else the session's; none when neither.
std::optional<std::string> DisplayPrefix()
{
    if (OnPath("xvfb-run"))  // a server number of this process's own, so parallel tests do not collide
        return "xvfb-run -a -n " + std::to_string(100 + ::getpid() % 20000) + " ";
    if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0')
        return std::string();
    return std::nullopt;
}

struct Played {
    int status = -1;
    std::string transcript;

    bool Has(const std::string& text) const { return transcript.find(text) != std::string::npos; }
    // What the pages said, in order, each after its page number.
    std::vector<std::string> Said(const std::string& prefix) const
    {
        std::vector<std::string> out;
        std::istringstream lines(transcript);
        for (std::string line; std::getline(lines, line);) {
            const size_t at = line.find(" says: " + prefix);
            if (line.rfind("page ", 0) == 0 && at != std::string::npos)
                out.push_back(line.substr(at + 7 + prefix.size()));
        }
        return out;
    }
};

class RealPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto prefix = DisplayPrefix();
        if (!prefix)
            GTEST_SKIP() << "no display can be made: xvfb-run is missing and DISPLAY is not set "
                            "(scripts/install-deps.sh installs xvfb and xauth)";
        prefix_ = *prefix;
        ASSERT_TRUE(service_.Running());
        ::setenv("KORDELA_SERVICE_ORIGIN", service_.Origin().c_str(), 1);
        folder_ = fs::temp_directory_path() / ("kordela-webkit-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    void TearDown() override
    {
        if (!folder_.empty())
            fs::remove_all(folder_);
    }

    // The sample catalogue with the user's choices for the pages.
    void Choose(const json& choices)
    {
        json catalogue = service_.Catalogue();
        catalogue["pageChoices"] = choices;
        ASSERT_TRUE(service_.SetCatalogue(catalogue));
    }

    // A copy of the sample project whose lamp part carries `guid` as its product GUID.
    std::string ProjectWithLampGuid(const std::string& guid)
    {
        const fs::path copy = folder_ / "project";
        fs::copy(fs::path(KORDELA_SOURCE_DIR) / "Samples" / "project", copy, fs::copy_options::recursive);
        const fs::path lamp = copy / "Library" / "PendantLamp_3001.gsm";
        json part = json::parse(std::ifstream(lamp));
        for (json& parameter : part["parameters"])
            if (parameter["name"] == "KD_productguid")
                parameter["value"] = guid;
        std::ofstream(lamp) << part.dump(2);
        return (copy / "Project.json").string();
    }

    // devhost with the real engine on `scenario`, after opening `project` and the palette.
    Played Play(const std::string& scenario, const std::string& project = "", int timeout = 240)
    {
        const fs::path file = folder_ / "test.scenario";
        std::ofstream(file) << "open-project "
                            << (project.empty() ? std::string(KORDELA_SOURCE_DIR) + "/Samples/project/Project.json"
                                                : project)
                            << "\nmenu 32500\ntype 32606 5 \"3f2504e0-4f89-11d3-9a0c-0305e82c3301\"\nclick 32606 1\n"
                            << scenario;
        const std::string command = prefix_ + KORDELA_DEVHOST_PATH + " --engine webkit --timeout " +
                                    std::to_string(timeout) + " --scenario " + file.string() + " 2>&1";
        Played run;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return run;
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            run.transcript += buffer;
        run.status = WEXITSTATUS(::pclose(pipe));
        return run;
    }

    kordela::test::LocalService service_ {kordela::test::LocalService::Options::Quiet()};
    std::string prefix_;
    fs::path folder_;
};

TEST_F(RealPages, ADownloadHandedOverByThePageRunsBehindTheProgressPage)
{
    Choose({{"download", "1234"}});
    const Played run = Play("page /Product post \"{\\\"functionName\\\":\\\"download\\\"}\"\nclick 1\n");
    ASSERT_EQ(run.status, 0) << run.transcript;
    const auto handed = run.Said("hands over ");
    ASSERT_EQ(handed.size(), 1u) << run.transcript;
    EXPECT_EQ(json::parse(handed[0]),
              json({{"url1", "<service>/files/library/OakChair_1234.gsm"}, {"filename1", "OakChair_1234.gsm"}}));
    const auto progress = run.Said("setProgress ");
    ASSERT_FALSE(progress.empty()) << run.transcript;
    EXPECT_EQ(progress.back(), "100");
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end(),
                               [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); }));
    EXPECT_TRUE(run.Has("/KordelaLibrary/OakChair_1234.gsm")) << run.transcript;
    EXPECT_FALSE(run.Has("script failed")) << run.transcript;
    // A page line is left to the real page, and the transcript says so.
    EXPECT_TRUE(
        run.Has("not played by the real page engine (its page does what its own script says): page /Product post"))
        << run.transcript;
}

// What the page hands over instead of a product's address and file name ("{url}" stands for
// the chair's download address).
class RefusedDownload : public RealPages, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedDownload, ClosesTheWindowAndCopiesNothing)
{
    std::string fields = GetParam();
    const std::string url = service_.Url("/files/library/OakChair_1234.gsm");
    for (size_t at = fields.find("{url}"); at != std::string::npos; at = fields.find("{url}"))
        fields.replace(at, 5, url);
    json handed = json::parse(fields);
    for (auto& [key, value] : handed.items())
        if (value.is_number() && value.get<int>() > 100)  // a text of that many bytes
            value = url + "?" + std::string(value.get<size_t>() - url.size() - 1, 'a');
    Choose({{"download", handed}});
    const Played run = Play("click 1\n");
    EXPECT_EQ(run.status, 0) << run.transcript;
    EXPECT_EQ(run.Said("hands over ").size(), 1u) << run.transcript;
    EXPECT_TRUE(run.Has("download refused")) << run.transcript;
    EXPECT_FALSE(run.Has("ProgressDialog")) << run.transcript;
    EXPECT_FALSE(run.Has("copied ")) << run.transcript;
    EXPECT_FALSE(run.Has("the user closes")) << run.transcript;
}

INSTANTIATE_TEST_SUITE_P(Fields, RefusedDownload,
                         ::testing::Values(R"({"url1": "{url}"})", R"({"filename1": "OakChair_1234.gsm"})",
                                           R"({"url1": 1024, "filename1": "OakChair_1234.gsm"})",
                                           R"({"url1": "{url}", "filename1": 7})"));

TEST_F(RealPages, TheObjectUpdateListsReachThePagesExactly)
{
    const std::string chosen = ChairGuid + ",4,true;" + TrickyGuid + ",2,true";
    Choose({{"productUpdate", chosen}});
    const Played run =
        Play("page /CadApplication/ProductUpdateResult close\nclick 3\nprint-part \"Oak dining chair\"\n",
             ProjectWithLampGuid(TrickyGuid));
    ASSERT_EQ(run.status, 0) << run.transcript;
    const auto received = run.Said("FakePost ");
    ASSERT_EQ(received.size(), 2u) << run.transcript;
    const std::string list = json::parse(received[0]).get<std::string>();
    EXPECT_NE(list.find(ChairGuid + ",3;"), std::string::npos) << list;
    EXPECT_NE(list.find(TrickyGuid + ",1;"), std::string::npos) << list;
    EXPECT_EQ(run.Said("chooses "), std::vector<std::string>({json(chosen).dump()}));
    // The result list is JSON the page can read, the tricky GUID within.
    const json results = json::parse(json::parse(received[1]).get<std::string>());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["productguid"], ChairGuid);
    EXPECT_EQ(results[0]["isupdated"], true);
    EXPECT_EQ(results[1]["productguid"], TrickyGuid);
    EXPECT_EQ(results[1]["isupdated"], false);
    EXPECT_TRUE(run.Has("KD_edinum (integer, flags 64) = 4")) << run.transcript;
    EXPECT_FALSE(run.Has("script failed")) << run.transcript;
}

TEST_F(RealPages, CloudCallsReachTheAddOnAndTheirResultsThePage)
{
    // Attaching twice and unlinking twice fail the second time with negative codes.
    Choose({{"cloudActions", {"attach 15", "attach 15", "unlink 15", "unlink 15", "link 15"}}});
    const Played run =
        Play("select " + Chair + "\npage /KDPC/Product close\nclick 5\nprint-part \"Oak dining chair\"\n");
    ASSERT_EQ(run.status, 0) << run.transcript;
    if (Legacy) {
        EXPECT_EQ(run.Said("ExtAddKDPC "), std::vector<std::string>({"15 gave 0", "15 gave -4"})) << run.transcript;
        EXPECT_EQ(run.Said("ExtUnlinkKDPC "), std::vector<std::string>({"15 gave 0", "15 gave -3"}));
        EXPECT_EQ(run.Said("ExtLinkKDPC "), std::vector<std::string>({"15 gave 0"}));
    } else {
        EXPECT_EQ(run.Said("AddKDPC_callback "), std::vector<std::string>({"15 0", "15 4294967292"})) << run.transcript;
        EXPECT_EQ(run.Said("UnlinkKDPC_callback "), std::vector<std::string>({"15 0", "15 4294967293"}));
        EXPECT_EQ(run.Said("LinkKDPC_callback "), std::vector<std::string>({"15 0"}));
    }
    EXPECT_TRUE(run.Has("KDPC_HNDL (real, flags 128) [2x3] 12 1 -1 15 1 -1")) << run.transcript;
}

TEST_F(RealPages, TheCloudUpdateTakesThePagesChoice)
{
    Choose({{"kdpcUpdate", "latest"}});
    const Played run = Play("page /CadApplication/KDPCUpdateResult close\nclick 6\nprint-part \"Oak dining chair\"\n");
    ASSERT_EQ(run.status, 0) << run.transcript;
    const auto received = run.Said("FakePost ");
    ASSERT_EQ(received.size(), 2u) << run.transcript;
    EXPECT_EQ(json::parse(received[0]).get<std::string>(), ChairGuid + ",12,-1;");
    EXPECT_EQ(run.Said("chooses "), std::vector<std::string>({json(ChairGuid + ",12,3;").dump()}));
    EXPECT_EQ(run.Said("shows "), std::vector<std::string>({json::array({ChairGuid + " cloud 12 updated"}).dump()}));
    EXPECT_TRUE(run.Has("KDPC_HNDL (real, flags 128) [1x3] 12 1 3")) << run.transcript;
}

TEST_F(RealPages, APageThatNeverAnswersIsEndedByTheWatchdog)
{
    ASSERT_TRUE(service_.SetFault("/CadApplication/ProductUpdate", "no-answer", {{"seconds", 60}}));
    const Played run = Play("click 3\n", "", 15);
    EXPECT_EQ(run.status, 3) << run.transcript;
    EXPECT_TRUE(run.Has("CadApplication/ProductUpdate")) << run.transcript;
    EXPECT_TRUE(run.Has("FAILURE: watchdog")) << run.transcript;
}

}  // namespace
