// The controller of one browser window: the window side (opening, loading, hiding, the
// auto-close poll) and the script bridge between the page and native code.
#pragma once

#include "Cocoa.hpp"
#include "HostVersion.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A plain view class that the interface file may use for the window's content.
class windowview : public NSView {
public:
    explicit windowview(NSRect frame) : NSView(frame) {}
};

#if KORDELA_MODERN_WEB_VIEW
// The legacy web view's policy delegate: the page may navigate, but never opens new windows.
class WebPolicyDecisionListener : public NSObject, public WebPolicyDelegate {
public:
    void decidePolicyForNavigationAction(WebView&, const NSURLRequest&, WebFrame*,
                                         WebPolicyDecision& listener) override;
    void decidePolicyForNewWindowAction(WebView&, const NSURLRequest&, const NSString&,
                                        WebPolicyDecision& listener) override;
};
#endif

class windowcontroller final : public NSWindowController,
#if KORDELA_MODERN_WEB_VIEW
                               public WKScriptMessageHandler,
#endif
                               public WebFrameLoadDelegate,
                               public WebScripting,
                               public std::enable_shared_from_this<windowcontroller> {
public:
    // A controller shown in the add-on's own modal window from the interface file.
    static std::shared_ptr<windowcontroller> WithWindowNibName(const NSString& nibName);
#if KORDELA_MODERN_WEB_VIEW
    // A controller that puts a web view into an existing window (a host dialog's).
    static std::shared_ptr<windowcontroller> WithWindow(NSWindow* window);
#endif

    windowcontroller() = default;
    ~windowcontroller() override = default;

    bool init();
#if KORDELA_MODERN_WEB_VIEW
    bool initWithWindow(NSWindow* window);
#endif

    void windowWillClose(NSWindow& window) override;
    void hide();
    void setUrl(const NSString& url);
    void setUrlPointer(char* pointer)
    {
        p_fileUrl = pointer;
    }
    void setFileNamePointer(char* pointer)
    {
        p_fileName = pointer;
    }
    void setLibPartIndex(int index)
    {
        p_libPartIndex = index;
    }
#if KORDELA_MODERN_WEB_VIEW
    void loadTheStupidRequest(const NSString& url);
    void reloadTheStupidRequest();
#endif

    // Frame-load delegate of the legacy web view.
    void webViewDidFinishLoadForFrame(WebView& sender, WebFrame& frame) override;
    void webViewWindowScriptObjectAvailable(WebView& sender, WebScriptObject& windowScriptObject) override;

#if KORDELA_MODERN_WEB_VIEW
    // The "interOp" message handler.
    void userContentController(WKUserContentController& controller, const WKScriptMessage& message) override;
#endif

    // The bridge's methods, reached from page messages and from "external".
    void getDownloadInfo(const Platform::ScriptValue& url, const Platform::ScriptValue& andMore);
    int downloadProgress();
    int addKdpc(int cloudId);
    int linkKdpc(int cloudId);
    int unlinkKdpc(int cloudId);
    std::unique_ptr<char[]> getUpdateInfo();
    std::unique_ptr<char[]> getUpdateResultInfo();
    std::unique_ptr<char[]> getKDPCUpdateInfo();
    std::unique_ptr<char[]> getKDPCUpdateResultInfo();
    int updateProducts(const NSString& items);
    int updateKDPC(const NSString& items);

    // What "external" offers: the class's script names for its selectors.
    static std::string webScriptNameForSelector(const std::string& selector);
    static bool isSelectorExcludedFromWebScript(const std::string& selector);
    std::vector<std::string> ExportedSelectors() const override;
    std::string ScriptNameForSelector(const std::string& selector) const override
    {
        return webScriptNameForSelector(selector);
    }
    bool IsSelectorExcludedFromWebScript(const std::string& selector) const override
    {
        return isSelectorExcludedFromWebScript(selector);
    }
    std::optional<Platform::ScriptValue> InvokeSelector(const std::string& selector,
                                                        const std::vector<Platform::ScriptValue>& args) override;

    bool AutoClose() const
    {
        return autoClose;
    }
    WebView* LegacyWebView() const
    {
        return theWebView;
    }
#if KORDELA_MODERN_WEB_VIEW
    WKWebView* ModernWebView() const
    {
        return myWebView.get();
    }
#endif

protected:
    void awakeFromNib() override;
    std::shared_ptr<NSObject> nibObject(const NSString& className) override;
    void setNibOutlet(const NSString& name, const std::shared_ptr<NSObject>& object) override;

private:
    // Runs an answer script in the page that this controller shows.
    void Answer(const std::string& script);
    void AnswerText(std::unique_ptr<char[]> text);
    void AnswerCallback(const char* function, int cloudId, long result);
#if !KORDELA_MODERN_WEB_VIEW
    void HandDataToPage();
#endif

    WebView* theWebView = nullptr;  // outlet of the interface file; the window keeps the view
#if KORDELA_MODERN_WEB_VIEW
    std::shared_ptr<WKWebView> myWebView;
#endif
    NSString myUrl;
    char* p_fileUrl = nullptr;
    char* p_fileName = nullptr;
    int p_libPartIndex = 0;
    bool autoClose = false;
};
