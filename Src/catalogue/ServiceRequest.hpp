// The one way the add-on talks to the service's web API: an XML request posted as the form
// field "value", the answer written to a fresh file in the temporary folder. Also the two
// write callbacks every transfer uses and the growable buffer one of them fills.
#pragma once

#include "Endpoints.hpp"

#include <curl/curl.h>

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>

// A growable byte buffer filled by `writefunc`; `ptr` is NUL-terminated after `init_string`.
struct string {
    virtual ~string();
    char* ptr = nullptr;
    size_t len = 0;
};

size_t writefuncfile(void* data, size_t size, size_t count, FILE* file);
void init_string(string* s);
size_t writefunc(void* data, size_t size, size_t count, string* s);

// Limits that keep a silent or stalled server from holding the host for ever: a transfer
// fails when it has no connection after connectTimeoutSeconds, or when it receives fewer
// than lowSpeedBytesPerSecond on average for lowSpeedSeconds.
struct TransferLimits {
    long connectTimeoutSeconds = 15;
    long lowSpeedBytesPerSecond = 1000;
    long lowSpeedSeconds = 30;
    long maxRedirects = 20;
};
// Files (downloads, the installer) may be large and come slowly; the small fixed requests
// (service answers, the version file, logos) are short and get a shorter window.
enum class TransferKind { Request, File };
const TransferLimits& GetTransferLimits(TransferKind kind);
void SetTransferLimits(TransferKind kind, const TransferLimits& limits);
// The same limits for every kind (tests shorten them so).
void SetTransferLimits(const TransferLimits& limits);
// Back to the built-in limits of each kind.
void ResetTransferLimits();
// Every transfer of the add-on starts here: points the easy handle at `url`, applies the
// limits of `kind` and allows http and https only, also when redirected. While a local
// service stands in, the transfer goes to the system log with the address as the add-on
// built it ("transfer: ADDRESS"), so the scheme and host each build uses can be checked.
void PrepareTransfer(CURL* curl, const char* url, TransferKind kind);
// Whether a transfer's result says the host cannot serve it: its name not resolved, the
// connection refused, silence or too slow an answer, the connection closed without an answer
// or broken. An answer that came whole or cut short (an error page, a shorter body than
// announced) does not count.
bool IsUnreachable(int curlCode);

// `value` as XML attribute text: & < > ' " become entities, everything else stays.
std::string EscapeXmlAttribute(const std::string& value);

// The template with each "%s" replaced by the next value, escaped as attribute text; "%%"
// stays a single "%". Never cut, whatever the values' length.
std::string FormatRequest(const char* requestTemplate, std::initializer_list<std::string> values);

// A new answer-file path: the temporary folder followed by a new UUID. Reports a temporary
// path that is too long and goes on with what fits.
std::string NewAnswerFilePath();

struct PostResult {
    bool started = false;    // false when libcurl could not start: nothing was sent
    std::string answerFile;  // where the answer body went (possibly empty or partial)
    int curlCode = -1;       // libcurl's result of the transfer
    long status = 0;         // HTTP status of the last answer (0 when none came)
};

// Posts `request` as the form field "value" to `path` on the service API host.
PostResult PostServiceRequest(Endpoints::Scheme scheme, const char* path, const std::string& request);

// Item 2 of the start-up progress window, set whether or not the window is open.
void SetStartupProgress(long value);
constexpr short StartupProgressWindowId = 32604;

void DeleteAnswerFile(const std::string& path);
