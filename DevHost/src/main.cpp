// devhost: the simulated host application. Loads the add-on built for this host version
// and plays a scenario script against it, printing the transcript.
#include "DevHost/Host.hpp"
#include "DevHost/PageScript.hpp"
#include "DevHost/Project.hpp"
#include "DevHost/ProjectCommands.hpp"
#include "DevHost/Scenario.hpp"
#include "DevHost/ScriptedPages.hpp"
#include "DevHost/ServiceCommands.hpp"
#if KORDELA_WITH_WEBKIT
#include "DevHost/WebKitPages.hpp"
#endif

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

void PrintUsage()
{
    std::cout
        << "usage: devhost [--module FILE] [--profile DIR] [--project FILE] [--timeout SECONDS] [--step-timeout "
           "SECONDS]\n"
           "               [--engine scripted|webkit] [--scenario FILE | -]\n"
           "  --module    the add-on module (default: Kordela.so beside devhost)\n"
           "  --profile   the host's profile folder: preferences and special folders (default: a fresh one)\n"
           "  --project   the project to open (a JSON file; its library parts and elements)\n"
           "  --timeout   the watchdog's limit for the whole scenario (default: 120)\n"
           "  --step-timeout  the watchdog's limit for each line of the scenario (default: 60)\n"
           "  --engine    who plays the catalogue pages: the scenario's page lines (scripted, the default) or\n"
           "              the service's real pages in a browser engine (webkit; needs a display, e.g. xvfb-run -a)\n"
           "  --scenario  the scenario script; without it the add-on is only loaded, started and quit\n";
}

// Ends a scenario that runs too long, however it is stuck: the whole run has one limit,
// each line of the scenario another (a line's own limit starts again at each nested line
// of a dialog it opened).
class Watchdog {
public:
    using Clock = std::chrono::steady_clock;

    Watchdog(int runSeconds, int stepSeconds)
        : runDeadline_(Clock::now() + std::chrono::seconds(runSeconds)),
          stepSeconds_(stepSeconds),
          stepDeadline_(Clock::time_point::max()),
          thread_([this, runSeconds] { Watch(runSeconds); })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    // A scenario line begins.
    void Step(size_t line)
    {
        std::lock_guard lock(mutex_);
        line_ = line;
        stepDeadline_ = Clock::now() + std::chrono::seconds(stepSeconds_);
        cv_.notify_all();
    }

private:
    void Watch(int runSeconds)
    {
        std::unique_lock lock(mutex_);
        while (!done_) {
            const auto now = Clock::now();
            if (now >= runDeadline_)
                Fail("the scenario ran longer than " + std::to_string(runSeconds) + " s");
            if (now >= stepDeadline_)
                Fail("line " + std::to_string(line_) + " ran longer than " + std::to_string(stepSeconds_) + " s");
            cv_.wait_until(lock, std::min(runDeadline_, stepDeadline_));
        }
    }

    [[noreturn]] static void Fail(const std::string& why)
    {
        DevHost::Host::FlushTranscriptAfterCrash();
        std::cout << "FAILURE: watchdog: " << why << std::endl;
        std::_Exit(3);
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    const Clock::time_point runDeadline_;
    const int stepSeconds_;
    Clock::time_point stepDeadline_;
    size_t line_ = 0;
    std::thread thread_;
};

// A crash still shows what led to it: the transcript's pending lines are written out before
// the signal takes its default course.
void WriteOutAndDie(int signal)
{
    DevHost::Host::FlushTranscriptAfterCrash();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void WriteOutOnFatalSignals()
{
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        std::signal(signal, WriteOutAndDie);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string module;
    std::string scenario;
    std::string project;
    DevHost::Options options;
    int timeout = 120;
    int stepTimeout = 60;
    std::string engine = "scripted";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--module" && hasValue) {
            module = argv[++i];
        } else if (arg == "--profile" && hasValue) {
            options.profileFolder = argv[++i];
        } else if (arg == "--project" && hasValue) {
            project = argv[++i];
        } else if (arg == "--timeout" && hasValue) {
            timeout = std::atoi(argv[++i]);
        } else if (arg == "--step-timeout" && hasValue) {
            stepTimeout = std::atoi(argv[++i]);
        } else if (arg == "--engine" && hasValue) {
            engine = argv[++i];
        } else if (arg == "--scenario" && hasValue) {
            scenario = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage();
            return 0;
        } else {
            std::cerr << "devhost: unknown argument " << arg << "\n";
            PrintUsage();
            return 2;
        }
    }
    if (engine != "scripted" && engine != "webkit") {
        std::cerr << "devhost: unknown engine " << engine << " (scripted or webkit)\n";
        return 2;
    }
#if !KORDELA_WITH_WEBKIT
    if (engine == "webkit") {
        std::cerr << "devhost: this build has no webkit engine (WebKitGTK 4.1 was not found when it was configured)\n";
        return 2;
    }
#endif
    if (module.empty())
        module = (fs::canonical("/proc/self/exe").parent_path() / "Kordela.so").string();

    Watchdog watchdog(timeout > 0 ? timeout : 120, stepTimeout > 0 ? stepTimeout : 60);
    options.echo = &std::cout;
    options.echoDescriptor = STDOUT_FILENO;
    WriteOutOnFatalSignals();
    options.hideServiceOrigin = true;
    try {
        // The pages outlive the host, whose shut-down may still close windows.
        std::unique_ptr<DevHost::PageEngine> engineHolder;
#if KORDELA_WITH_WEBKIT
        if (engine == "webkit") {
            std::string why;
            engineHolder = DevHost::WebKitPages::Create(&why);
            if (!engineHolder) {
                std::cout << "devhost: the webkit engine cannot start: " << why << std::endl;
                return 2;
            }
        }
#endif
        if (!engineHolder)
            engineHolder = std::make_unique<DevHost::ScriptedPages>();
        DevHost::PageEngine& pages = *engineHolder;
        DevHost::Host host(options);
        if (const std::string refused = host.Load(module); !refused.empty()) {
            host.FlushTranscript();
            std::cout << "devhost " << DevHost::Host::Version << ": refused: " << refused << std::endl;
            return 2;
        }
        if (!project.empty()) {
            if (const std::string error = host.GetProject().Open(project, false); !error.empty()) {
                host.FlushTranscript();
                std::cout << "FAILURE: " << error << std::endl;
                return 1;
            }
        }
        host.Start();
        if (scenario.empty()) {
            host.Quit();
            host.Transcript("SUCCESS");
            return 0;
        }
        DevHost::Scenario runner(host);
        runner.SetStepObserver([&watchdog](size_t line) { watchdog.Step(line); });
        DevHost::AddProjectCommands(runner, host);
        DevHost::AddPageCommands(runner, pages);
        DevHost::AddServiceCommands(runner);
        bool ok = false;
        if (scenario == "-") {
            ok = runner.Run(std::cin);
        } else {
            std::ifstream script(scenario);
            if (!script) {
                host.Transcript("FAILURE: cannot read the scenario " + scenario);
                return 1;
            }
            ok = runner.Run(script);
        }
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::cout << "FAILURE: " << e.what() << std::endl;
        return 1;
    }
}
