#include "FileTransfer.hpp"

#include "CurlHandles.hpp"
#include "ServiceRequest.hpp"

#include "IO.hpp"

#include <strings.h>
#include <cstdio>
#include <cstring>

namespace {

GetResult Perform(const Curl::Easy& easy, const char* url, TransferKind kind)
{
    CURL* curl = easy.get();
    GetResult result;
    result.started = true;
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    // A compressed body is stored as what it stands for, never as the compressed bytes.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    PrepareTransfer(curl, url, kind);
    result.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    const char* type = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
    if (type != nullptr)
        result.contentType = type;
    return result;
}

}  // namespace

bool IsWebPageType(const char* contentType)
{
    return contentType != nullptr && strncasecmp(contentType, "text/html", 9) == 0;
}

GetResult GetToMemory(const char* url, std::string& body, TransferKind kind)
{
    const Curl::Easy curl = Curl::NewEasy();
    if (!curl)
        return {};
    string buffer;
    init_string(&buffer);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, writefunc);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &buffer);
    const GetResult result = Perform(curl, url, kind);
    body.assign(buffer.ptr != nullptr ? buffer.ptr : "", buffer.len);
    return result;
}

GetResult GetToFile(const char* url, const char* path, TransferKind kind)
{
    const Curl::Easy curl = Curl::NewEasy();
    if (!curl)
        return {};
    FILE* file = IO::OpenFile(IO::Location(path), "wb");
    if (file == nullptr) {
        // Nowhere to write: the transfer is not made and counts as failed.
        GetResult result;
        result.started = true;
        result.curlCode = CURLE_WRITE_ERROR;
        return result;
    }
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, writefuncfile);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, file);
    GetResult result = Perform(curl, url, kind);
    // Bytes that never reached the disk make the file incomplete.
    if (std::fclose(file) != 0 && result.curlCode == CURLE_OK)
        result.curlCode = CURLE_WRITE_ERROR;
    return result;
}
