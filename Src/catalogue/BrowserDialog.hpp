// Catalogue pages in the host's browser dialog 32590 and the download progress page in
// dialog 32591, and the auto-logon address that signs the user in by the API key.
#pragma once

#include "ACAPI.hpp"
#include "DG.hpp"
#include "HostVersion.hpp"

#include <memory>
#include <string>

constexpr short BrowserDialogId = 32590;
constexpr short ProgressDialogId = 32591;
constexpr size_t BrowserResultSize = 1024;

// The user data of browser dialog 32590 for the callbacks that take a record.
struct BrowserDialogParams {
    char* url;
    char* fileName;  // 1024 zeroed bytes, or null when no download may follow
    char* fileUrl;   // 1024 zeroed bytes, or null when no download may follow
    int libPartIndex;
};

#if KORDELA_MODERN_WEB_VIEW
short YosemiteBrowser_Handler(short message, short dialogId, short item, long long userData, long long msgData);
short WebViewTest_Handler(short message, short dialogId, short item, long long userData, long long msgData);
// The download progress dialog 32591's callback; its user data is not read.
short ProgressWebViewTest_Handler(short message, short dialogId, short item, long long userData, long long msgData);
#endif

#if KORDELA_MODERN_WEB_VIEW
// Pieces every browser-dialog callback shares: the dialog's own items hidden and its
// window for the page; the answers to the close and click messages.
NSWindow* PrepareBrowserWindow(short dialogId);
short AnswerBrowserDialog(short message, short dialogId, short item);
// Runs browser dialog 32590 with the add-on's resources and `callback`.
long RunBrowserDialogWith(DGDialCallBack callback, long long userData);
#endif

// Runs one of the add-on's modal dialogs with its resources, as the host version wants them.
long RunOwnModalDialog(short dialogId, DGDialCallBack callback, long long userData);

// `pageAddress` wrapped into the catalogue site's auto-logon address; null (after an alert)
// when the transfer library cannot start. The page address goes in as it stands.
std::unique_ptr<char[]> UrlGenerator(const char* pageAddress);

// What a page gave back for a download: both texts, or both empty. An address with an
// empty file name is still a hand-over, so that the installation refuses it with a reason.
struct PageDownload {
    std::string fileUrl;
    std::string fileName;
    bool Requested() const { return !fileUrl.empty(); }
};

// Opens `url` in browser dialog 32590 (the host 18 build: in the add-on's own modal window)
// and waits until it closes. With `downloadMayFollow`, the page may hand over a download.
PageDownload RunBrowserDialog(const char* url, bool downloadMayFollow, int libPartIndex);
