// The add-on's string list of download failures that its first list has no item for.
#pragma once

constexpr short DownloadTextsId = 32531;
constexpr short DownloadFailed = 1;          // followed by the reason
constexpr short DownloadFileNotWritten = 2;  // followed by the path
constexpr short DownloadNameRefused = 3;     // followed by the name
constexpr short DownloadNotLoadable = 4;     // followed by the name
