// What every page engine of the simulated host shares: it is the window system of the Cocoa
// stand-in (windows opened and closed, the front window, the file viewer, modal sessions run
// by the scripted user) and the host's clock, which is virtual: waits cost no real time. The
// engines differ in how pages load and run.
#pragma once

#include "ClockHost.hpp"
#include "Cocoa.hpp"
#include "DevHost/LineProblem.hpp"
#include "WebBackend.hpp"

#include <chrono>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace DevHost {

// One step a scripted page takes once it has loaded (see ScriptedPages).
struct PageStep {
    enum class Kind { Post, Call, Await, Expect, Close, Link, NewWindow };
    Kind kind = Kind::Post;
    std::string text;               // JSON body, function name, expected text or address
    std::vector<std::string> args;  // JSON values of a call
    size_t line = 0;                // the scenario line that wrote it; 0 when none did
};

// How a scenario writes each kind of step: "page ADDRESS VERB ...", with `words` words after
// the address (-1: two or more).
struct PageStepVerb {
    PageStep::Kind kind;
    const char* verb;
    int words;
};
std::span<const PageStepVerb> PageStepVerbs();
const char* StepVerb(PageStep::Kind kind);

// A scenario's line "page ADDRESS VERB ...", read.
struct PageLine {
    enum class Verb { Step, Body, Forget, MayNotOpen };
    Verb verb = Verb::Step;
    std::string pattern;
    PageStep step;  // the step; for a body its text; for every verb the line's number
    std::vector<std::string> words;
};

class PageEngine : public Platform::WebBackend, public Platform::Clock {
public:
    PageEngine();
    ~PageEngine() override;
    PageEngine(const PageEngine&) = delete;
    PageEngine& operator=(const PageEngine&) = delete;

    // Lets the pages that are loading finish and do what they do by themselves. Answers the
    // first problem (with the scenario line of the page step that failed), empty when none.
    virtual LineProblem RunPending() = 0;
    // A scenario's page line, as it plays; answers empty or why it failed.
    virtual std::string TakeLine(const PageLine& line) = 0;
    // Asked when the scenario has ended: the first page line that should have run and never did.
    virtual LineProblem LinesNeverRun() const { return {}; }

    // The scripted user's turn in a modal window of the add-on; without it, or when it
    // leaves the window open, the user closes the window.
    std::function<void(NSWindow&)> userDriver;
    // What the user does while the add-on is busy and lets the window system deliver events
    // (between the steps of a download): asked at each such moment for the next action, none
    // when the user does nothing then.
    std::function<std::function<void()>()> eventSource;

    // The latest window that is still open, null when none.
    NSWindow* FrontWindow() const;
    std::chrono::milliseconds Slept() const { return slept_; }

    // Platform::WebBackend
    void WindowEvent(const NSWindow& window, const std::string& what) override;
    void RunModalSession(NSWindow& window) override;
    void RevealInFileViewer(const std::string& path) override;
    std::function<void()> NextPendingEvent() override;

    // Platform::Clock
    void SleepFor(std::chrono::milliseconds duration) override;

private:
    std::vector<const NSWindow*> openWindows_;
    std::chrono::milliseconds slept_ {0};
};

std::string WindowName(const NSWindow& window);
std::string PageName(int id);
// The script source of a call of the page function `function` with `args`.
std::string CallScript(const std::string& function, const std::vector<Platform::ScriptValue>& args);

}  // namespace DevHost
