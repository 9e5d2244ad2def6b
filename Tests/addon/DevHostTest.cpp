// The simulated host's own promises: scenarios, transcripts and the profile folder.
#include "BM.hpp"
#include "DevHost/Host.hpp"
#include "DevHost/Project.hpp"
#include "DevHost/Scenario.hpp"
#include "HostVersion.hpp"
#include "LocalService.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {
// Runs devhost on a scenario and answers its exit code and output.
std::pair<int, std::string> RunDevHost(const std::string& arguments, const std::string& scenario)
{
    const std::string file =
        std::filesystem::temp_directory_path() / ("kordela-scenario-" + std::to_string(::getpid()));
    std::ofstream(file) << scenario;
    const std::string command = std::string(KORDELA_DEVHOST_PATH) + " " + arguments + " --scenario " + file + " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    std::filesystem::remove(file);
    return {WEXITSTATUS(status), output};
}
}  // namespace

TEST(Scenario, SplitKeepsQuotedBlanksAndDropsComments)
{
    std::string error;
    EXPECT_EQ(DevHost::Scenario::Split("type 32606 5 \"  a \\\"key\\\" \" # typed", &error),
              (std::vector<std::string> {"type", "32606", "5", "  a \"key\" "}));
    EXPECT_TRUE(error.empty());
    DevHost::Scenario::Split("note \"open", &error);
    EXPECT_EQ(error, "unterminated quote");
}

TEST(Scenario, TranscriptEndsInSuccessOrInTheFirstFailure)
{
    // The site's home page (opened from the settings dialog) attaches cloud 7. With no part to
    // attach it to, the page receives -1 (the legacy web view's call returns it).
    const std::string attach =
        HostHasModernWebView
            ? R"(page 127.0.0.1 post "{\"functionName\":\"addKDPC\",\"kdpcId\":7}")"
              "\n"
              "page 127.0.0.1 await AddKDPC_callback\npage 127.0.0.1 expect \"7, 0\"\n"
            : "page 127.0.0.1 call ExtAddKDPC 7\nnote the page reads what the call returns\npage 127.0.0.1 expect 0\n";
    const std::string received = HostHasModernWebView ? R"("7, 0", received "7, 4294967295")" : R"("0", received "-1")";
    const struct Case {
        std::string script;
        int code;
        std::vector<std::string> says;  // texts of the output
        std::string never;              // a text the output must not hold
        bool withoutService = false;    // KORDELA_SERVICE_ORIGIN unset
    } cases[] = {
        {"menu 32500\nclick 32606 2\nclick 32606 2\nexpect palette visible\ndrag 100x100\nexpect size 42x428\n",
         0,
         {"\nSUCCESS\n"},
         "FAILURE"},
        {"menu 32500\nclick 32606 2\nclick 32606 2\nexpect palette hidden\nmenu 32500\n",
         1,
         {"FAILURE: line 4: expected the palette hidden, it is visible"},
         "SUCCESS"},
        {"jump 3\n", 1, {"FAILURE: line 1: unknown command \"jump\""}, "SUCCESS"},
        {"click 5\n", 1, {"FAILURE: line 1: dialog 32600 is not open"}, "SUCCESS"},
        // The whole script is read before its first line plays.
        {"menu 32500\nnote before\njump 3\n", 1, {"FAILURE: line 3: unknown command \"jump\""}, "> menu"},
        {"menu 32500\nclick 32606 2 3\n", 1, {"FAILURE: line 2: usage: click [DIALOG] ITEM"}, "> menu"},
        {"menu 32500\nfault host LibPartFly\n",
         1,
         {"FAILURE: line 2: no host call LibPartFly can be made to fail"},
         "> menu"},
        {"menu 32500\nexpect palette shown\n", 1, {"FAILURE: line 2: usage: expect palette"}, "> menu"},
        {"menu 32500\npage /x jump\n", 1, {"FAILURE: line 2: usage: page ADDRESS"}, "> menu"},
        // A page line waits for its page: one that never ran fails the scenario at its end.
        {"page /Nowhere expect \"nothing\"\nquit\n",
         1,
         {"FAILURE: line 1: page /Nowhere expect: never ran, its page never opened"},
         "SUCCESS"},
        {"page /Nowhere may-not-open\npage /Nowhere expect \"nothing\"\nquit\n", 0, {"\nSUCCESS\n"}, "FAILURE"},
        {"page /Nowhere post \"{}\"\npage /Nowhere forget\nquit\n",
         1,
         {"FAILURE: line 1: page /Nowhere post: never ran, dropped by line 2"},
         "SUCCESS"},
        // A page line that fails is named, and so is the line that opened its page.
        {attach + "menu 32500\nclick 32606 7\n",
         1,
         {"FAILURE: line 3: page ", ": expected to receive " + received + " (page opened by line 5)"},
         "SUCCESS"},
        // A scenario that needs the local service says so before it plays anything.
        {"# uses the local catalogue service\nmenu 32500\n",
         1,
         {"FAILURE: line 1: the scenario uses the local catalogue service, and KORDELA_SERVICE_ORIGIN is not set"},
         "> menu",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::optional<kordela::test::ScopedServiceOrigin> origin;
        if (c.withoutService)
            origin.emplace(std::nullopt);
        const auto [code, output] = RunDevHost("", c.script);
        EXPECT_EQ(code, c.code) << output;
        for (const std::string& text : c.says)
            EXPECT_NE(output.find(text), std::string::npos) << text << "\n" << output;
        EXPECT_EQ(output.find(c.never), std::string::npos) << output;
    }
}

TEST(Scenario, SecondRunWithTheSameProfileSeesTheFirstRunsSettings)
{
    const auto profile = std::filesystem::temp_directory_path() / ("kordela-profile-" + std::to_string(::getpid()));
    std::filesystem::remove_all(profile);
    auto [code, output] =
        RunDevHost("--profile " + profile.string(), "menu 32500\nclick 32606 2\nclick 32606 2\nclose-box\nquit\n");
    ASSERT_EQ(code, 0) << output;
    std::tie(code, output) =
        RunDevHost("--profile " + profile.string(), "expect setting FirstRun 0\nevent library\nexpect palette none\n");
    EXPECT_EQ(code, 0) << output;
    std::filesystem::remove_all(profile);
}

TEST(Scenario, TranscriptHidesTheProfileFolder)
{
    auto [code, output] = RunDevHost("", "print settings\n");
    EXPECT_EQ(code, 0);
    EXPECT_NE(output.find("setting Kordela/DefaultDownloadFolder = \"<profile>/Documents/KordelaLibrary\""),
              std::string::npos)
        << output;
}

TEST(Transcript, LinesReachTheEchoInBlocksAndStillAfterACrash)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::ostringstream echo;
    {
        DevHost::Options options;
        options.echo = &echo;
        options.echoDescriptor = pipeEnds[1];
        DevHost::Host host(options);
        host.Transcript("first");
        EXPECT_EQ(echo.str(), "") << "lines wait for a flush";
        host.FlushTranscript();
        EXPECT_EQ(echo.str(), "first\n");
        host.Transcript("second");
        DevHost::Host::FlushTranscriptAfterCrash();
        host.Transcript("third");
        EXPECT_EQ(host.TranscriptLines(), (std::vector<std::string> {"first", "second", "third"}));
    }
    EXPECT_EQ(echo.str(), "first\nthird\n") << "the end flushes what is left";
    ::close(pipeEnds[1]);
    char buffer[64] = {};
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(::read(pipeEnds[0], buffer, sizeof buffer))), "second\n");
    ::close(pipeEnds[0]);
}

