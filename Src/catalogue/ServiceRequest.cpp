#include "ServiceRequest.hpp"

#include "CoreFoundation.hpp"
#include "CurlHandles.hpp"
#include "DG.hpp"
#include "Folders.hpp"
#include "Foundation.hpp"
#include "HostServices.hpp"
#include "IO.hpp"
#include "Messages.hpp"

#include <cstdint>
#include <cstring>
#include <limits>

string::~string()
{
    if (ptr != nullptr)
        GS_free(ptr);
}

size_t writefuncfile(void* data, size_t size, size_t count, FILE* file)
{
    return std::fwrite(data, size, count, file);
}

void init_string(string* s)
{
    s->len = 0;
    s->ptr = static_cast<char*>(GS_malloc(1));
    if (s->ptr == nullptr) {
        std::fputs("malloc() failed\n", stderr);
        return;
    }
    s->ptr[0] = '\0';
}

size_t writefunc(void* data, size_t size, size_t count, string* s)
{
    // A product that overflows, or a buffer that could not be prepared, stops the transfer:
    // answering fewer bytes than offered makes libcurl fail it.
    if (size != 0 && count > std::numeric_limits<size_t>::max() / size)
        return 0;
    const size_t block = size * count;
    if (s->ptr == nullptr || block > std::numeric_limits<size_t>::max() - s->len - 1)
        return 0;
    char* grown = static_cast<char*>(GS_realloc(s->ptr, s->len + block + 1));
    if (grown == nullptr) {
        std::fputs("realloc() failed\n", stderr);
        return 0;
    }
    s->ptr = grown;
    if (block > 0)
        std::memcpy(s->ptr + s->len, data, block);
    s->ptr[s->len + block] = '\0';
    s->len += block;
    return block;
}

namespace {

constexpr TransferLimits FileLimits {15, 1000, 30, 20};
constexpr TransferLimits RequestLimits {10, 100, 10, 20};

TransferLimits& Limits(TransferKind kind)
{
    static TransferLimits files = FileLimits;
    static TransferLimits requests = RequestLimits;
    return kind == TransferKind::File ? files : requests;
}

}  // namespace

const TransferLimits& GetTransferLimits(TransferKind kind)
{
    return Limits(kind);
}

void SetTransferLimits(TransferKind kind, const TransferLimits& limits)
{
    Limits(kind) = limits;
}

void SetTransferLimits(const TransferLimits& limits)
{
    Limits(TransferKind::File) = limits;
    Limits(TransferKind::Request) = limits;
}

void ResetTransferLimits()
{
    Limits(TransferKind::File) = FileLimits;
    Limits(TransferKind::Request) = RequestLimits;
}

void PrepareTransfer(CURL* curl, const char* url, TransferKind kind)
{
    const char* address = url != nullptr ? url : "";
    curl_easy_setopt(curl, CURLOPT_URL, address);
    if (const auto built = Endpoints::BuiltAddress(address))
        NSLog("transfer: %s%s", VisibleOnOneLine(*built).c_str(),
              *built == address ? "" : " (sent to the local service)");
    const TransferLimits& limits = Limits(kind);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects);
    // Addresses come from pages and answers: none may read a local file or reach another
    // kind of server, not even through a redirect.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The add-on runs on the host's main thread; signals must not interrupt it.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
}

bool IsUnreachable(int curlCode)
{
    switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:          // refused
    case CURLE_OPERATION_TIMEDOUT:       // no connection, or too little of the answer, within the limits
    case CURLE_GOT_NOTHING:              // the connection closed without an answer
    case CURLE_SEND_ERROR:               // the connection broke: sending
    case CURLE_RECV_ERROR: return true;  // or receiving
    default: return false;
    }
}

std::string EscapeXmlAttribute(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '\'': escaped += "&apos;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string FormatRequest(const char* requestTemplate, std::initializer_list<std::string> values)
{
    std::string request;
    auto next = values.begin();
    for (const char* at = requestTemplate; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] == 's') {
            if (next != values.end())
                request += EscapeXmlAttribute(*next++);
            ++at;
        } else if (at[0] == '%' && at[1] == '%') {
            request += '%';
            ++at;
        } else {
            request += *at;
        }
    }
    return request;
}

std::string NewAnswerFilePath()
{
    char folder[TempPathSize] = {};
    if (GetTempPath(TempPathSize, folder) >= TempPathSize + 1) {
        ReportAlert(LocString(Messages::List, Messages::TempPathTooLong).c_str());
        return {};
    }
    std::string path = folder;
    CFUUIDRef uuid = CFUUIDCreate(kCFAllocatorDefault);
    CFStringRef text = CFUUIDCreateString(kCFAllocatorDefault, uuid);
    char name[64] = {};
    CFStringGetCString(text, name, sizeof name, kCFStringEncodingUTF8);
    CFRelease(text);
    CFRelease(uuid);
    return path + name;
}

PostResult PostServiceRequest(Endpoints::Scheme scheme, const char* path, const std::string& request)
{
    PostResult result;
    curl_httppost* first = nullptr;
    curl_httppost* last = nullptr;
    curl_formadd(&first, &last, CURLFORM_COPYNAME, "value", CURLFORM_COPYCONTENTS, request.c_str(),
                 CURLFORM_CONTENTSLENGTH, static_cast<long>(request.size()), CURLFORM_END);
    const Curl::Form form(first);
    const Curl::Easy easy = Curl::NewEasy();
    if (!easy)
        return result;
    CURL* curl = easy.get();
    result.started = true;
    result.answerFile = NewAnswerFilePath();
    FILE* file = IO::OpenFile(IO::Location(result.answerFile), "wb");
    if (file != nullptr) {
        const std::string url = Endpoints::Address(scheme, Endpoints::ApiHost, path);
        curl_easy_setopt(curl, CURLOPT_HTTPPOST, form.get());
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writefuncfile);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
        PrepareTransfer(curl, url.c_str(), TransferKind::Request);
        result.curlCode = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
        std::fclose(file);
    }
    // Without a file nothing could be kept: the caller then finds no answer to read.
    return result;
}

void SetStartupProgress(long value)
{
    DGSetItemValLong(StartupProgressWindowId, 2, value);
}

void DeleteAnswerFile(const std::string& path)
{
    IO::fileSystem.Delete(IO::Location(path), 0, IO::FileSystem::OnAccessDeniedIgnore);
}
