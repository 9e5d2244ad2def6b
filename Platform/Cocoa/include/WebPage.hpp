// A web view as the page engine sees it; the views of the Cocoa stand-in are such pages.
#pragma once

#include "ScriptValue.hpp"

#include <optional>
#include <string>
#include <vector>

class NSWindow;

namespace Platform {

// One web view as the page engine sees it: what page script may reach of native code.
class WebPage {
public:
    virtual ~WebPage() = default;

    virtual int PageId() const = 0;
    virtual bool IsLegacy() const = 0;
    // The window that shows the view; null while it is in none.
    virtual NSWindow* HostWindow() const = 0;

    // window.webkit.messageHandlers[handler].postMessage(body); false when no such handler.
    virtual bool PostMessage(const std::string& handler, const ScriptDictionary& body) = 0;
    // window[object][function](args) on an object native code stored in the page;
    // none and a reason when there is no such function.
    virtual std::optional<ScriptValue> CallObject(const std::string& object, const std::string& function,
                                                  const std::vector<ScriptValue>& args, std::string* error) = 0;
    // Load events of the main frame, in this order.
    virtual void WindowScriptObjectAvailable() = 0;
    virtual void DidFinishLoad() = 0;
    // Whether the engine may follow a link (to a new window when `newWindow`).
    virtual bool AllowNavigation(const std::string& url, bool newWindow) = 0;
};

}  // namespace Platform
