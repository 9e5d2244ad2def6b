// The simulated host survives whatever a scenario does at whatever moment: a quit while a
// modal dialog of the add-on waits for the user, a project closed under an open dialog.
#include "AddOnHarness.hpp"

#include "GSPrefHost.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace {

struct DevHostRun {
    int status = -1;  // as waitpid gives it
    std::string output;
    bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

// Runs devhost on the scenario text, without a shell, with the test's environment (and so
// the test's service origin); standard output and error together.
DevHostRun RunDevHost(const std::string& scenario, std::vector<std::string> arguments = {})
{
    const std::string file =
        std::filesystem::temp_directory_path() / ("kordela-robustness-" + std::to_string(::getpid()));
    std::ofstream(file) << scenario;
    arguments.insert(arguments.begin(), KORDELA_DEVHOST_PATH);
    arguments.insert(arguments.end(), {"--scenario", file});
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    DevHostRun run;
    if (::pipe(out) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    if (spawned == 0)
        ::waitpid(pid, &run.status, 0);
    std::filesystem::remove(file);
    return run;
}

size_t LineOf(const std::string& output, const std::string& text)
{
    return output.find(text);
}

class DevHostRobustnessTest : public AddOnServiceHarness {};

}  // namespace

// With no key stored, opening the palette opens the settings dialog from inside the
// palette's start-up; a quit there used to free the palette under the add-on's feet.
TEST_F(DevHostRobustnessTest, QuitWhileTheSettingsDialogWaitsEndsTheDialogFirst)
{
    const DevHostRun run = RunDevHost("menu 32500\nquit\n");
    EXPECT_TRUE(run.Exited(0)) << run.output;
    const size_t closed = LineOf(run.output, "dialog 32606 closed");
    const size_t quit = LineOf(run.output, "> project event 0x00000040 (quit)");
    const size_t freed = LineOf(run.output, "FreeData -> 0x00000000");
    ASSERT_NE(closed, std::string::npos) << run.output;
    ASSERT_NE(quit, std::string::npos) << run.output;
    ASSERT_NE(freed, std::string::npos) << run.output;
    EXPECT_LT(closed, quit) << run.output;
    // Nothing of the add-on runs after FreeData: the palette's start-up had ended before.
    const std::string after = run.output.substr(freed);
    EXPECT_EQ(after.find("dialog "), std::string::npos) << after;
    EXPECT_NE(after.find("SUCCESS"), std::string::npos) << run.output;
}

// A project closed while the dialog waits disposes the palette; the add-on must not go on
// with the palette's start-up once the dialog returns.
TEST_F(DevHostRobustnessTest, PaletteDisposedUnderAnOpenDialogIsNotTouchedAgain)
{
    const DevHostRun run = RunDevHost("menu 32500\nevent new-reset\nclose-box 32606\nexpect palette none\nquit\n");
    EXPECT_TRUE(run.Exited(0)) << run.output;
    EXPECT_EQ(run.output.find("dialog error"), std::string::npos) << run.output;
    const size_t disposed = LineOf(run.output, "palette 32600 closed");
    ASSERT_NE(disposed, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("palette 32600", disposed + 1), std::string::npos) << run.output;
}

// A line that never ends (here a service that accepts and never answers) is ended by the
// watchdog's limit for one line, long before the limit for the whole run.
TEST_F(DevHostRobustnessTest, WatchdogLimitsEachLine)
{
    kordela::test::SilentListener silent;
    const kordela::test::ScopedServiceOrigin origin(silent.Origin());
    const DevHostRun run = RunDevHost("note first\nmenu 32500\n", {"--timeout", "600", "--step-timeout", "1"});
    EXPECT_TRUE(run.Exited(3)) << run.output;
    EXPECT_NE(run.output.find("FAILURE: watchdog: line 2 ran longer than 1 s"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("> menu 32500"), std::string::npos) << run.output;
}

// A preferences file that is JSON but holds values of the wrong types is reported and set
// aside; the host starts with an empty store instead of failing to start.
TEST_F(DevHostRobustnessTest, PreferencesOfTheWrongTypesAreSetAside)
{
    for (const char* text : {R"({"Kordela": {"FirstRun": {"kind": 3, "value": 1}}})",
                             R"({"Kordela": {"Count": {"kind": "int", "value": "many"}}})",
                             R"({"Kordela": {"FirstRun": "2"}})", R"({"Kordela": {"FirstRun": {"value": ["2"]}}})"}) {
        SCOPED_TRACE(text);
        const std::string profile =
            (std::filesystem::temp_directory_path() / ("kordela-preferences-" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(profile);
        std::filesystem::create_directories(profile);
        std::ofstream(profile + "/Preferences.json") << text;
        host.reset();
        ASSERT_NO_THROW(host = std::make_unique<DevHost::Host>(DevHost::Options {.profileFolder = profile}));
        EXPECT_TRUE(
            host->TranscriptContains("preferences: <profile>/Preferences.json holds values of the wrong types; set "
                                     "aside as Preferences.json.unreadable"));
        EXPECT_TRUE(std::filesystem::exists(profile + "/Preferences.json.unreadable"));
        EXPECT_FALSE(GSPref::HasValue("Kordela", "FirstRun"));
        EXPECT_FALSE(GSPref::HasValue("Kordela", "Count"));
        host.reset();
        std::filesystem::remove_all(profile);
        host = std::make_unique<DevHost::Host>(DevHost::Options {});
    }
}

// The real host lets no click reach the palette while a modal dialog is open.
TEST_F(DevHostRobustnessTest, ClickOnThePaletteUnderAModalDialogIsRefused)
{
    const DevHostRun run = RunDevHost("menu 32500\nclick 2\nclose-box 32606\nquit\n");
    EXPECT_TRUE(run.Exited(0)) << run.output;
    EXPECT_NE(run.output.find("palette 32600 item 2 click refused: modal dialog 32606 is open"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("palette 32600 item 2 clicked"), std::string::npos) << run.output;
}
