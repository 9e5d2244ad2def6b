// Plain GET transfers of the add-on outside the download progress page: a body into memory
// (the published version) or into a file (logos, the installer).
#pragma once

#include <string>

struct GetResult {
    bool started = false;  // false when the transfer library could not start: nothing was sent
    int curlCode = -1;     // libcurl's result of the transfer
    long status = 0;       // HTTP status of the last answer (0 when none came)
    // A transfer that ended without a transfer error and with a status below 400.
    bool Succeeded() const { return started && curlCode == 0 && status < 400; }
};

// Fetches `url` (redirects followed) into `body`.
GetResult GetToMemory(const char* url, std::string& body);
// Fetches `url` (redirects followed) into the file at `path`, created or emptied first.
GetResult GetToFile(const char* url, const char* path);