TEST(Project, ElementsAndPartsAreFoundByGuidAndByIdInAnyLetterCase)
{
    DevHost::Host host(DevHost::Options {});
    DevHost::Project& project = host.GetProject();
    ASSERT_EQ(project.Open(std::string(KORDELA_SOURCE_DIR) + "/Samples/project/Project.json", true), "");
    const DevHost::LibraryPartData* door =
        project.PartById("{b3a1c9d2-0000-4f0b-9c1a-5d6e7f809a1b}-{00000000-0000-0000-0000-000000000001}");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(project.Part(door->index), door);
    EXPECT_EQ(project.PartById("{B3A1C9D2-0000-4F0B-9C1A-5D6E7F809A1B}"), nullptr);
    DevHost::PlacedElement* element = project.Element(APIGuidFromString("22222222-2222-4222-8222-222222222222"));
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->libInd, door->index);
    EXPECT_EQ(project.Element(APIGuidFromString("22222222-2222-4222-8222-222222222223")), nullptr);

    // A list read back into an older one is the list read fresh.
    std::vector<DevHost::Parameter> fresh = project.Part(door->index)->params;
    fresh.push_back(DevHost::Parameter {"KDPC_HNDL", APIParT_RealNum, 0x80, u"", 0, u"", true, 1, 3, {12, 1, -1}});
    std::vector<DevHost::Parameter> older(fresh.rbegin(), fresh.rend());
    API_AddParType** handle = DevHost::ParametersToHandle(fresh);
    DevHost::AssignParametersFromHandle(handle, older);
    const std::vector<DevHost::Parameter> read = DevHost::ParametersFromHandle(handle);
    ASSERT_EQ(older.size(), read.size());
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(DevHost::DescribeParameter(older[i]), DevHost::DescribeParameter(read[i]));
        EXPECT_EQ(older[i].description, read[i].description);
    }
    for (size_t i = 0; i < fresh.size(); ++i)
        BMhKill(&(*handle)[i].value.array);
    GSHandle block = reinterpret_cast<GSHandle>(handle);
    BMhKill(&block);
}
