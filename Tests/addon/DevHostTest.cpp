// The simulated host's own promises: scenarios, transcripts and the profile folder.
#include "DevHost/Scenario.hpp"
#include "HostFixture.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
// Runs devhost on a scenario and answers its exit code and output.
std::pair<int, std::string> RunDevHost(const std::string& arguments, const std::string& scenario)
{
    const std::string file = std::filesystem::temp_directory_path() / ("kordela-scenario-" + std::to_string(::getpid()));
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
    auto [code, output] = RunDevHost("", "menu 32500\nclick 32606 2\nclick 32606 2\nexpect palette visible\ndrag 100x100\nexpect size 42x428\n");
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("\nSUCCESS\n"), std::string::npos) << output;

    std::tie(code, output) = RunDevHost("", "menu 32500\nclick 32606 2\nclick 32606 2\nexpect palette hidden\nmenu 32500\n");
    EXPECT_EQ(code, 1);
    EXPECT_NE(output.find("FAILURE: line 4: expected the palette hidden, it is visible"), std::string::npos) << output;
    EXPECT_EQ(output.find("SUCCESS"), std::string::npos);

    std::tie(code, output) = RunDevHost("", "jump 3\n");
    EXPECT_NE(output.find("FAILURE: line 1: unknown command \"jump\""), std::string::npos) << output;

    std::tie(code, output) = RunDevHost("", "click 5\n");  // no palette yet
    EXPECT_NE(output.find("FAILURE: line 1: dialog 32600 is not open"), std::string::npos) << output;
}

TEST(Scenario, SecondRunWithTheSameProfileSeesTheFirstRunsSettings)
{
    const auto profile = std::filesystem::temp_directory_path() / ("kordela-profile-" + std::to_string(::getpid()));
    std::filesystem::remove_all(profile);
    auto [code, output] = RunDevHost("--profile " + profile.string(), "menu 32500\nclick 32606 2\nclick 32606 2\nclose-box\nquit\n");
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
