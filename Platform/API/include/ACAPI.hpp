// The host's add-on API as the add-on sees it: records, request codes, the table of host
// functions and the ACAPI_ calls that forward through it.
#pragma once

#include "BM.hpp"
#include "GS.hpp"
#include "IO.hpp"

#include <cstdint>
#include <functional>

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
// Project records: GUIDs, elements, parameters, library parts, libraries, selection.

// An element's identity, as 16 bytes in the order of its text form.
struct API_Guid {
    unsigned char bytes[16] = {};
    friend bool operator==(const API_Guid& a, const API_Guid& b)
    {
        for (size_t i = 0; i < sizeof a.bytes; ++i)
            if (a.bytes[i] != b.bytes[i])
                return false;
        return true;
    }
};
API_Guid APIGuidFromString(const char* text);         // the null GUID for anything malformed
GS::UniString APIGuidToString(const API_Guid& guid);  // upper case, without braces

// Element types by number.
using API_ElemTypeID = int32_t;
constexpr API_ElemTypeID API_ZombieElemID = 0;
constexpr API_ElemTypeID API_WallID = 1;
constexpr API_ElemTypeID API_WindowID = 4;
constexpr API_ElemTypeID API_DoorID = 5;
constexpr API_ElemTypeID API_ObjectID = 6;
constexpr API_ElemTypeID API_LampID = 7;
constexpr API_ElemTypeID API_ZoneID = 14;
constexpr API_ElemTypeID API_SkylightID = 44;

using API_ElemVariationID = int32_t;
constexpr API_ElemVariationID APIVarId_Generic = 0;

struct API_Elem_Head {
    API_ElemTypeID typeID = API_ZombieElemID;
    API_ElemVariationID variationID = APIVarId_Generic;
    API_Guid guid;
    int32_t layer = 0;
};

// Windows, doors and skylights keep their library part here.
struct API_OpeningBaseType {
    int32_t libInd = 0;
};
struct API_OpeningType {
    API_OpeningBaseType openingBase;
    double width = 0;
    double height = 0;
};
// Objects and lamps keep their library part here.
struct API_ObjectType {
    int32_t libInd = 0;
    double xRatio = 0;
    double yRatio = 0;
};

struct API_Element {
    API_Elem_Head header;
    API_OpeningType window;
    API_OpeningType door;
    API_OpeningType skylight;
    API_ObjectType object;
    API_ObjectType lamp;
};

// Parameter types and flags of library parts and placed elements.
using API_AddParID = int32_t;
constexpr API_AddParID APIParT_Integer = 1;
constexpr API_AddParID APIParT_RealNum = 4;
constexpr API_AddParID APIParT_CString = 12;
constexpr API_AddParID APIParT_Separator = 14;
constexpr API_AddParID APIParT_Title = 15;

constexpr int32_t APIParFlg_Child = 0x01;
constexpr int32_t APIParFlg_BoldName = 0x02;
constexpr int32_t APIParFlg_Fixed = 0x40;
constexpr int32_t APIParFlg_Hidden = 0x80;

constexpr int32_t API_ParSimple = 0;
constexpr int32_t API_ParArray = 2;

constexpr size_t API_NameLen = 32;
constexpr size_t API_UAddParStrLen = 256;
constexpr size_t API_UAddParDescLen = 256;

// One parameter. An array parameter (typeMod API_ParArray) keeps dim1 x dim2 cells of
// doubles, row by row, in `value.array`; the parameter list owns that handle.
struct API_AddParType {
    API_AddParID typeID = 0;
    int32_t typeMod = API_ParSimple;
    char name[API_NameLen] = {};
    char16_t uDescname[API_UAddParDescLen] = {};
    int32_t index = 0;
    int32_t flags = 0;
    int32_t dim1 = 0;
    int32_t dim2 = 0;
    struct {
        double real = 0;
        char16_t uStr[API_UAddParStrLen] = {};
        GSHandle array = nullptr;
    } value;
};

struct API_ElementMemo {
    API_AddParType** params = nullptr;
};

