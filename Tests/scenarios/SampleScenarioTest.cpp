// Runs each sample scenario with devhost against the local catalogue service: the samples
// are documentation, and documentation that fails is worse than none.
#include "LocalService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SampleScenarios()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(KORDELA_SOURCE_DIR) / "Samples" / "scenarios"))
        if (entry.path().extension() == ".scenario")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SampleScenario : public ::testing::TestWithParam<std::string> {};

// A scenario that talks to the service says so in a line of its own.
bool UsesTheService(const fs::path& scenario)
{
    std::ifstream in(scenario);
    for (std::string line; std::getline(in, line);)
        if (line == "# uses the local catalogue service")
            return true;
    return false;
}

}  // namespace

TEST_P(SampleScenario, EndsInSuccess)
{
    const fs::path scenario = fs::path(KORDELA_SOURCE_DIR) / "Samples" / "scenarios" / (GetParam() + ".scenario");
    std::optional<kordela::test::LocalService> service;
    std::optional<kordela::test::ScopedServiceOrigin> origin;
    if (UsesTheService(scenario)) {
        service.emplace();
        origin.emplace(service->Origin());
    } else {
        origin.emplace(std::nullopt);
    }
    const std::string command = "cd " + std::string(KORDELA_SOURCE_DIR) + " && " + KORDELA_DEVHOST_PATH +
                                " --timeout 300 --scenario " + scenario.string() + " 2>&1";
    std::string transcript;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        transcript += buffer;
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 0) << transcript;
    EXPECT_NE(transcript.find("\nSUCCESS\n"), std::string::npos) << transcript;
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleScenario, ::testing::ValuesIn(SampleScenarios()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });
