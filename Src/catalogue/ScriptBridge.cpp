// The page's calls into native code and the answers that go back as script.
#include "DownloadManager.hpp"
#include "Endpoints.hpp"
#include "Foundation.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "ScriptCalls.hpp"
#include "ScriptText.hpp"
#include "windowcontroller.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t ResultBufferSize = 1024;
constexpr int Done = 42;

struct ScriptName {
    const char* selector;
    const char* name;
};
constexpr ScriptName ScriptNames[] = {
    {"getDownloadInfo:andMore:", "Execute"},
    {"addKdpc:", "ExtAddKDPC"},
    {"linkKdpc:", "ExtLinkKDPC"},
    {"unlinkKdpc:", "ExtUnlinkKDPC"},
    {"updateProducts:", "ExtUpdateProducts"},
    {"updateKDPC:", "ExtUpdateKDPC"},
};

// A value the opener's 1024-byte buffer can take with its NUL.
bool FitsResultBuffer(const Platform::ScriptValue& value)
{
    return value.IsText() && value.Text().size() < ResultBufferSize;
}

std::string DescribeForLog(const Platform::ScriptValue& value)
{
    return value.IsText() ? value.Text() : value.IsUndefined() ? "(null)" : value.ToScript();
}

[[maybe_unused]] Platform::ScriptValue Field(const NSDictionary& body, const char* key)
{
    const auto it = body.find(key);
    return it != body.end() ? it->second : Platform::ScriptValue();
}

// Built in place: a moved-in temporary trips a false uninitialised-use warning of the compiler.
std::optional<Platform::ScriptValue> ScriptNumber(int number)
{
    std::optional<Platform::ScriptValue> value;
    value.emplace(static_cast<double>(number));
    return value;
}

// Lets the window system deliver what the user did meanwhile, above all a click on the close
// box of the window that shows the progress.
void DeliverPendingEvents()
{
    NSApplication& application = NSApp();
    while (const auto event =
               application.nextEventMatchingMask(NSEventMaskAny, NSDate::distantPast(), NSDefaultRunLoopMode, true))
        application.sendEvent(*event);
}

int CloudId(const Platform::ScriptValue& value)
{
    // The page's id is taken as a 32-bit integer: its low 32 bits.
    return static_cast<int>(static_cast<uint32_t>(static_cast<unsigned long>(value.IntegerValue())));
}

}  // namespace

void windowcontroller::Answer(const std::string& script)
{
#if KORDELA_MODERN_WEB_VIEW
    if (myWebView)
        myWebView->evaluateJavaScript(script, nullptr);
#else
    (void)script;
#endif
}

void windowcontroller::AnswerText(std::unique_ptr<char[]> text)
{
    // A producer that has no text gives the page nothing to read.
    if (!text)
        return;
    Answer("FakePost('" + EscapeForSingleQuotedScript(text.get()) + "')");
}

void windowcontroller::AnswerCallback(const char* function, int cloudId, long result)
{
    char script[96];
    std::snprintf(script, sizeof script, "%s(%u, %u)", function, static_cast<unsigned>(cloudId),
                  static_cast<unsigned>(result));
    Answer(script);
}

#if KORDELA_MODERN_WEB_VIEW
void windowcontroller::userContentController(WKUserContentController&, const WKScriptMessage& message)
{
    const NSDictionary& body = message.body;
    const Platform::ScriptValue function = Field(body, "functionName");
    // A message no row takes is ignored; the log says so, since the page hears nothing.
    if (!function.IsText()) {
        NSLog("JavaScript: a message without a \"functionName\" text");
        return;
    }
    const std::string& name = function.Text();
    if (name == "download") {
        getDownloadInfo(Field(body, "url1"), Field(body, "filename1"));
    } else if (name == "downloadProgress") {
        downloadProgress();
    } else if (name == "productUpdateGetInfo") {
        AnswerText(getUpdateInfo());
    } else if (name == "productUpdateDoUpdate") {
        updateProducts(Field(body, "items").Text());
    } else if (name == "productUpdateResultGetInfo") {
        AnswerText(getUpdateResultInfo());
    } else if (name == "kdpcUpdateGetInfo") {
        AnswerText(getKDPCUpdateInfo());
    } else if (name == "kdpcUpdateDoUpdate") {
        updateKDPC(Field(body, "items").Text());
    } else if (name == "kdpcUpdateResultGetInfo") {
        AnswerText(getKDPCUpdateResultInfo());
    } else if (name == "addKDPC") {
        const int cloudId = CloudId(Field(body, "kdpcId"));
        AnswerCallback("AddKDPC_callback", cloudId, addKdpc(cloudId));
    } else if (name == "linkKDPC") {
        const int cloudId = CloudId(Field(body, "kdpcId"));
        AnswerCallback("LinkKDPC_callback", cloudId, linkKdpc(cloudId));
    } else if (name == "unlinkKDPC") {
        const int cloudId = CloudId(Field(body, "kdpcId"));
        AnswerCallback("UnlinkKDPC_callback", cloudId, unlinkKdpc(cloudId));
    } else {
        NSLog("JavaScript: unknown function \"%s\"", VisibleOnOneLine(name).c_str());
    }
}
#endif

