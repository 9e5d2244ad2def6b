#include "DevHost/PageEngine.hpp"

#include "HostBackend.hpp"

#include <algorithm>

namespace DevHost {

std::span<const PageStepVerb> PageStepVerbs()
{
    static const PageStepVerb verbs[] = {
        {PageStep::Kind::Post, "post", 2},           {PageStep::Kind::Call, "call", -1},
        {PageStep::Kind::Await, "await", 2},         {PageStep::Kind::Expect, "expect", 2},
        {PageStep::Kind::Close, "close", 1},         {PageStep::Kind::Link, "link", 2},
        {PageStep::Kind::NewWindow, "new-window", 2}};
    return verbs;
}

const char* StepVerb(PageStep::Kind kind)
{
    for (const PageStepVerb& verb : PageStepVerbs())
        if (verb.kind == kind)
            return verb.verb;
    return "step";
}

std::string WindowName(const NSWindow& window)
{
    return "window " + std::to_string(window.WindowNumber());
}

std::string PageName(int id)
{
    return "page " + std::to_string(id);
}

std::string CallScript(const std::string& function, const std::vector<Platform::ScriptValue>& args)
{
    std::string call = function + "(";
    for (size_t i = 0; i < args.size(); ++i)
        call += (i > 0 ? ", " : "") + args[i].ToScript();
    return call + ")";
}

PageEngine::PageEngine()
{
    Platform::SetWebBackend(this);
    Platform::SetClock(this);
}

PageEngine::~PageEngine()
{
    Platform::SetWebBackend(nullptr);
    Platform::SetClock(nullptr);
}

NSWindow* PageEngine::FrontWindow() const
{
    return openWindows_.empty() ? nullptr : const_cast<NSWindow*>(openWindows_.back());
}

void PageEngine::WindowEvent(const NSWindow& window, const std::string& what)
{
    if (what.rfind("created", 0) == 0)
        openWindows_.push_back(&window);
    if (what == "closed")
        std::erase(openWindows_, &window);
    Platform::Record(WindowName(window) + " " + what);
}

void PageEngine::RunModalSession(NSWindow& window)
{
    const std::shared_ptr<NSWindow> keep = window.shared_from_this();
    if (userDriver) {
        userDriver(window);  // runs the pending pages between the user's steps
    } else if (const LineProblem problem = RunPending(); !problem.reason.empty()) {
        Platform::Record("page error: " + problem.reason);
    }
    if (!window.isClosed()) {
        Platform::Record("the user closes " + WindowName(window));
        window.close();
    }
}

void PageEngine::RevealInFileViewer(const std::string& path)
{
    Platform::Record("file viewer shows " + path);
}

std::function<void()> PageEngine::NextPendingEvent()
{
    return eventSource ? eventSource() : std::function<void()>();
}

void PageEngine::SleepFor(std::chrono::milliseconds duration)
{
    slept_ += duration;
}

}  // namespace DevHost