// Memo parts handed to ACAPI_Element_GetMemo/ChangeMemo. Each host version takes its own
// "everything" mask; the parameter list is one of its bits.
constexpr uint64_t APIMemoMask_AddPars = 0x10;
#if KORDELA_HOST_VERSION >= 21
constexpr uint64_t APIMemoMask_All = 0x7FFFFFBFFFFFFFull;
#elif KORDELA_HOST_VERSION >= 19
constexpr uint64_t APIMemoMask_All = 0x1EFFFFFFFull;
#else
constexpr uint64_t APIMemoMask_All = 0xEFFFFFFFull;
#endif

// Library-part types by number.
using API_LibTypeID = int32_t;
constexpr API_LibTypeID APILib_SpecID = 1;
constexpr API_LibTypeID APILib_WindowID = 2;
constexpr API_LibTypeID APILib_DoorID = 3;
constexpr API_LibTypeID APILib_ObjectID = 4;
constexpr API_LibTypeID APILib_LampID = 5;
constexpr API_LibTypeID APILib_RoomID = 6;
constexpr API_LibTypeID APILib_PropertyID = 7;
constexpr API_LibTypeID APILib_LabelID = 9;
constexpr API_LibTypeID APILib_SkylightID = 13;

constexpr size_t API_UniqueIDLen = 128;
constexpr size_t API_UniLongNameLen = 256;

struct API_LibPart {
    API_LibTypeID typeID = 0;
    int32_t index = 0;
    char16_t docu_UName[API_UniLongNameLen] = {};
    char ownUnID[API_UniqueIDLen] = {};
    char parentUnID[API_UniqueIDLen] = {};
    char16_t file_UName[API_UniLongNameLen] = {};  // the part's file name, without its folders
    bool missingDef = false;                       // the part's file is gone
    bool isTemplate = false;                       // a template, not a part of its own
    bool isMacro = false;                          // called by other parts, never placed by itself
    bool isPlaceable = false;                      // a tool can place it
    // Not owned: when set, ACAPI_LibPart_Get fills it and ACAPI_LibPart_Register reads it.
    IO::Location* location = nullptr;
};

struct API_LibPartDetails {
    double a = 0;
    double b = 0;
    bool autoHotspot = false;
};

// The part's parameter section ('PARD') as handed to ACAPI_LibPart_UpdateSection.
constexpr int32_t API_SectParamDef = FourCC("PARD");
struct API_LibPartSection {
    int32_t sectType = 0;
    int32_t subIdent = 0;
};

struct API_LibraryInfo {
    IO::Location location;
    GS::UniString name;
    bool readOnly = false;
};

// The selection: its kind and one neighbour record per selected element.
enum API_SelTypeID { API_SelEmpty = 0, API_SelElems = 1 };
struct API_SelectionInfo {
    API_SelTypeID typeID = API_SelEmpty;
    int32_t sel_nElem = 0;
    int32_t sel_nElemEdit = 0;
};
struct API_Neig {
    API_Guid guid;
    int32_t neigID = 0;
    int32_t inIndex = 0;
};

struct API_ToolBoxItem {
    API_ElemTypeID typeID = API_ZombieElemID;
    API_ElemVariationID variationID = APIVarId_Generic;
};

