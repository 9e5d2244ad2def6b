// One download at a time into a file, behind the progress page of dialog 32591. The transfer
// does not run by itself: each "downloadProgress" call of the page advances it one step.
#pragma once

#include "ACAPI.hpp"

#include "CurlHandles.hpp"

#include <cstdio>
#include <memory>
#include <string>

int progress_func(void* manager, double dltotal, double dlnow, double ultotal, double ulnow);

class DownloadManager {
public:
    static DownloadManager& getInstance();

    // Downloads `url` into the file `path`. 0 when the whole body is in the file; 0x81060001
    // (after telling the user) when libcurl cannot start, the file cannot be written, the
    // transfer failed or answered an HTTP error, or the dialog closed before the end. A
    // failed download leaves no file behind.
    GSErrCode Download(char* url, char* path);
    // Runs the progress dialog until it closes.
    void DoDownload();
    // One transfer step: the percent done (100 only once the whole body has arrived), or -1
    // when there is nothing to do: no download, cancelled, or the transfer ended without
    // completing. Waits at most MaxStepWaitMs for the transfer's socket before the step.
    int Continue();
    void Cancel();
    void SetState(int value);

    // Why the last download failed; empty when it completed.
    const std::string& Failure() const { return failure; }

    static constexpr int MaxStepWaitMs = 50;

private:
    friend int progress_func(void* manager, double dltotal, double dlnow, double ultotal, double ulnow);

    struct FileClose {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    // The transfer has ended inside a step: records whether it completed.
    void Finished();
    void Fail(const std::string& why);
    void Release();

    Curl::Easy easy;
    Curl::Multi multi;
    bool cancelled = false;
    int running = 0;
    int percent = 0;

    Curl::List headers;
    std::unique_ptr<FILE, FileClose> file;
    bool completed = false;
    std::string failure;
};
