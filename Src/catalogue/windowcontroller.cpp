#include "windowcontroller.hpp"

#include "ACAPI.hpp"
#include "Endpoints.hpp"
#include "Foundation.hpp"
#include "HostVersion.hpp"
#include "RS.hpp"

namespace {

constexpr int AutoCloseAttempts = 20;

std::string OwnBundleFolder()
{
    return RS::ModuleFolder(ACAPI_GetOwnResModule());
}

}  // namespace

#if KORDELA_MODERN_WEB_VIEW
void WebPolicyDecisionListener::decidePolicyForNavigationAction(WebView&, const NSURLRequest&, WebFrame*,
                                                                WebPolicyDecision& listener)
{
    listener.use();
}

void WebPolicyDecisionListener::decidePolicyForNewWindowAction(WebView&, const NSURLRequest&, const NSString&,
                                                               WebPolicyDecision& listener)
{
    listener.ignore();
}
#endif

std::shared_ptr<windowcontroller> windowcontroller::WithWindowNibName(const NSString& nibName)
{
    auto controller = std::make_shared<windowcontroller>();
#if KORDELA_MODERN_WEB_VIEW
    // Initialising from an interface file goes through the window initialiser without a
    // window: the web view it makes stays in no window, the legacy one shows the page.
    controller->initWithWindow(nullptr);
#else
    controller->init();
#endif
    controller->initWithWindowNibName(nibName, OwnBundleFolder());
    return controller;
}

bool windowcontroller::init()
{
    p_fileUrl = nullptr;
    p_fileName = nullptr;
    autoClose = false;
    return true;
}

#if KORDELA_MODERN_WEB_VIEW
std::shared_ptr<windowcontroller> windowcontroller::WithWindow(NSWindow* window)
{
    auto controller = std::make_shared<windowcontroller>();
    if (!controller->initWithWindow(window))
        return nullptr;
    return controller;
}

bool windowcontroller::initWithWindow(NSWindow* window)
{
    // A host dialog's window gets a close box.
    if (window != nullptr)
        window->setStyleMask(window->styleMask() | NSWindowStyleMaskClosable);
    if (!NSWindowController::initWithWindow(window))
        return false;
    p_fileUrl = nullptr;
    p_fileName = nullptr;
    autoClose = false;
    NSRect frame = NSZeroRect;
    if (window != nullptr)
        frame = NSMakeRect(0, 0, window->frame().size.width, window->frame().size.height);
    WKWebViewConfiguration configuration;
    // The handler is held weakly by the view; the controller lives in myWinController or
    // in the opening call as long as its window is shown.
    configuration.userContentController().addScriptMessageHandler(
        std::weak_ptr<WKScriptMessageHandler>(std::shared_ptr<WKScriptMessageHandler>(shared_from_this(), this)),
        "interOp");
    myWebView = std::make_shared<WKWebView>(frame, configuration);
    myWebView->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    if (NSWindow* own = this->window(); own != nullptr)
        own->contentView()->addSubview(myWebView);
    return true;
}

void windowcontroller::loadTheStupidRequest(const NSString& url)
{
    if (myWebView)
        myWebView->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(url)));
}

void windowcontroller::reloadTheStupidRequest()
{
    loadTheStupidRequest(myUrl);
}
#endif

void windowcontroller::awakeFromNib()
{
#if KORDELA_FRAME_LOAD_DELEGATE
    if (theWebView != nullptr)
        theWebView->setFrameLoadDelegate(this);
#endif
}

std::shared_ptr<NSObject> windowcontroller::nibObject(const NSString& className)
{
#if KORDELA_MODERN_WEB_VIEW
    if (className == "WebPolicyDecisionListener")
        return std::make_shared<WebPolicyDecisionListener>();
#endif
#if KORDELA_WINDOW_VIEW
    if (className == "windowview")
        return std::make_shared<windowview>(NSZeroRect);
#endif
    return nullptr;
}

void windowcontroller::setNibOutlet(const NSString& name, const std::shared_ptr<NSObject>& object)
{
    if (name == "theWebView")
        theWebView = dynamic_cast<WebView*>(object.get());
}

void windowcontroller::windowWillClose(NSWindow&)
{
    NSApp().stopModal();
    if (NSWindow* own = window(); own != nullptr)
        own->orderOut();
}

void windowcontroller::hide()
{
    autoClose = true;
    NSWindow* own = window();
    if (own == nullptr)
        return;
    own->setFrame(NSMakeRect(-100, -100, 0, 0), false, false);
    own->setOpaque(false);
    own->setHasShadow(false);
    own->setCanHide(true);
}

void windowcontroller::setUrl(const NSString& url)
{
    myUrl = url;
    const NSURLRequest request = NSURLRequest::requestWithURL(NSURL::URLWithString(url));
    NSLog("req: %s", request.URL().absoluteString().c_str());
    if (theWebView != nullptr)
        theWebView->mainFrame().loadRequest(request);
}

void windowcontroller::webViewDidFinishLoadForFrame(WebView&, WebFrame&)
{
    if (autoClose) {
        for (int attempt = 0; attempt < AutoCloseAttempts; ++attempt) {
            NSThread::sleepForTimeInterval(1);
            try {
                const NSString body =
                    theWebView != nullptr
                        ? theWebView->stringByEvaluatingJavaScriptFromString("document.body.innerHTML")
                        : NSString();
                if (body.find("Logout") != NSString::npos)
                    break;
            } catch (...) {
                // A failed evaluation is one more attempt; the page may still be loading.
            }
        }
        close();
    }
#if !KORDELA_MODERN_WEB_VIEW
    HandDataToPage();
#endif
}
