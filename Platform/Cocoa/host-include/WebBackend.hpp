// The window system and page engine behind the Cocoa stand-in. The stand-in keeps windows,
// views and handlers; what is shown, how pages load and what the user does is decided by
// the host application through this interface. Without a host, pages never load, scripts
// answer nothing and a modal window is closed at its first turn.
#pragma once

#include "WebPage.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class NSWindow;

namespace Platform {

class WebBackend {
public:
    virtual ~WebBackend() = default;

    // A window appeared, changed or closed ("opened", "style mask 15", "closed", ...).
    virtual void WindowEvent(const NSWindow& window, const std::string& what) = 0;
    // The view starts loading an address; the engine finishes it from its own loop.
    virtual void Load(WebPage& page, const std::string& url) = 0;
    // Script source run in the page; answers the result as text (empty for none).
    virtual std::string Evaluate(WebPage& page, const std::string& script) = 0;
    // A page function called with values (the legacy view's script object).
    virtual std::optional<ScriptValue> CallFunction(WebPage& page, const std::string& function,
                                                    const std::vector<ScriptValue>& args) = 0;
    // The view is going away; the engine must not reach it any more.
    virtual void PageGone(WebPage& page) = 0;
    // One turn of a modal session on `window`: pending page events and the user's next step.
    virtual void RunModalSession(NSWindow& window) = 0;
    // The file viewer shows the file or folder selected.
    virtual void RevealInFileViewer(const std::string& path) = 0;
    // The next thing the user did that waits for the application (a close box clicked while
    // a long operation runs), as what delivering it does; none when nothing waits.
    virtual std::function<void()> NextPendingEvent() { return {}; }
};

// Null restores the stand-in's own backend.
void SetWebBackend(WebBackend* backend);
WebBackend& GetWebBackend();

}  // namespace Platform
