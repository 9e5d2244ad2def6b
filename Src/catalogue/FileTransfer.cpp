#include "FileTransfer.hpp"

#include "ServiceRequest.hpp"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

GetResult Perform(CURL* curl, const char* url, TransferKind kind)
{
    GetResult result;
    result.started = true;
    curl_easy_setopt(curl, CURLOPT_URL, url != nullptr ? url : "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // A compressed body is stored as what it stands for, never as the compressed bytes.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    ApplyTransferLimits(curl, kind);
    result.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    const char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (type != nullptr)
        result.contentType = type;
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace

bool IsWebPageType(const char* contentType)
{
    return contentType != nullptr && strncasecmp(contentType, "text/html", 9) == 0;
}

GetResult GetToMemory(const char* url, std::string& body, TransferKind kind)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return {};
    string buffer;
    init_string(&buffer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writefunc);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    const GetResult result = Perform(curl, url, kind);
    body.assign(buffer.ptr != nullptr ? buffer.ptr : "", buffer.len);
    return result;
}

GetResult GetToFile(const char* url, const char* path, TransferKind kind)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return {};
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        // Nowhere to write: the transfer is not made and counts as failed.
        curl_easy_cleanup(curl);
        GetResult result;
        result.started = true;
        result.curlCode = CURLE_WRITE_ERROR;
        return result;
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writefuncfile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    GetResult result = Perform(curl, url, kind);
    // Bytes that never reached the disk make the file incomplete.
    if (std::fclose(file) != 0 && result.curlCode == CURLE_OK)
        result.curlCode = CURLE_WRITE_ERROR;
    return result;
}