void windowcontroller::webViewWindowScriptObjectAvailable(WebView&, WebScriptObject& windowScriptObject)
{
    windowScriptObject.setValue(std::weak_ptr<WebScripting>(std::shared_ptr<WebScripting>(shared_from_this(), this)),
                                "external");
}

void windowcontroller::getDownloadInfo(const Platform::ScriptValue& url, const Platform::ScriptValue& andMore)
{
    NSLog("JavaScript: %s %s", DescribeForLog(url).c_str(), DescribeForLog(andMore).c_str());
    // Both or nothing: a value that is missing, not a text or too long for the opener's
    // buffer leaves both buffers empty, so the opener starts no download.
    if (p_fileUrl != nullptr && p_fileName != nullptr) {
        if (FitsResultBuffer(url) && FitsResultBuffer(andMore)) {
            std::memcpy(p_fileUrl, url.Text().data(), url.Text().size());
            std::memcpy(p_fileName, andMore.Text().data(), andMore.Text().size());
        } else {
            NSLog(
                "JavaScript: download refused: the address or the file name is missing, not a text or longer than "
                "%zu bytes",
                ResultBufferSize - 1);
        }
    }
    close();
}

int windowcontroller::downloadProgress()
{
    for (;;) {
        const long percent = DownloadManager::getInstance().Continue();
        // A transfer that ends without completing ends the loop as well.
        if (percent < 0)
            break;
#if KORDELA_MODERN_WEB_VIEW
        char script[32];
        std::snprintf(script, sizeof script, "setProgress(%u)", static_cast<unsigned>(percent));
        Answer(script);
#else
        if (theWebView != nullptr)
            theWebView->windowScriptObject().callWebScriptMethod(
                "setProgress", {Platform::ScriptValue(percent), Platform::ScriptValue("")});
#endif
        if (percent >= 100)
            break;
        // The transfer runs inside this one message, so the user's close box can only reach
        // the window here; a closed window ends the download as a failed one.
        DeliverPendingEvents();
        if (NSWindow* own = window(); own != nullptr && own->isClosed())
            break;
    }
    close();
    return Done;
}

int windowcontroller::addKdpc(int cloudId)
{
    NSLog("JavaScript: %d", cloudId);
    return static_cast<int>(RegisteredScriptCalls().addKDPC(cloudId, p_libPartIndex));
}

int windowcontroller::linkKdpc(int cloudId)
{
    NSLog("JavaScript: %d", cloudId);
    return static_cast<int>(RegisteredScriptCalls().linkKDPC(cloudId, p_libPartIndex));
}

int windowcontroller::unlinkKdpc(int cloudId)
{
    NSLog("JavaScript: %d", cloudId);
    return static_cast<int>(RegisteredScriptCalls().unlinkKDPC(cloudId, p_libPartIndex));
}

std::unique_ptr<char[]> windowcontroller::getUpdateInfo()
{
    return RegisteredScriptCalls().getUpdateInfo();
}

std::unique_ptr<char[]> windowcontroller::getUpdateResultInfo()
{
    return RegisteredScriptCalls().getUpdateResultInfo();
}

std::unique_ptr<char[]> windowcontroller::getKDPCUpdateInfo()
{
    return RegisteredScriptCalls().getKDPCUpdateInfo();
}

std::unique_ptr<char[]> windowcontroller::getKDPCUpdateResultInfo()
{
    return RegisteredScriptCalls().getKDPCUpdateResultInfo();
}

