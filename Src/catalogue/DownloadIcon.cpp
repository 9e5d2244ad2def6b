#include "DownloadIcon.hpp"

#include "FileTransfer.hpp"
#include "Folders.hpp"
#include "HostServices.hpp"
#include "Messages.hpp"

std::string DownloadIcon(const char* url, const char* fileName, bool* unreachable)
{
    char folder[TempPathSize] = {};
    if (GetTempPath(TempPathSize, folder) >= TempPathSize + 1) {
        ReportAlert(LocString(Messages::List, Messages::TempPathTooLong).c_str());
        return {};
    }
    const std::string path = std::string(folder) + (fileName != nullptr ? fileName : "");
    // The caller turns whatever arrived into an icon; an unreadable image gives an empty one.
    const GetResult result = GetToFile(url, path.c_str());
    if (unreachable != nullptr)
        *unreachable = IsUnreachable(result.curlCode);
    if (!result.started) {
        ReportAlert(LocString(Messages::List, Messages::TransferNotStarted).c_str());
        return {};
    }
    return path;
}
