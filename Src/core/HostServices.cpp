#include "HostServices.hpp"

#include "HostVersion.hpp"
#include "RS.hpp"

#include <cstring>

API_SpecFolderID SpecialFolderId(SpecialFolder folder)
{
    constexpr bool oldNumbering = HostHasOldSpecialFolderNumbers;
    switch (folder) {
    case SpecialFolder::DownloadBase: return oldNumbering ? 5 : 6;
    case SpecialFolder::TemporaryBase: return oldNumbering ? 6 : 7;
    case SpecialFolder::Help: return oldNumbering ? 11 : 12;
    }
    return 0;
}

GSErrCode GetSpecialFolder(SpecialFolder folder, IO::Location* location)
{
    API_SpecFolderID id = SpecialFolderId(folder);
    return ACAPI_Environment(APIEnv_GetSpecFolderID, &id, location);
}

std::string DefaultDownloadFolderPath()
{
    IO::Location folder;
    GetSpecialFolder(SpecialFolder::DownloadBase, &folder);
    folder.AppendToLocal(IO::Name(KordelaFolderName));
    return folder.ToUTF8POSIXPath();
}

std::string VisibleOnOneLine(std::string text)
{
    for (char& c : text)
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return text;
}

namespace {
void WriteReport(const char* text, bool withAlert)
{
#if KORDELA_REPORTS_UNI_STRINGS
    ACAPI_WriteReport(GS::UniString(text), withAlert);
#else
    ACAPI_WriteReport(text, withAlert);
#endif
}
}  // namespace

void ReportAlert(const char* text)
{
    WriteReport(text, true);
}

void ReportLine(const std::string& text)
{
    WriteReport(text.c_str(), false);
}

std::string LocString(short resId, short index)
{
    char buffer[512] = {};
    if (ACAPI_Resource_GetLocStr(buffer, sizeof buffer, resId, index) != NoError)
        return {};
    return buffer;
}

OwnResModuleScope::OwnResModuleScope()
{
#if !KORDELA_PASSES_RESOURCE_MODULE
    previous_ = RSGetCurrentModule();
    RSSetCurrentModule(ACAPI_GetOwnResModule());
#endif
}

OwnResModuleScope::~OwnResModuleScope()
{
#if !KORDELA_PASSES_RESOURCE_MODULE
    RSSetCurrentModule(previous_);
#endif
}
