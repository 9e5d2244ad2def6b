#include "Folders.hpp"

#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "SettingsManager.hpp"

#include <cstring>
#include <memory>
#include <new>

int GetTempPath(int size, char* out)
{
    if (out == nullptr || size <= 0)
        return 0;
    out[0] = '\0';
    IO::Location folder;
    // Without a folder from the host there is none of the add-on's own: the root or the
    // working folder in its place would fill with answers and downloads.
    if (GetSpecialFolder(SpecialFolder::TemporaryBase, &folder) != NoError || folder.DeleteLastLocalName() != NoError)
        return size + 1;
    const std::string path = folder.ToUTF8POSIXPath();
    if (path.empty() || path.front() != '/' || path == "/")
        return size + 1;
    // The path, the "/" and the NUL must fit whole: a path cut short names another folder.
    if (path.size() + 2 > static_cast<size_t>(size))
        return size + 1;
    std::memcpy(out, path.data(), path.size());
    out[path.size()] = '/';
    out[path.size() + 1] = '\0';
    return static_cast<int>(path.size() + 1);
}

namespace {

GSErrCode GetLibraries(GS::Array<API_LibraryInfo>* libraries, int32_t* embeddedIndex)
{
    return ACAPI_Environment(APIEnv_GetLibrariesID, libraries, embeddedIndex);
}

GSErrCode DownloadFolderLocation(IO::Location*& out)
{
    GS::Array<API_LibraryInfo> libraries;
    if (GetLibraries(&libraries, nullptr) != NoError)
        return NoError;

    SettingsManager& settings = SettingsManager::GetInstance();
    settings.SetDomain(Setting::Domain);
    const std::string defaultFolder = DefaultDownloadFolderPath();
    const auto stored = settings.GetStringValue(Setting::DefaultDownloadFolder, defaultFolder.c_str(), true);

    const IO::Location location(stored.get());
    const IO::Folder folder(location, IO::Folder::Create);
    if (folder.GetStatus() != NoError || !folder.IsWriteable())
        return ErrCode::General;

    out = new (std::nothrow) IO::Location(location);
    if (out == nullptr)
        return ErrCode::Memory;
    for (const auto& library : libraries)
        if (library.location == location)
            return NoError;

    libraries.Push(API_LibraryInfo {location, GS::UniString(KordelaFolderName), false});
    const GSErrCode handedBack = ACAPI_Environment(APIEnv_SetLibrariesID, &libraries);
#if KORDELA_KEEPS_OWN_LIBRARY_LIST
    // These hosts keep the list in a memory handle of their own and can fail to take it back.
    if (handedBack != NoError) {
        delete out;
        out = nullptr;
        return ErrCode::Memory;
    }
#else
    (void)handedBack;
#endif
    return NoError;
}

GSErrCode EmbeddedLocation(IO::Location*& out)
{
    GS::Array<API_LibraryInfo> libraries;
    int32_t embeddedIndex = -1;
    if (GetLibraries(&libraries, &embeddedIndex) != NoError)
        return NoError;
    // An index that names no library is treated like a failed list: no location.
    if (embeddedIndex < 0 || static_cast<USize>(embeddedIndex) >= libraries.GetSize())
        return NoError;
    out = new (std::nothrow) IO::Location(libraries[static_cast<UIndex>(embeddedIndex)].location);
    if (out == nullptr)
        return ErrCode::Memory;
    IO::Location subfolder(*out);
    subfolder.AppendToLocal(IO::Name(KordelaFolderName));
    const GSErrCode created = IO::fileSystem.CreateFolder(subfolder, IO::FileSystem::OnAccessDeniedIgnore);
    if (created == NoError || created == ErrCode::FolderExists)
        *out = subfolder;
    return NoError;
}

}  // namespace

GSErrCode GetLocation(IO::Location*& out, bool embedded)
{
    out = nullptr;
    return embedded ? EmbeddedLocation(out) : DownloadFolderLocation(out);
}

bool HasExtension(const char* name, const char* ext)
{
    if (name == nullptr || ext == nullptr)
        return false;
    const size_t n = std::strlen(name);
    const size_t k = std::strlen(ext);
    return n >= k + 1 && name[n - k - 1] == '.' && std::memcmp(name + n - k, ext, k) == 0;
}

bool IsGSM(const char* name)
{
    return HasExtension(name, "gsm");
}

char* escape(const char* s)
{
    if (s == nullptr)
        s = "";
    size_t blanks = 0;
    const size_t length = std::strlen(s);
    for (size_t i = 0; i < length; ++i)
        blanks += s[i] == ' ' ? 1 : 0;
    char* result = new char[length + blanks + 1]();
    char* at = result;
    for (size_t i = 0; i < length; ++i) {
        if (s[i] == ' ')
            *at++ = '\\';
        *at++ = s[i];
    }
    return result;
}
