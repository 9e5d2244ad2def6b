#include "FileTransfer.hpp"

#include "ServiceRequest.hpp"

#include <curl/curl.h>

#include <cstdio>

namespace {

GetResult Perform(CURL* curl, const char* url)
{
    GetResult result;
    result.started = true;
    curl_easy_setopt(curl, CURLOPT_URL, url != nullptr ? url : "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    ApplyTransferLimits(curl);
    result.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace

GetResult GetToMemory(const char* url, std::string& body)
{
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return {};
    string buffer;
    init_string(&buffer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writefunc);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    const GetResult result = Perform(curl, url);
    body.assign(buffer.ptr != nullptr ? buffer.ptr : "", buffer.len);
    return result;
}

GetResult GetToFile(const char* url, const char* path)
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
    GetResult result = Perform(curl, url);
    // Bytes that never reached the disk make the file incomplete.
    if (std::fclose(file) != 0 && result.curlCode == CURLE_OK)
        result.curlCode = CURLE_WRITE_ERROR;
    return result;
}
