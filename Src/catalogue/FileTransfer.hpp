// Plain GET transfers of the add-on outside the download progress page: a body into memory
// (the published version) or into a file (logos, the installer).
#pragma once

#include "ServiceRequest.hpp"

#include <string>

// Whether an answer's content type is a web page: for a file that is the server's error
// page, never the file.
bool IsWebPageType(const char* contentType);

struct GetResult {
    bool started = false;     // false when the transfer library could not start: nothing was sent
    int curlCode = -1;        // libcurl's result of the transfer
    long status = 0;          // HTTP status of the last answer (0 when none came)
    std::string contentType;  // of the last answer; empty when it gave none
    // A transfer that ended without a transfer error and with a status below 400.
    bool Succeeded() const { return started && curlCode == 0 && status < 400; }
    // Succeeded, and the body is not a web page standing in for a file.
    bool DeliveredFile() const { return Succeeded() && !IsWebPageType(contentType.c_str()); }
};

// Fetches `url` (redirects followed, compressed bodies decoded) into `body`.
GetResult GetToMemory(const char* url, std::string& body, TransferKind kind = TransferKind::Request);
// Fetches `url` (redirects followed, compressed bodies decoded) into the file at `path`,
// created or emptied first.
GetResult GetToFile(const char* url, const char* path, TransferKind kind = TransferKind::Request);
