// The simulated host's page engine: catalogue pages played from a script. Each page address
// (matched anywhere in the loaded address, so also inside an auto-logon address's
// "redirecturl") has a list of steps that run once the page has loaded: post a message,
// call a function of a script object, await a script the add-on evaluates, check the text
// captured, follow a link, close the window. It is also the window system of the Cocoa
// stand-in and the host's clock, which is virtual: waits cost no real time.
#pragma once

#include "ClockHost.hpp"
#include "Cocoa.hpp"
#include "WebBackend.hpp"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace DevHost {

struct PageStep {
    enum class Kind { Post, Call, Await, Expect, Close, Link, NewWindow };
    Kind kind = Kind::Post;
    std::string text;               // JSON body, function name, expected text or address
    std::vector<std::string> args;  // JSON values of a call
};

class ScriptedPages final : public Platform::WebBackend, public Platform::Clock {
public:
    ScriptedPages();
    ~ScriptedPages() override;
    ScriptedPages(const ScriptedPages&) = delete;
    ScriptedPages& operator=(const ScriptedPages&) = delete;

    void AddStep(const std::string& pattern, PageStep step);
    void SetBody(const std::string& pattern, const std::string& body);
    // Drops the script of exactly this pattern: the page does nothing more when it loads.
    void Forget(const std::string& pattern);

    // Finishes the pages that are loading and plays their steps. Answers the first problem
    // (a step that could not be played), empty when none.
    std::string RunPending();

    // The scripted user's turn in a modal window of the add-on; without it, or when it
    // leaves the window open, the user closes the window.
    std::function<void(NSWindow&)> userDriver;
    // What the user does while the add-on is busy and lets the window system deliver events
    // (between the steps of a download): asked at each such moment for the next action, none
    // when the user does nothing then.
    std::function<std::function<void()>()> eventSource;

    // The latest window that is still open, null when none.
    NSWindow* FrontWindow() const;
    const std::vector<std::string>& Evaluated() const { return evaluated_; }
    std::chrono::milliseconds Slept() const { return slept_; }

    // Platform::WebBackend
    void WindowEvent(const NSWindow& window, const std::string& what) override;
    void Load(Platform::WebPage& page, const std::string& url) override;
    std::string Evaluate(Platform::WebPage& page, const std::string& script) override;
    std::optional<Platform::ScriptValue> CallFunction(Platform::WebPage& page, const std::string& function,
                                                      const std::vector<Platform::ScriptValue>& args) override;
    void PageGone(Platform::WebPage& page) override;
    void RunModalSession(NSWindow& window) override;
    void RevealInFileViewer(const std::string& path) override;
    std::function<void()> NextPendingEvent() override;

    // Platform::Clock
    void SleepFor(std::chrono::milliseconds duration) override;

private:
    struct Script {
        std::string pattern;
        std::vector<PageStep> steps;
        std::string body;
    };
    struct LoadedPage {
        Platform::WebPage* page = nullptr;
        std::string url;
        std::vector<std::string> scripts;  // evaluated or called, not yet awaited
        std::string captured;
    };

    Script* FindScript(const std::string& url);
    std::string Play(int pageId, const Script& script);
    std::string PlayStep(int pageId, const PageStep& step);
    bool Alive(int pageId) const { return pages_.count(pageId) != 0; }

    std::vector<Script> scripts_;
    std::map<int, LoadedPage> pages_;
    std::deque<std::pair<int, std::string>> pending_;
    std::vector<std::string> evaluated_;
    std::vector<const NSWindow*> openWindows_;
    std::chrono::milliseconds slept_ {0};
};

// The text a page script receives from a call script such as FakePost('...'): the first
// argument's string value when it is a string literal, else the arguments as written.
std::string ScriptArgumentText(const std::string& script);

}  // namespace DevHost