int windowcontroller::updateProducts(const NSString& items)
{
    std::string text = items;
    RegisteredScriptCalls().updateProducts(text.data());
    close();
    return Done;
}

int windowcontroller::updateKDPC(const NSString& items)
{
    std::string text = items;
    RegisteredScriptCalls().updateKDPC(text.data());
    close();
    return Done;
}

std::string windowcontroller::webScriptNameForSelector(const std::string& selector)
{
    for (const ScriptName& entry : ScriptNames)
        if (selector == entry.selector)
            return entry.name;
    return {};
}

bool windowcontroller::isSelectorExcludedFromWebScript(const std::string& selector)
{
    return webScriptNameForSelector(selector).empty();
}

std::vector<std::string> windowcontroller::ExportedSelectors() const
{
    // Everything the controller answers to; only the named ones are open to script.
    return {"getDownloadInfo:andMore:",
            "downloadProgress",
            "addKdpc:",
            "linkKdpc:",
            "unlinkKdpc:",
            "getUpdateInfo",
            "getUpdateResultInfo",
            "getKDPCUpdateInfo",
            "getKDPCUpdateResultInfo",
            "updateProducts:",
            "updateKDPC:",
            "hide",
            "setUrl:",
            "close"};
}

std::optional<Platform::ScriptValue> windowcontroller::InvokeSelector(const std::string& selector,
                                                                      const std::vector<Platform::ScriptValue>& args)
{
    static const Platform::ScriptValue missing;
    auto arg = [&](size_t i) -> const Platform::ScriptValue& { return i < args.size() ? args[i] : missing; };
    // Script numbers reach an int parameter converted, as the bridge converts them.
    auto intArg = [&](size_t i) { return CloudId(arg(i)); };
    if (selector == "getDownloadInfo:andMore:") {
        getDownloadInfo(arg(0), arg(1));
        return std::nullopt;
    }
    if (selector == "addKdpc:")
        return ScriptNumber(addKdpc(intArg(0)));
    if (selector == "linkKdpc:")
        return ScriptNumber(linkKdpc(intArg(0)));
    if (selector == "unlinkKdpc:")
        return ScriptNumber(unlinkKdpc(intArg(0)));
    if (selector == "updateProducts:")
        return ScriptNumber(updateProducts(arg(0).Text()));
    if (selector == "updateKDPC:")
        return ScriptNumber(updateKDPC(arg(0).Text()));
    return std::nullopt;
}

#if !KORDELA_MODERN_WEB_VIEW
namespace {

// True when `url` shows the catalogue page `path` itself (also as the auto-logon address's
// redirect target), not a longer page whose path begins the same way.
bool ShowsPage(const std::string& url, const char* path)
{
    std::string page = Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, path);
    page.erase(0, page.find("://") + 3);
    for (size_t at = url.find(page); at != std::string::npos; at = url.find(page, at + 1)) {
        const size_t end = at + page.size();
        if (end == url.size() || !std::isalnum(static_cast<unsigned char>(url[end])))
            return true;
    }
    return false;
}

}  // namespace

void windowcontroller::HandDataToPage()
{
    auto post = [this](std::unique_ptr<char[]> text) {
        if (text && theWebView != nullptr)
            theWebView->windowScriptObject().callWebScriptMethod("FakePost", {Platform::ScriptValue(text.get())});
    };
    if (ShowsPage(myUrl, "/CadApplication/ProgressDialog"))
        downloadProgress();
    if (ShowsPage(myUrl, "/CadApplication/ProductUpdate"))
        post(RegisteredScriptCalls().getUpdateInfo());
    if (ShowsPage(myUrl, "/CadApplication/ProductUpdateResult"))
        post(RegisteredScriptCalls().getUpdateResultInfo());
    if (ShowsPage(myUrl, "/CadApplication/KdpcUpdate"))
        post(RegisteredScriptCalls().getKDPCUpdateInfo());
    if (ShowsPage(myUrl, "/CadApplication/KDPCUpdateResult"))
        post(RegisteredScriptCalls().getKDPCUpdateResultInfo());
}
#endif

namespace {
ScriptCalls& Registered()
{
    static ScriptCalls calls;
    return calls;
}
}  // namespace

void RegisterScriptCalls(ScriptCalls calls)
{
    Registered() = std::move(calls);
}

const ScriptCalls& RegisteredScriptCalls()
{
    return Registered();
}
