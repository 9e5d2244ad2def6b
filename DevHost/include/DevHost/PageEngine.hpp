// What every page engine of the simulated host shares: it is the window system of the Cocoa
// stand-in (windows opened and closed, the front window, the file viewer, modal sessions run
// by the scripted user) and the host's clock, which is virtual: waits cost no real time. The
// engines differ in how pages load and run.
#pragma once

#include "ClockHost.hpp"
#include "Cocoa.hpp"
#include "WebBackend.hpp"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace DevHost {

class PageEngine : public Platform::WebBackend, public Platform::Clock {
public:
    PageEngine();
    ~PageEngine() override;
    PageEngine(const PageEngine&) = delete;
    PageEngine& operator=(const PageEngine&) = delete;

    // Lets the pages that are loading finish and do what they do by themselves. Answers the
    // first problem, empty when none.
    virtual std::string RunPending() = 0;
    // A scenario's "page ADDRESS VERB ..." line; answers empty or why it failed.
    virtual std::string PageLine(const std::vector<std::string>& words) = 0;

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
