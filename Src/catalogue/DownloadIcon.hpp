// Fetching an image (a manufacturer's logo) into the temporary folder.
#pragma once

#include <string>

// Downloads `url` into the temporary folder under `fileName` and answers the file's path,
// also when the transfer failed (the file may then be empty); empty when the transfer
// library cannot start. `unreachable`, when given, says whether the image's host cannot serve
// it (`IsUnreachable`).
std::string DownloadIcon(const char* url, const char* fileName, bool* unreachable = nullptr);
