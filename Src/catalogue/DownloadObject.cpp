#include "DownloadObject.hpp"

#include "CommandRunner.hpp"
#include "DownloadManager.hpp"
#include "Folders.hpp"
#include "Foundation.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "LibPart.hpp"
#include "Messages.hpp"
#include "SettingsManager.hpp"

#include "CH.hpp"

#include <cstring>
#include <memory>

namespace {

// The folder the host application lies in; hosts 15 and 16 number it one lower.
constexpr API_SpecFolderID ApplicationFolderId = HostHasOldSpecialFolderNumbers ? 7 : 8;

constexpr GSErrCode CopyAccessError = static_cast<GSErrCode>(HostHasOldCopyErrorCodes ? 0x81010306u : 0x81010308u);
constexpr GSErrCode CopyLocationError = static_cast<GSErrCode>(HostHasOldCopyErrorCodes ? 0x81010305u : 0x81010307u);

bool IsProjectFile(const char* path)
{
    for (const char* ext : {"pln", "pla", "mod"})
        if (HasExtension(path, ext))
            return true;
    return false;
}

std::string Extension(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

void OpenInNewInstance(const IO::Location& target)
{
    IO::Location applications;
    API_SpecFolderID id = ApplicationFolderId;
    ACAPI_Environment(APIEnv_GetSpecFolderID, &id, &applications);
    // Started directly with its arguments, so no character of either path means anything
    // to a shell; the new instance gets the target path exactly.
    const int status =
        Platform::RunProgram(NewInstanceArguments(applications.ToUTF8POSIXPath(), target.ToUTF8POSIXPath()));
    if (status != 0)
        NSLog("the new host instance ended with %d", status);
}

// False when the host cannot register a library part: its bytes are no loadable part (cut,
// garbled or some other file under the part's name). A container is the host's to judge
// part by part, so it stays registered as far as the host could.
bool RegisterLibraryFile(const IO::Location& target, const char* fileName)
{
    IO::Location location(target);
    API_LibPart libPart {};
    libPart.typeID = APILib_ObjectID;
    libPart.location = &location;
    const GSErrCode registered = ACAPI_LibPart_Register(&libPart);
    libPart.location = nullptr;
    const bool container = std::strstr(fileName, ".lcf") != nullptr;
    if (registered != NoError && (std::strstr(fileName, ".gsm") != nullptr || !container))
        return false;

    GS::Array<API_LibraryInfo> libraries;
    ACAPI_Environment(APIEnv_GetLibrariesID, &libraries);
    ACAPI_Environment(APIEnv_ReloadLibrariesID, &libraries);

    MyACAPI_LibPart_Search(&libPart);
    if (std::strstr(fileName, ".gsm") != nullptr) {
        SetToolBoxMode(&libPart);
    } else if (container) {
        IO::Folder folder(target, IO::Folder::Ignore);
        FolderEnumerator enumerator(folder);
        enumerator.Do();
    }
    return true;
}

}  // namespace

bool IsAcceptableFileName(const char* fileName)
{
    if (fileName == nullptr || fileName[0] == '\0')
        return false;
    if (std::strchr(fileName, '/') != nullptr || std::strchr(fileName, '\\') != nullptr ||
        std::strstr(fileName, "..") != nullptr)
        return false;
    for (const char* at = fileName; *at != '\0'; ++at) {
        const auto c = static_cast<unsigned char>(*at);
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

short CopyFailureItem(GSErrCode copyResult)
{
    if (copyResult == ErrCode::TargetExists)
        return Messages::CopyTargetExists;
    if (copyResult == CopyAccessError)
        return Messages::CopyAccessDenied;
    if (copyResult == CopyLocationError)
        return Messages::CopyFolderNotFound;
    return Messages::CopyFailed;
}

std::vector<std::string> NewInstanceArguments(const std::string& applicationFolder, const std::string& target)
{
    return {applicationFolder + "/archicad " + std::to_string(HostVersion) + ".app/Contents/MacOS/ArchiCAD", target};
}

int DownloadObject(char* url, char* fileName)
{
    if (url == nullptr || !IsAcceptableFileName(fileName)) {
        // Shown with its control characters made visible, so the alert stays one line.
        const std::string shown = VisibleOnOneLine(fileName != nullptr ? fileName : "");
        ReportAlert((LocString(DownloadTexts::List, DownloadTexts::NameRefused) + shown).c_str());
        return -1;
    }
    for (char* at = url; *at != '\0'; ++at)
        if (*at == ' ')
            *at = '_';

    char folder[TempPathSize] = {};
    if (GetTempPath(TempPathSize, folder) >= TempPathSize + 1) {
        ReportAlert(LocString(Messages::List, Messages::TempPathTooLong).c_str());
        return -1;
    }
    std::string downloadPath = std::string(folder) + fileName;
    if (downloadPath.size() >= static_cast<size_t>(TempPathSize)) {
        ReportAlert(LocString(Messages::List, Messages::TempPathTooLong).c_str());
        return -1;
    }

    if (DownloadManager::getInstance().Download(url, downloadPath.data()) != NoError)
        return -1;

    const IO::Location source(downloadPath);
    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    const auto addToEmbedded = settings.GetStringValue("AddToEmbedded", "1", true);
    const bool embedded = std::strcmp(addToEmbedded.get(), "1") == 0 && HasExtension(downloadPath.c_str(), "gsm");

    IO::Location* allocated = nullptr;
    const GSErrCode located = GetLocation(allocated, embedded);
    const std::unique_ptr<IO::Location> location(allocated);
    if (located != NoError || !location) {
        ReportAlert(LocString(Messages::List, Messages::NoInstallFolder).c_str());
        return -1;
    }

    IO::Location target(*location);
    target.AppendToLocal(IO::Name(fileName));
    const GSErrCode copied = IO::fileSystem.Copy(source, target);
    if (copied != NoError) {
        // The download stays in the temporary folder.
        ReportAlert(LocString(Messages::List, CopyFailureItem(copied)).c_str());
        return -2;
    }
    IO::fileSystem.Delete(source, 0, IO::FileSystem::OnAccessDeniedIgnore);

    if (IsProjectFile(downloadPath.c_str())) {
        OpenInNewInstance(target);
        return 0;
    }
    if (!RegisterLibraryFile(target, fileName)) {
        // Left in place it would stand in the way of a good download of the same name.
        IO::fileSystem.Delete(target, 0, IO::FileSystem::OnAccessDeniedIgnore);
        ReportAlert((LocString(DownloadTexts::List, DownloadTexts::NotLoadable) + fileName).c_str());
        return -1;
    }
    return 0;
}

bool FolderEnumerator::FileFound(const IO::Name& name)
{
    if (!CHEqualCStrings(Extension(name.ToUTF8()).c_str(), "gsm"))
        return true;
    API_LibPart libPart {};
    const std::u16string fileName = GS::UTF8ToUTF16(name.ToUTF8());
    const size_t length = std::min(fileName.size(), std::size(libPart.file_UName) - 1);
    std::copy_n(fileName.begin(), length, libPart.file_UName);
    // Only a part that a tool can place is made its tool's default; helper parts are passed.
    if (ACAPI_LibPart_Search(&libPart, false, true) == NoError && libPart.isPlaceable) {
        SetToolBoxMode(&libPart);
        return false;
    }
    return true;
}
