// The host's add-on API as the add-on sees it: records, request codes, the table of host
// functions and the ACAPI_ calls that forward through it.
#pragma once

#include "GS.hpp"
#include "IO.hpp"

#include <cstdint>

#ifndef KORDELA_HOST_VERSION
#error "KORDELA_HOST_VERSION must be defined"
#endif

// ---------------------------------------------------------------------------------------
// Records

enum API_AddonType { APIAddon_DontRegister = 0, APIAddon_Normal = 1, APIAddon_Preload = 2 };

struct API_AddOnInfo {
#if KORDELA_HOST_VERSION >= 21
    GS::UniString name;
    GS::UniString description;
#else
    GS::String name;
    GS::String description;
#endif
};

struct API_EnvirParams {
    API_AddOnInfo addOnInfo;
};

struct API_MenuItemRef {
    short menuResID = 0;
    int32_t itemIndex = 0;
};

struct API_MenuParams {
    API_MenuItemRef menuItemRef;
};

// Project events; a handler gets one of them at a time.
enum API_NotifyEventID : int32_t {
    APINotify_New = 0x00000001,
    APINotify_NewAndReset = 0x00000002,
    APINotify_Open = 0x00000004,
    APINotify_Close = 0x00000008,
    APINotify_Quit = 0x00000040,
    APINotify_ChangeLibrary = 0x00080000,
    APINotify_All = -1
};

using APIMenuCommandProc = GSErrCode(const API_MenuParams* menuParams);
using APIProjectEventHandlerProc = GSErrCode(API_NotifyEventID notifID, int32_t param);

// Special folders of the host ('GSPF'). The numbering moved between host versions; each
// build asks under the numbers of its own host.
using API_SpecFolderID = int32_t;

// Request codes of ACAPI_Environment and ACAPI_Goodies.
constexpr int32_t APIEnv_GetSpecFolderID = FourCC("GSPF");
constexpr int32_t APIEnv_GetLibrariesID = FourCC("GLIB");
constexpr int32_t APIEnv_SetLibrariesID = FourCC("SLIB");
constexpr int32_t APIEnv_SetToolBoxModeID = FourCC("STBX");
constexpr int32_t APIEnv_ReloadLibrariesID = FourCC("LLIB");
constexpr int32_t APIAny_CheckLibPartSubtypeOfID = FourCC("CLPS");

// ---------------------------------------------------------------------------------------
// The table of host functions. The host hands it over with its size: an older host's
// shorter table leaves the later functions missing, and calling one of those answers
// ErrCode::MissingFunction.

struct API_HostTable {
    GSErrCode (*RegisterMenu)(short menuResId, short promptResId, int32_t menuCode, int32_t flags);
    GSErrCode (*InstallMenuHandler)(short menuResId, APIMenuCommandProc* handler);
    GSErrCode (*CatchProjectEvent)(int32_t eventMask, APIProjectEventHandlerProc* handler);
    GSErrCode (*Environment)(int32_t code, void* par1, void* par2, void* par3);
    GSErrCode (*Goodies)(int32_t code, void* par1, void* par2, void* par3, void* par4);
    GSErrCode (*WriteReport)(const char* utf8Text, bool withAlert);
    GSErrCode (*GetLocStr)(char* buffer, size_t bufferSize, short resId, short index);
    GSErrCode (*UnregisterModelessWindow)(int32_t referenceId);
    GSErrCode (*GetOwnResModule)(GSResModule* module);
};

// What the add-on exports to the host.
struct API_AddOnExports {
    uint32_t versionWord = 0;  // 0x00NN0001 for host NN
    int32_t buildNumber = 0;   // NN000
    API_AddonType (*checkEnvironment)(API_EnvirParams* envir) = nullptr;
    GSErrCode (*registerInterface)() = nullptr;
    GSErrCode (*initialize)() = nullptr;
    GSErrCode (*freeData)() = nullptr;
};

constexpr uint32_t AddOnVersionWord(int hostVersion)
{
    return (static_cast<uint32_t>(hostVersion) << 16) | 1u;
}

constexpr int32_t AddOnBuildNumber(int hostVersion)
{
    return hostVersion * 1000;
}

extern "C" {
using GetExportedFuncAddrsProc = GSErrCode(API_AddOnExports* exports);
using SetImportedFuncAddrsProc = GSErrCode(const API_HostTable* table, size_t tableSize);
}

// ---------------------------------------------------------------------------------------
// The add-on's four entry points, defined by the add-on.

API_AddonType CheckEnvironment(API_EnvirParams* envir);
GSErrCode RegisterInterface();
GSErrCode Initialize();
GSErrCode FreeData();

// ---------------------------------------------------------------------------------------
// Host calls.

GSErrCode ACAPI_Register_Menu(short menuResId, short promptResId, int32_t menuCode, int32_t flags);
GSErrCode ACAPI_Install_MenuHandler(short menuResId, APIMenuCommandProc* handler);
GSErrCode ACAPI_Notify_CatchProjectEvent(int32_t eventMask, APIProjectEventHandlerProc* handler);
GSErrCode ACAPI_Environment(int32_t code, void* par1 = nullptr, void* par2 = nullptr, void* par3 = nullptr);
GSErrCode ACAPI_Goodies(int32_t code, void* par1 = nullptr, void* par2 = nullptr, void* par3 = nullptr,
                        void* par4 = nullptr);
#if KORDELA_HOST_VERSION >= 21
GSErrCode ACAPI_WriteReport(const GS::UniString& text, bool withAlert);
#else
GSErrCode ACAPI_WriteReport(const char* text, bool withAlert);
#endif
// Item `index` of the add-on's string list `resId`, cut to fit the buffer.
GSErrCode ACAPI_Resource_GetLocStr(char* buffer, size_t bufferSize, short resId, short index);
GSErrCode ACAPI_UnregisterModelessWindow(int32_t referenceId);
GSResModule ACAPI_GetOwnResModule();
