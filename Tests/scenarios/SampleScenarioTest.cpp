// Runs each scenario of Samples/scenarios (the documentation's) and Tests/scenarios with
// devhost against the local catalogue service, on every host version its header names:
// documentation that fails is worse than none.
#include "LocalService.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view HostsHeader = "# host versions: ";

// The versions of a header line "# host versions: 15-17, 21"; empty when it names none or
// something else.
std::set<int> ParseHostVersions(std::string_view text)
{
    std::set<int> versions;
    for (bool more = true; more;) {
        const size_t comma = text.find(',');
        more = comma != std::string_view::npos;
        std::string_view item = text.substr(0, comma);
        text = more ? text.substr(comma + 1) : std::string_view();
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        const size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        const auto parse = [](std::string_view number, int& value) {
            const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
            return !number.empty() && result.ec == std::errc() && result.ptr == number.data() + number.size();
        };
        if (!parse(item.substr(0, dash), first) ||
            !parse(dash == std::string_view::npos ? item : item.substr(dash + 1), last) || first > last)
            return {};
        for (int v = first; v <= last; ++v)
            versions.insert(v);
    }
    return versions;
}

struct ScenarioFile {
    fs::path path;
    std::optional<std::set<int>> hosts;  // none when the header is missing or unreadable
    bool usesService = false;
};

ScenarioFile ReadHeader(const fs::path& path)
{
    ScenarioFile file;
    file.path = path;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line == "# uses the local catalogue service")
            file.usesService = true;
        if (line.starts_with(HostsHeader))
            if (auto versions = ParseHostVersions(std::string_view(line).substr(HostsHeader.size())); !versions.empty())
                file.hosts = std::move(versions);
    }
    return file;
}

// The scenarios to run on this build's host version, and those that do not say where they
// run (they fail, so that none is silently left out).
std::vector<ScenarioFile> Scenarios()
{
    std::vector<ScenarioFile> files;
    for (const char* folder : {"Samples/scenarios", "Tests/scenarios"})
        for (const auto& entry : fs::directory_iterator(fs::path(KORDELA_SOURCE_DIR) / folder))
            if (entry.path().extension() == ".scenario") {
                ScenarioFile file = ReadHeader(entry.path());
                if (!file.hosts || file.hosts->contains(KORDELA_HOST_VERSION))
                    files.push_back(std::move(file));
            }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return files;
}

struct DevHostRun {
    int exitCode = -1;
    std::string output;
};

// devhost in the source folder (scenarios name their files from there), without a shell:
// paths with blanks or quotes reach it unchanged.
DevHostRun RunDevHost(const fs::path& scenario)
{
    DevHostRun run;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return run;
    const std::vector<std::string> arguments = {KORDELA_DEVHOST_PATH, "--timeout", "300", "--scenario",
                                                scenario.string()};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (::chdir(KORDELA_SOURCE_DIR) == 0)
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    if (child < 0) {
        ::close(pipeEnds[0]);
        return run;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

void PrintTo(const ScenarioFile& file, std::ostream* out)
{
    *out << file.path.string();
}

class Scenario : public ::testing::TestWithParam<ScenarioFile> {};

TEST(ScenarioHeader, NamesHostVersionsAsListsAndRanges)
{
    const struct {
        std::string_view text;
        std::set<int> versions;
    } cases[] = {
        {"15-21", {15, 16, 17, 18, 19, 20, 21}},
        {"21", {21}},
        {"15, 18-19 ,21", {15, 18, 19, 21}},
        {"21-15", {}},
        {"", {}},
        {"18,", {}},
        {"all", {}},
        {"19-", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHostVersions(c.text), c.versions) << c.text;
}

}  // namespace

TEST_P(Scenario, EndsInSuccess)
{
    const ScenarioFile& file = GetParam();
    ASSERT_TRUE(file.hosts) << file.path << " has no line \"" << HostsHeader << "...\" naming its host versions";
    std::optional<kordela::test::LocalService> service;
    std::optional<kordela::test::ScopedServiceOrigin> origin;
    if (file.usesService) {
        service.emplace();
        ASSERT_TRUE(service->Running());
        origin.emplace(service->Origin());
    } else {
        origin.emplace(std::nullopt);
    }
    const DevHostRun run = RunDevHost(file.path);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\nSUCCESS\n"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Samples, Scenario, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<ScenarioFile>& info) {
                             std::string name = info.param.path.parent_path().parent_path().filename().string() + "_" +
                                                info.param.path.stem().string();
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });
