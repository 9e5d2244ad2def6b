// What the add-on's browser code needs of the system's window, web and workspace
// libraries, in C++: windows and their controllers, modal sessions, interface files, the
// web view with script message handlers, the legacy web view with its script object and
// delegates, the file viewer and images. Selectors become methods named after their first
// part; objects are shared (retained) or plain pointers (delegates, which are not retained).
#pragma once

#include "Foundation.hpp"
#include "ScriptValue.hpp"
#include "WebPage.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using NSString = std::string;
using NSInteger = long;
using NSUInteger = unsigned long;
using NSDictionary = Platform::ScriptDictionary;

struct NSPoint {
    double x = 0, y = 0;
};
struct NSSize {
    double width = 0, height = 0;
};
struct NSRect {
    NSPoint origin;
    NSSize size;
};
inline NSRect NSMakeRect(double x, double y, double width, double height)
{
    return NSRect {{x, y}, {width, height}};
}
constexpr NSRect NSZeroRect {};

constexpr NSUInteger NSWindowStyleMaskTitled = 1;
constexpr NSUInteger NSWindowStyleMaskClosable = 2;
constexpr NSUInteger NSWindowStyleMaskMiniaturizable = 4;
constexpr NSUInteger NSWindowStyleMaskResizable = 8;
constexpr NSUInteger NSViewWidthSizable = 2;
constexpr NSUInteger NSViewHeightSizable = 16;

using NSModalResponse = NSInteger;
constexpr NSModalResponse NSModalResponseStop = -1000;
constexpr NSModalResponse NSModalResponseAbort = -1001;
constexpr NSModalResponse NSModalResponseContinue = -1002;

class NSObject {
public:
    virtual ~NSObject() = default;
};

class NSURL {
public:
    static NSURL URLWithString(const NSString& text) { return NSURL(text, false); }
    static NSURL fileURLWithPath(const NSString& path) { return NSURL(path, true); }
    const NSString& absoluteString() const { return text_; }
    bool isFileURL() const { return file_; }
    NSString path() const { return text_; }

private:
    NSURL(NSString text, bool file) : text_(std::move(text)), file_(file) {}
    NSString text_;
    bool file_ = false;
};

class NSURLRequest {
public:
    static NSURLRequest requestWithURL(const NSURL& url) { return NSURLRequest(url); }
    const NSURL& URL() const { return url_; }

private:
    explicit NSURLRequest(NSURL url) : url_(std::move(url)) {}
    NSURL url_;
};

class NSWindow;

class NSView : public NSObject {
public:
    explicit NSView(NSRect frame = NSZeroRect) : frame_(frame) {}
    ~NSView() override;

    NSRect frame() const { return frame_; }
    void setFrame(NSRect frame) { frame_ = frame; }
    NSUInteger autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(NSUInteger mask) { autoresizingMask_ = mask; }

    void addSubview(std::shared_ptr<NSView> view);
    const std::vector<std::shared_ptr<NSView>>& subviews() const { return subviews_; }
    NSWindow* window() const { return window_; }

protected:
    virtual void viewDidMoveToWindow() {}

private:
    friend class NSWindow;
    void MoveToWindow(NSWindow* window);

    NSRect frame_;
    NSUInteger autoresizingMask_ = 0;
    std::vector<std::shared_ptr<NSView>> subviews_;
    NSWindow* window_ = nullptr;
};

class NSWindowDelegate {
public:
    virtual ~NSWindowDelegate() = default;
    virtual void windowWillClose(NSWindow&) {}
};

class NSWindow : public NSObject, public std::enable_shared_from_this<NSWindow> {
public:
    NSWindow(NSRect frame, NSUInteger styleMask, NSString title);
    ~NSWindow() override;
    NSWindow(const NSWindow&) = delete;
    NSWindow& operator=(const NSWindow&) = delete;

    int WindowNumber() const { return number_; }
    const NSString& title() const { return title_; }

    NSUInteger styleMask() const { return styleMask_; }
    void setStyleMask(NSUInteger mask);
    NSRect frame() const { return frame_; }
    void setFrame(NSRect frame, bool display, bool animate);
    std::shared_ptr<NSView> contentView() const { return contentView_; }
    void setContentView(std::shared_ptr<NSView> view);
    NSWindowDelegate* delegate() const { return delegate_; }
    void setDelegate(NSWindowDelegate* delegate) { delegate_ = delegate; }

    bool isVisible() const { return visible_; }
    void makeKeyAndOrderFront();
    void orderOut();
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque);
    bool hasShadow() const { return shadow_; }
    void setHasShadow(bool shadow);
    bool canHide() const { return canHide_; }
    void setCanHide(bool canHide);

    // Tells the delegate, hides the window and ends it; a second close does nothing.
    void close();
    bool isClosed() const { return closed_; }

    // Platform side: the owner of a window it lent out (a host dialog) learns of its close.
    void SetCloseObserver(std::function<void()> observer) { closeObserver_ = std::move(observer); }

private:
    int number_;
    NSString title_;
    NSUInteger styleMask_;
    NSRect frame_;
    std::shared_ptr<NSView> contentView_;
    NSWindowDelegate* delegate_ = nullptr;
    bool visible_ = false;
    bool opaque_ = true;
    bool shadow_ = true;
    bool canHide_ = true;
    bool closed_ = false;
    std::function<void()> closeObserver_;
};

class NSWindowController : public NSObject, public NSWindowDelegate {
public:
    NSWindowController() = default;
    ~NSWindowController() override;

    // The window, loaded from the interface file on first use for a controller made from one.
    NSWindow* window();
    void close();

protected:
    // The controller keeps the window (null for none) alive.
    bool initWithWindow(NSWindow* window);
    // Interface file `nibName` (JSON) of the bundle folder; loaded when the window is asked for.
    bool initWithWindowNibName(const NSString& nibName, const NSString& bundleFolder);

    virtual void windowDidLoad() {}
    virtual void awakeFromNib() {}
    // Objects of the add-on's own classes that the interface file names.
    virtual std::shared_ptr<NSObject> nibObject(const NSString& className);
    // An outlet of the file's owner that the interface file connects.
    virtual void setNibOutlet(const NSString& name, const std::shared_ptr<NSObject>& object);

private:
    void LoadNib();

    std::shared_ptr<NSWindow> window_;
    NSString nibName_;
    NSString bundleFolder_;
    std::vector<std::shared_ptr<NSObject>> nibObjects_;
};

// A point in time; the stand-in knows only the one that never waits.
class NSDate {
public:
    static const NSDate* distantPast();
};

constexpr NSUInteger NSEventMaskAny = ~0ul;

// A user event queued for the application; the stand-in carries what delivering it does.
class NSEvent : public NSObject {
public:
    explicit NSEvent(std::function<void()> delivery) : delivery_(std::move(delivery)) {}

private:
    friend class NSApplication;
    std::function<void()> delivery_;
};

struct NSModalSession {
    NSWindow* window = nullptr;  // kept alive by its controller while the session runs
    bool stopped = false;
};

class NSApplication {
public:
    std::unique_ptr<NSModalSession> beginModalSessionForWindow(NSWindow* window);
    // NSModalResponseContinue while the session goes on.
    NSModalResponse runModalSession(NSModalSession* session);
    void endModalSession(std::unique_ptr<NSModalSession> session);
    // Ends the innermost running session.
    void stopModal();
    // The next queued user event, taken from the queue when `dequeue`; null when none waits
    // (the stand-in never waits for one, whatever `untilDate`).
    std::shared_ptr<NSEvent> nextEventMatchingMask(NSUInteger mask, const NSDate* untilDate, const char* mode,
                                                   bool dequeue);
    // Delivers the event to the window it belongs to.
    void sendEvent(const NSEvent& event);

private:
    std::shared_ptr<NSEvent> peeked_;
};
NSApplication& NSApp();

class NSAutoreleasePool {
public:
    NSAutoreleasePool() = default;
    NSAutoreleasePool(const NSAutoreleasePool&) = delete;
    NSAutoreleasePool& operator=(const NSAutoreleasePool&) = delete;
    void drain() {}
};

constexpr const char* NSDefaultRunLoopMode = "kCFRunLoopDefaultMode";
class NSRunLoop {
public:
    static NSRunLoop& currentRunLoop();
    // The next timer's date; the stand-in has no timers, so it only lets time pass for none.
    double limitDateForMode(const char* mode);
};

class NSThread {
public:
    static void sleepForTimeInterval(double seconds);
};

class NSWorkspace {
public:
    static NSWorkspace& sharedWorkspace();
    void activateFileViewerSelectingURLs(const std::vector<NSURL>& urls);
};

// A decoded image (PNG). Null from initWithContentsOfFile when the file cannot be read.
class NSImage : public NSObject {
public:
    static std::unique_ptr<NSImage> initWithContentsOfFile(const NSString& path);
    NSSize size() const { return {static_cast<double>(width_), static_cast<double>(height_)}; }

private:
    NSImage(unsigned width, unsigned height) : width_(width), height_(height) {}
    unsigned width_;
    unsigned height_;
};

// ---------------------------------------------------------------------------------------
// The web view with script message handlers.

class WKUserContentController;

struct WKScriptMessage {
    NSString name;
    NSDictionary body;
};

class WKScriptMessageHandler {
public:
    virtual ~WKScriptMessageHandler() = default;
    virtual void userContentController(WKUserContentController& controller, const WKScriptMessage& message) = 0;
};

class WKUserContentController {
public:
    // Handlers are held weakly: a handler that is gone receives nothing.
    void addScriptMessageHandler(std::weak_ptr<WKScriptMessageHandler> handler, const NSString& name);
    void removeScriptMessageHandlerForName(const NSString& name);
    // False when no live handler has that name.
    bool Deliver(const NSString& name, const NSDictionary& body);

private:
    std::vector<std::pair<NSString, std::weak_ptr<WKScriptMessageHandler>>> handlers_;
};

class WKWebViewConfiguration {
public:
    WKWebViewConfiguration() : userContentController_(std::make_shared<WKUserContentController>()) {}
    WKUserContentController& userContentController() { return *userContentController_; }
    std::shared_ptr<WKUserContentController> SharedContentController() const { return userContentController_; }

private:
    std::shared_ptr<WKUserContentController> userContentController_;
};

class WKWebView : public NSView, public Platform::WebPage {
public:
    WKWebView(NSRect frame, const WKWebViewConfiguration& configuration);  // initWithFrame:configuration:
    ~WKWebView() override;

    void loadRequest(const NSURLRequest& request);
    void evaluateJavaScript(const NSString& script, const std::function<void(const NSString&)>& completionHandler);
    const NSString& URL() const { return url_; }

    // Platform::WebPage
    int PageId() const override { return id_; }
    bool IsLegacy() const override { return false; }
    NSWindow* HostWindow() const override { return window(); }
    bool PostMessage(const std::string& handler, const Platform::ScriptDictionary& body) override;
    std::optional<Platform::ScriptValue> CallObject(const std::string& object, const std::string& function,
                                                    const std::vector<Platform::ScriptValue>& args,
                                                    std::string* error) override;
    void WindowScriptObjectAvailable() override {}
    void DidFinishLoad() override {}
    bool AllowNavigation(const std::string&, bool newWindow) override { return !newWindow; }

private:
    int id_;
    std::shared_ptr<WKUserContentController> contentController_;
    NSString url_;
};

// ---------------------------------------------------------------------------------------
// The legacy web view.

class WebView;
class WebFrame;

// Native objects that page script may call. The class says which selectors are callable
// and under which script names; the stand-in maps a script call to a selector through them.
class WebScripting {
public:
    virtual ~WebScripting() = default;
    virtual std::vector<std::string> ExportedSelectors() const = 0;
    virtual std::string ScriptNameForSelector(const std::string& selector) const = 0;
    virtual bool IsSelectorExcludedFromWebScript(const std::string& selector) const = 0;
    virtual std::optional<Platform::ScriptValue> InvokeSelector(const std::string& selector,
                                                                const std::vector<Platform::ScriptValue>& args) = 0;
};

class WebScriptObject {
public:
    explicit WebScriptObject(WebView& view) : view_(view) {}
    // Held weakly, as the page's objects do not keep native objects alive.
    void setValue(std::weak_ptr<WebScripting> object, const NSString& key);
    // Calls a page function with values; its result, none when it gives none.
    std::optional<Platform::ScriptValue> callWebScriptMethod(const NSString& name,
                                                             const std::vector<Platform::ScriptValue>& args);
    std::optional<Platform::ScriptValue> CallNative(const std::string& object, const std::string& function,
                                                    const std::vector<Platform::ScriptValue>& args, std::string* error);

private:
    WebView& view_;
    std::vector<std::pair<NSString, std::weak_ptr<WebScripting>>> values_;
};

class WebFrame {
public:
    explicit WebFrame(WebView& view) : view_(view) {}
    void loadRequest(const NSURLRequest& request);

private:
    WebView& view_;
};

class WebFrameLoadDelegate {
public:
    virtual ~WebFrameLoadDelegate() = default;
    virtual void webViewDidFinishLoadForFrame(WebView&, WebFrame&) {}
    virtual void webViewWindowScriptObjectAvailable(WebView&, WebScriptObject&) {}
};

// The answer a policy delegate gives for one navigation.
class WebPolicyDecision {
public:
    void use() { decided_ = true, used_ = true; }
    void ignore() { decided_ = true, used_ = false; }
    bool Used() const { return !decided_ || used_; }

private:
    bool decided_ = false;
    bool used_ = false;
};

class WebPolicyDelegate {
public:
    virtual ~WebPolicyDelegate() = default;
    virtual void decidePolicyForNavigationAction(WebView&, const NSURLRequest&, WebFrame*, WebPolicyDecision& listener)
    {
        listener.use();
    }
    virtual void decidePolicyForNewWindowAction(WebView&, const NSURLRequest&, const NSString&,
                                                WebPolicyDecision& listener)
    {
        listener.use();
    }
};

class WebView : public NSView, public Platform::WebPage {
public:
    explicit WebView(NSRect frame);
    ~WebView() override;

    WebFrame& mainFrame() { return mainFrame_; }
    WebScriptObject& windowScriptObject() { return scriptObject_; }
    void setFrameLoadDelegate(WebFrameLoadDelegate* delegate) { frameLoadDelegate_ = delegate; }
    WebFrameLoadDelegate* frameLoadDelegate() const { return frameLoadDelegate_; }
    void setPolicyDelegate(WebPolicyDelegate* delegate) { policyDelegate_ = delegate; }
    // Runs script in the page and answers its result as text.
    NSString stringByEvaluatingJavaScriptFromString(const NSString& script);
    const NSString& URL() const { return url_; }

    // Platform::WebPage
    int PageId() const override { return id_; }
    bool IsLegacy() const override { return true; }
    NSWindow* HostWindow() const override { return window(); }
    bool PostMessage(const std::string&, const Platform::ScriptDictionary&) override { return false; }
    std::optional<Platform::ScriptValue> CallObject(const std::string& object, const std::string& function,
                                                    const std::vector<Platform::ScriptValue>& args,
                                                    std::string* error) override;
    void WindowScriptObjectAvailable() override;
    void DidFinishLoad() override;
    bool AllowNavigation(const std::string& url, bool newWindow) override;

private:
    friend class WebFrame;
    void Load(const NSString& url);

    int id_;
    WebFrame mainFrame_;
    WebScriptObject scriptObject_;
    WebFrameLoadDelegate* frameLoadDelegate_ = nullptr;
    WebPolicyDelegate* policyDelegate_ = nullptr;
    NSString url_;
};
