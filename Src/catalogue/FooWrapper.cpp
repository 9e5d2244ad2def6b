#include "FooWrapper.hpp"

#include "Cocoa.hpp"
#include "Endpoints.hpp"
#include "Foundation.hpp"
#include "HostVersion.hpp"
#include "windowcontroller.hpp"

#include <functional>

namespace {

constexpr int Opened = 42;

#if KORDELA_MODERN_WEB_VIEW
// The latest embedded window's controller.
std::shared_ptr<windowcontroller> myWinController;
#endif

[[maybe_unused]] std::string SiteHome()
{
    return Endpoints::Address(Endpoints::LegacyHttpScheme, Endpoints::SiteHost, "");
}

std::string ProgressPage(const char* text, const char* icon)
{
    const std::string query = std::string("/CadApplication/ProgressDialog?loadingText=") + (text ? text : "") +
                              "&loadingIcon=" + (icon ? icon : "");
    return Endpoints::Address(Endpoints::LegacyHttpScheme, Endpoints::SiteHost, query.c_str());
}

int RunModalWindow(const std::string& url, bool hidden, const std::function<void(windowcontroller&)>& setters)
{
    auto controller = windowcontroller::WithWindowNibName("browserdialog");
    NSWindow* window = controller->window();
    NSLog("window: %s", window != nullptr ? ("window " + std::to_string(window->WindowNumber())).c_str() : "(null)");
    NSLog("url: %s", url.c_str());
    if (hidden)
        controller->hide();
    controller->setUrl(url);
    if (setters)
        setters(*controller);
    auto session = NSApp().beginModalSessionForWindow(window);
    NSModalResponse response = NSModalResponseContinue;
    do {
        NSAutoreleasePool pool;
        response = NSApp().runModalSession(session.get());
        NSRunLoop::currentRunLoop().limitDateForMode(NSDefaultRunLoopMode);
        pool.drain();
    } while (response == NSModalResponseContinue);
    NSApp().endModalSession(std::move(session));
    return Opened;
}

#if KORDELA_MODERN_WEB_VIEW
int OpenEmbedded(NSWindow* window, const std::function<void(windowcontroller&)>& setters)
{
    myWinController = windowcontroller::WithWindow(window);
    if (myWinController && setters)
        setters(*myWinController);
    return Opened;
}
#endif

}  // namespace

FooWrapper::FooWrapper() : placeholder_(std::make_unique<char>()) {}

FooWrapper::~FooWrapper() = default;

#if KORDELA_MODERN_WEB_VIEW
int FooWrapper::bar(NSWindow* window)
{
    const std::string url = SiteHome();
    return OpenEmbedded(window, [&](windowcontroller& c) { c.setUrl(url); });
}

int FooWrapper::bar(NSWindow* window, const char* url)
{
    return OpenEmbedded(window, [&](windowcontroller& c) { c.setUrl(url != nullptr ? url : ""); });
}

int FooWrapper::bar(NSWindow* window, const char* url, int libPartIndex)
{
    return OpenEmbedded(window, [&](windowcontroller& c) {
        c.setUrl(url != nullptr ? url : "");
        c.setLibPartIndex(libPartIndex);
    });
}

int FooWrapper::bar(NSWindow* window, const char* url, char* urlBuffer, char* fileNameBuffer)
{
    return OpenEmbedded(window, [&](windowcontroller& c) {
        c.setUrl(url != nullptr ? url : "");
        c.setFileNamePointer(fileNameBuffer);
        c.setUrlPointer(urlBuffer);
    });
}

int FooWrapper::bar(NSWindow* window, const char* url, char* urlBuffer, char* fileNameBuffer, int libPartIndex)
{
    return OpenEmbedded(window, [&](windowcontroller& c) {
        if (url != nullptr)
            c.setUrl(url);
        if (fileNameBuffer != nullptr)
            c.setFileNamePointer(fileNameBuffer);
        if (urlBuffer != nullptr)
            c.setUrlPointer(urlBuffer);
        c.setLibPartIndex(libPartIndex);
    });
}

int FooWrapper::progress(NSWindow* window, const char*, const char* text, const char* icon)
{
    const std::string url = ProgressPage(text, icon);
    NSLog("url: %s", url.c_str());
    return OpenEmbedded(window, [&](windowcontroller& c) { c.setUrl(url); });
}

int FooWrapper::loadRequest(const char* url)
{
    if (myWinController && url != nullptr)
        myWinController->loadTheStupidRequest(url);
    return Opened;
}

int FooWrapper::reloadRequest()
{
    if (myWinController)
        myWinController->reloadTheStupidRequest();
    return Opened;
}
#endif

int FooWrapper::bar(const char* url)
{
    return RunModalWindow(url != nullptr ? url : "", false, nullptr);
}

int FooWrapper::bar(const char* url, int libPartIndex)
{
    return RunModalWindow(url != nullptr ? url : "", false,
                          [&](windowcontroller& c) { c.setLibPartIndex(libPartIndex); });
}

int FooWrapper::bar(const char* url, char* urlBuffer, char* fileNameBuffer)
{
    return RunModalWindow(url != nullptr ? url : "", false, [&](windowcontroller& c) {
        c.setFileNamePointer(fileNameBuffer);
        c.setUrlPointer(urlBuffer);
    });
}

int FooWrapper::progress(const char*, const char* text, const char* icon)
{
    return RunModalWindow(ProgressPage(text, icon), false, nullptr);
}

int FooWrapper::login(char* url)
{
    return RunModalWindow(url != nullptr ? url : "", true, nullptr);
}

int FooWrapper::openfolder(char* path)
{
    if (path != nullptr)
        NSWorkspace::sharedWorkspace().activateFileViewerSelectingURLs({NSURL::fileURLWithPath(path)});
    return Opened;
}

const void* FooWrapper::convertIcon(char* imageFile, char*)
{
    if (imageFile == nullptr)
        return nullptr;
    return NSImage::initWithContentsOfFile(imageFile).release();
}
