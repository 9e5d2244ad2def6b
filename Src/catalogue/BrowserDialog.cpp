#include "BrowserDialog.hpp"

#include "APIKey.hpp"
#include "CurlHandles.hpp"
#include "DG.hpp"
#include "Endpoints.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t AutoLogOnSize = 2048;
constexpr const char* BrowserInitError = "Error initializing the browser component.";

#if KORDELA_MODERN_WEB_VIEW
short RecordFormHandler(FooWrapper& fr, short message, short dialogId, short item, long long userData)
{
    if (message != DG_MSG_INIT)
        return AnswerBrowserDialog(message, dialogId, item);
    NSWindow* window = PrepareBrowserWindow(dialogId);
    if (const auto* params = reinterpret_cast<const BrowserDialogParams*>(userData); params != nullptr) {
        // The five-argument form takes the URL buffer before the file-name buffer.
        fr.bar(window, params->url, params->fileUrl, params->fileName, params->libPartIndex);
        fr.loadRequest(params->url);
    }
    return 0;
}
#endif

}  // namespace

#if KORDELA_MODERN_WEB_VIEW
NSWindow* PrepareBrowserWindow(short dialogId)
{
    DGHideItem(dialogId, 1);
    DGHideItem(dialogId, 2);
    return DGGetDialogWindow(dialogId);
}

short AnswerBrowserDialog(short message, short dialogId, short item)
{
    if (message == DG_MSG_CLOSE)
        return item;
    if (message == DG_MSG_CLICK && item == DG_CLOSEBOX)
        DGAbortModalDialog(dialogId);
    return 0;
}

long RunBrowserDialogWith(DGDialCallBack callback, long long userData)
{
    return RunOwnModalDialog(BrowserDialogId, callback, userData);
}

short YosemiteBrowser_Handler(short message, short dialogId, short item, long long userData, long long)
{
    static FooWrapper fr;
    return RecordFormHandler(fr, message, dialogId, item, userData);
}

short WebViewTest_Handler(short message, short dialogId, short item, long long userData, long long)
{
    static FooWrapper fr;
    return RecordFormHandler(fr, message, dialogId, item, userData);
}

short ProgressWebViewTest_Handler(short message, short dialogId, short item, long long, long long)
{
    static FooWrapper fr;
    if (message != DG_MSG_INIT)
        return AnswerBrowserDialog(message, dialogId, item);
    fr.progress(DGGetDialogWindow(dialogId), "Download", "Downloading...", "icon-cloud-download");
    fr.reloadRequest();
    return 0;
}
#endif

long RunOwnModalDialog(short dialogId, DGDialCallBack callback, long long userData)
{
#if KORDELA_PASSES_RESOURCE_MODULE
    const GSResModule module = ACAPI_GetOwnResModule();
    return DGModalDialog(module, dialogId, module, callback, userData);
#else
    OwnResModuleScope scope;
    return DGModalDialog(dialogId, callback, userData);
#endif
}

std::unique_ptr<char[]> UrlGenerator(const char* pageAddress)
{
    // The key a request sends: checked once, the settings dialog offered when it fails.
    char key[256] = {};
    {
        const auto stored = GetAPIKey();
        std::snprintf(key, sizeof key, "%s", stored.get());
    }
    if (!IsValidAPIKey(key)) {
        OpenRegisteredSettings();
        const auto stored = GetAPIKey();
        std::snprintf(key, sizeof key, "%s", stored.get());
    }
    // The address is built only where libcurl can start, as the page's requests need it.
    if (!Curl::NewEasy()) {
        ReportAlert(BrowserInitError);
        return nullptr;
    }
    const std::string site = Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, "");
    const char* page = pageAddress != nullptr ? pageAddress : "";
    const char* format = "%s/Account/AutoLogOn/%s/ArchiCAD/3/%s/ArchiCAD%%20%d%%20%s/%d?redirecturl=%s";
    const int needed = std::snprintf(nullptr, 0, format, site.c_str(), key, AddOnVersion, HostVersion, "mac", 0, page);
    // A long page address (many property clouds) gets a larger buffer rather than a cut address.
    const size_t size = std::max(AutoLogOnSize, static_cast<size_t>(needed > 0 ? needed : 0) + 1);
    auto result = std::make_unique<char[]>(size);
    std::snprintf(result.get(), size, format, site.c_str(), key, AddOnVersion, HostVersion, "mac", 0, page);
    return result;
}

PageDownload RunBrowserDialog(const char* url, bool downloadMayFollow, int libPartIndex)
{
    std::vector<char> fileUrl(downloadMayFollow ? BrowserResultSize : 0, '\0');
    std::vector<char> fileName(downloadMayFollow ? BrowserResultSize : 0, '\0');
    char* urlBuffer = downloadMayFollow ? fileUrl.data() : nullptr;
    char* nameBuffer = downloadMayFollow ? fileName.data() : nullptr;
#if !KORDELA_MODERN_WEB_VIEW
    FooWrapper fr;
    if (downloadMayFollow)
        fr.bar(url, urlBuffer, nameBuffer);
    else if (libPartIndex != 0)
        fr.bar(url, libPartIndex);
    else
        fr.bar(url);
#else
    // The record lives for the one dialog run; the dialog only reads it.
    auto params = std::make_unique<BrowserDialogParams>(
        BrowserDialogParams {const_cast<char*>(url), nameBuffer, urlBuffer, libPartIndex});
    RunBrowserDialogWith(YosemiteBrowser_Handler, reinterpret_cast<long long>(params.get()));
#endif
    PageDownload download;
    if (downloadMayFollow) {
        // The bridge fills both buffers or neither, each within 1023 bytes and the NUL.
        fileUrl.back() = '\0';
        fileName.back() = '\0';
        download.fileUrl = fileUrl.data();
        download.fileName = fileName.data();
        if (!download.Requested())
            download = {};
    }
    return download;
}
