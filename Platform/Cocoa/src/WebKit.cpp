#include "Cocoa.hpp"
#include "WebBackend.hpp"

namespace {

int nextPageId = 1;

}  // namespace

void WKUserContentController::addScriptMessageHandler(std::weak_ptr<WKScriptMessageHandler> handler,
                                                      const NSString& name)
{
    removeScriptMessageHandlerForName(name);
    handlers_.emplace_back(name, std::move(handler));
}

void WKUserContentController::removeScriptMessageHandlerForName(const NSString& name)
{
    std::erase_if(handlers_, [&](const auto& entry) { return entry.first == name; });
}

bool WKUserContentController::Deliver(const NSString& name, const NSDictionary& body)
{
    for (const auto& [handlerName, weak] : handlers_) {
        if (handlerName != name)
            continue;
        const auto handler = weak.lock();
        if (!handler)
            return false;
        handler->userContentController(*this, WKScriptMessage {name, body});
        return true;
    }
    return false;
}

WKWebView::WKWebView(NSRect frame, const WKWebViewConfiguration& configuration)
    : NSView(frame), id_(nextPageId++), contentController_(configuration.SharedContentController())
{}

WKWebView::~WKWebView()
{
    Platform::GetWebBackend().PageGone(*this);
}

void WKWebView::loadRequest(const NSURLRequest& request)
{
    url_ = request.URL().absoluteString();
    Platform::GetWebBackend().Load(*this, url_);
}

void WKWebView::evaluateJavaScript(const NSString& script,
                                   const std::function<void(const NSString&)>& completionHandler)
{
    const std::string result = Platform::GetWebBackend().Evaluate(*this, script);
    if (completionHandler)
        completionHandler(result);
}

bool WKWebView::PostMessage(const std::string& handler, const Platform::ScriptDictionary& body)
{
    // The view may go away while its handler runs (the handler closes the window).
    const auto keep = contentController_;
    return keep->Deliver(handler, body);
}

std::optional<Platform::ScriptValue> WKWebView::CallObject(const std::string& object, const std::string& function,
                                                           const std::vector<Platform::ScriptValue>&,
                                                           std::string* error)
{
    if (error != nullptr)
        *error = "window." + object + "." + function + " is not a function";
    return std::nullopt;
}

void WebScriptObject::setValue(std::weak_ptr<WebScripting> object, const NSString& key)
{
    std::erase_if(values_, [&](const auto& entry) { return entry.first == key; });
    values_.emplace_back(key, std::move(object));
}

std::optional<Platform::ScriptValue> WebScriptObject::callWebScriptMethod(
    const NSString& name, const std::vector<Platform::ScriptValue>& args)
{
    return Platform::GetWebBackend().CallFunction(view_, name, args);
}

std::optional<Platform::ScriptValue> WebScriptObject::CallNative(const std::string& object, const std::string& function,
                                                                 const std::vector<Platform::ScriptValue>& args,
                                                                 std::string* error)
{
    auto fail = [&](const std::string& why) -> std::optional<Platform::ScriptValue> {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    };
    std::shared_ptr<WebScripting> target;
    for (const auto& [key, weak] : values_)
        if (key == object)
            target = weak.lock();
    if (!target)
        return fail("window." + object + " is undefined");
    for (const std::string& selector : target->ExportedSelectors()) {
        if (target->IsSelectorExcludedFromWebScript(selector) || target->ScriptNameForSelector(selector) != function)
            continue;
        if (error != nullptr)
            error->clear();
        return target->InvokeSelector(selector, args);
    }
    return fail("window." + object + "." + function + " is not a function");
}

void WebFrame::loadRequest(const NSURLRequest& request)
{
    view_.Load(request.URL().absoluteString());
}

WebView::WebView(NSRect frame) : NSView(frame), id_(nextPageId++), mainFrame_(*this), scriptObject_(*this) {}

WebView::~WebView()
{
    Platform::GetWebBackend().PageGone(*this);
}

void WebView::Load(const NSString& url)
{
    url_ = url;
    Platform::GetWebBackend().Load(*this, url);
}

NSString WebView::stringByEvaluatingJavaScriptFromString(const NSString& script)
{
    return Platform::GetWebBackend().Evaluate(*this, script);
}

std::optional<Platform::ScriptValue> WebView::CallObject(const std::string& object, const std::string& function,
                                                         const std::vector<Platform::ScriptValue>& args,
                                                         std::string* error)
{
    return scriptObject_.CallNative(object, function, args, error);
}

void WebView::WindowScriptObjectAvailable()
{
    if (frameLoadDelegate_ != nullptr)
        frameLoadDelegate_->webViewWindowScriptObjectAvailable(*this, scriptObject_);
}

void WebView::DidFinishLoad()
{
    if (frameLoadDelegate_ != nullptr)
        frameLoadDelegate_->webViewDidFinishLoadForFrame(*this, mainFrame_);
}

bool WebView::AllowNavigation(const std::string& url, bool newWindow)
{
    WebPolicyDecision decision;
    if (policyDelegate_ != nullptr) {
        const auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(url));
        if (newWindow)
            policyDelegate_->decidePolicyForNewWindowAction(*this, request, "_blank", decision);
        else
            policyDelegate_->decidePolicyForNavigationAction(*this, request, &mainFrame_, decision);
    }
    return decision.Used();
}