// ACAPI_Element_Filter: the element may be changed by the user now.
constexpr uint32_t APIFilt_IsEditable = 0x0001;

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

    // Library parts
    GSErrCode (*LibPartGetNum)(int32_t* count);
    GSErrCode (*LibPartGet)(API_LibPart* libPart);
    GSErrCode (*LibPartGetParams)(int32_t libInd, double* a, double* b, int32_t* addParNum, API_AddParType*** addPars);
    // With `wideSearch`, a record that carries only a file name finds the loaded part of that file.
    GSErrCode (*LibPartSearch)(API_LibPart* libPart, bool warnings, bool wideSearch);
    GSErrCode (*LibPartRegister)(API_LibPart* libPart);
    GSErrCode (*LibPartGetDetails)(int32_t libInd, API_LibPartDetails* details);
    GSErrCode (*LibPartGetSectParamDef)(const API_LibPart* libPart, API_AddParType** addPars, double* a, double* b,
                                        GSHandle* sectionHdl);
    GSErrCode (*LibPartSetDetailsParamDef)(const API_LibPart* libPart, API_AddParType** addPars,
                                           const API_LibPartDetails* details);
    GSErrCode (*LibPartUpdateSection)(int32_t libInd, const API_LibPartSection* section, GSHandle sectionHdl);

    // Placed elements and the selection
    GSErrCode (*ElementGetElemList)(API_ElemTypeID typeID, GS::Array<API_Guid>* guids);
    GSErrCode (*ElementGet)(API_Element* element);
    GSErrCode (*ElementGetMemo)(const API_Guid* guid, API_ElementMemo* memo, uint64_t mask);
    GSErrCode (*ElementChangeMemo)(const API_Guid* guid, uint64_t mask, const API_ElementMemo* memo);
    GSErrCode (*ElementChange)(API_Element* element, const API_Element* mask, const API_ElementMemo* memo,
                               uint64_t memoMask, bool withDelete);
    GSErrCode (*ElementGetDefaults)(API_Element* element, API_ElementMemo* memo);
    GSErrCode (*ElementChangeDefaults)(API_Element* element, API_ElementMemo* memo, const API_Element* mask);
    GSErrCode (*ElementFilter)(const API_Guid* guid, uint32_t filterBits);
    GSErrCode (*SelectionGet)(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable);

    // Undo: a command run as one step (hosts 19 to 21), or a named step opened and closed around it.
    GSErrCode (*CallUndoableCommand)(const char* name, GSErrCode (*command)(void* context), void* context);
    GSErrCode (*OpenUndoableSession)(const char* name);
    GSErrCode (*CloseUndoableSession)();
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

GSErrCode ACAPI_LibPart_GetNum(int32_t* count);
GSErrCode ACAPI_LibPart_Get(API_LibPart* libPart);
GSErrCode ACAPI_LibPart_GetParams(int32_t libInd, double* a, double* b, int32_t* addParNum, API_AddParType*** addPars);
GSErrCode ACAPI_LibPart_Search(API_LibPart* libPart, bool warnings, bool wideSearch = false);
GSErrCode ACAPI_LibPart_Register(API_LibPart* libPart);
GSErrCode ACAPI_LibPart_GetDetails(int32_t libInd, API_LibPartDetails* details);
GSErrCode ACAPI_LibPart_GetSect_ParamDef(const API_LibPart* libPart, API_AddParType** addPars, double* a, double* b,
                                         GSHandle* sectionHdl);
GSErrCode ACAPI_LibPart_SetDetails_ParamDef(const API_LibPart* libPart, API_AddParType** addPars,
                                            const API_LibPartDetails* details);
GSErrCode ACAPI_LibPart_UpdateSection(int32_t libInd, const API_LibPartSection* section, GSHandle sectionHdl);
// Releases a parameter list and the array handles its records own.
GSErrCode ACAPI_DisposeAddParHdl(API_AddParType*** addPars);

GSErrCode ACAPI_Element_GetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids);
GSErrCode ACAPI_Element_Get(API_Element* element);
GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo, uint64_t mask = APIMemoMask_All);
GSErrCode ACAPI_Element_ChangeMemo(const API_Guid& guid, uint64_t mask, const API_ElementMemo* memo);
GSErrCode ACAPI_Element_Change(API_Element* element, const API_Element* mask, const API_ElementMemo* memo,
                               uint64_t memoMask, bool withDelete);
GSErrCode ACAPI_Element_GetDefaults(API_Element* element, API_ElementMemo* memo);
GSErrCode ACAPI_Element_ChangeDefaults(API_Element* element, API_ElementMemo* memo, const API_Element* mask);
bool ACAPI_Element_Filter(const API_Guid& guid, uint32_t filterBits);
GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo);
// 0x810600CE when nothing is selected.
GSErrCode ACAPI_Selection_Get(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable);

#if KORDELA_HOST_VERSION >= 19
GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoString, const std::function<GSErrCode()>& command);
#else
GSErrCode ACAPI_OpenUndoableSession(const GS::UniString& undoString);
GSErrCode ACAPI_CloseUndoableSession();
#endif
