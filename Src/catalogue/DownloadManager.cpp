#include "DownloadManager.hpp"

#include "BrowserDialog.hpp"
#include "Endpoints.hpp"
#include "FileTransfer.hpp"
#include "FooWrapper.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "Messages.hpp"
#include "ServiceRequest.hpp"

#include "DG.hpp"
#include "IO.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr long ReceiveBufferBytes = 512 * 1024;

// Through the host's file system, like every other file of the add-on; a file that cannot be
// removed stays, and the next download of its name writes over it.
void RemovePartialFile(const char* path)
{
    IO::fileSystem.Delete(IO::Location(path), 0, IO::FileSystem::OnAccessDeniedIgnore);
}
}  // namespace

DownloadManager& DownloadManager::getInstance()
{
    static DownloadManager theOnlyInstance;
    return theOnlyInstance;
}

GSErrCode DownloadManager::Download(char* url, char* path)
{
    Release();
    completed = false;
    failure.clear();
    easy.reset(curl_easy_init());
    if (!easy) {
        ReportAlert(LocString(Messages::List, Messages::TransferNotStarted).c_str());
        return ErrCode::General;
    }
    file.reset(IO::OpenFile(IO::Location(path), "wb"));
    if (!file) {
        failure = "the file cannot be written";
        ReportAlert((LocString(DownloadTexts::List, DownloadTexts::FileNotWritten) + path).c_str());
        Release();
        return ErrCode::General;
    }

    // The catalogue site's host as the add-on addresses it (a local stand-in included).
    const std::string site = Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, "");
    const size_t schemeEnd = site.find("://");
    const std::string host = "Host: " + (schemeEnd == std::string::npos ? site : site.substr(schemeEnd + 3));
    curl_slist* list = nullptr;
    for (const char* header :
         {"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", "Accept-Encoding: gzip, deflate",
          "Accept-Language: hu-hu,hu;q=0.8,en-US;q=0.5,en;q=0.3", "Connection: keep-alive", host.c_str(),
          "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:19.0) Gecko/20100101 Firefox/19.0"})
        list = curl_slist_append(list, header);
    headers.reset(list);

    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, writefuncfile);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_PROGRESSDATA, this);
    curl_easy_setopt(handle, CURLOPT_PROGRESSFUNCTION, progress_func);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, file.get());
    // The header above asks for compressed bodies; libcurl must undo the compression, or a
    // compressed body would be installed under a library part's name.
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    // A larger receive buffer lets each step take in what has arrived, so a fast transfer
    // needs fewer steps (and page answers); its size does not depend on the file's.
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, ReceiveBufferBytes);
    PrepareTransfer(handle, url, TransferKind::File);

    multi.reset(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
        ReportAlert(LocString(Messages::List, Messages::TransferNotStarted).c_str());
        Release();
        RemovePartialFile(path);
        return ErrCode::General;
    }

    DoDownload();

    if (!completed && failure.empty())
        Fail(cancelled ? "the download was cancelled" : "the download was closed before it ended");
    Release();
    if (!completed) {
        RemovePartialFile(path);
        ReportAlert((LocString(DownloadTexts::List, DownloadTexts::Failed) + failure).c_str());
        return ErrCode::General;
    }
    return NoError;
}

void DownloadManager::DoDownload()
{
    cancelled = false;
    running = 1;
    percent = 0;
#if !KORDELA_MODERN_WEB_VIEW
    FooWrapper fr;
    fr.progress("Download", "Downloading...", "icon-cloud-download");
#else
    RunOwnModalDialog(ProgressDialogId, ProgressWebViewTest_Handler, 0);
#endif
}

int DownloadManager::Continue()
{
    if (cancelled || running == 0 || !multi)
        return -1;
    // Waiting for the socket keeps the page's loop from spinning on a transfer that has
    // nothing to deliver yet; one step then reads what has arrived.
    curl_multi_poll(multi.get(), nullptr, 0, MaxStepWaitMs, nullptr);
    curl_multi_perform(multi.get(), &running);
    if (running == 0) {
        Finished();
        return completed ? 100 : -1;
    }
    // 100 ends the page's loop and closes the dialog, so it waits for the transfer's end.
    return std::min(percent, 99);
}

void DownloadManager::Cancel()
{
    cancelled = true;
}

void DownloadManager::SetState(int value)
{
    percent = value;
}

void DownloadManager::Finished()
{
    int left = 0;
    CURLcode result = CURLE_FAILED_INIT;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get())
            result = message->data.result;
    if (result != CURLE_OK) {
        Fail(std::string("the transfer stopped: ") + curl_easy_strerror(result));
        return;
    }
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
        Fail("the server answered HTTP status " + std::to_string(status));
        return;
    }
    // Catalogue downloads are library parts, containers and projects; a web page in their
    // place is the server's error page, which must not be installed under the file's name.
    const char* type = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &type);
    if (IsWebPageType(type)) {
        Fail("the server answered with a web page instead of the file");
        return;
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()) != 0) {
        Fail("the file cannot be written");
        return;
    }
    completed = true;
    percent = 100;
}

void DownloadManager::Fail(const std::string& why)
{
    if (failure.empty())
        failure = why;
    completed = false;
}

void DownloadManager::Release()
{
    if (multi && easy)
        curl_multi_remove_handle(multi.get(), easy.get());
    multi.reset();
    easy.reset();
    headers.reset();
    file.reset();
    running = 0;
}

int progress_func(void* manager, double dltotal, double dlnow, double, double)
{
    auto* self = static_cast<DownloadManager*>(manager);
    if (self != nullptr && dltotal > 0)
        self->percent = static_cast<int>(std::min(100.0, dlnow / dltotal * 100.0));
    return 0;
}
