// The add-on's side of the host boundary: the two exported functions and the forwarding
// of every ACAPI_ call through the host's table. No exception crosses this boundary.
#include "ACAPI.hpp"

#include <cstring>
#include <exception>

namespace {

API_HostTable hostTable {};
bool tableSet = false;

template <auto Member, class... Args>
GSErrCode CallHost(Args... args)
{
    if (!tableSet)
        return ErrCode::General;
    const auto function = hostTable.*Member;
    if (function == nullptr)
        return ErrCode::MissingFunction;
    try {
        return function(args...);
    } catch (...) {
        return ErrCode::General;
    }
}

template <class F>
GSErrCode Guarded(F entryPoint)
{
    if (!tableSet)
        return ErrCode::General;
    try {
        return entryPoint();
    } catch (...) {
        return ErrCode::General;
    }
}

API_AddonType GuardedCheckEnvironment(API_EnvirParams* envir)
{
    if (!tableSet)
        return APIAddon_DontRegister;
    try {
        return CheckEnvironment(envir);
    } catch (...) {
        return APIAddon_DontRegister;
    }
}

GSErrCode GuardedRegisterInterface()
{
    return Guarded([] { return RegisterInterface(); });
}

GSErrCode GuardedInitialize()
{
    return Guarded([] { return Initialize(); });
}

GSErrCode GuardedFreeData()
{
    return Guarded([] { return FreeData(); });
}

}  // namespace

extern "C" __attribute__((visibility("default"))) GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports)
{
    if (exports == nullptr)
        return ErrCode::General;
    exports->versionWord = AddOnVersionWord(KORDELA_HOST_VERSION);
    exports->buildNumber = AddOnBuildNumber(KORDELA_HOST_VERSION);
    exports->checkEnvironment = GuardedCheckEnvironment;
    exports->registerInterface = GuardedRegisterInterface;
    exports->initialize = GuardedInitialize;
    exports->freeData = GuardedFreeData;
    return NoError;
}

extern "C" __attribute__((visibility("default"))) GSErrCode SetImportedFuncAddrs(const API_HostTable* table,
                                                                                 size_t tableSize)
{
    hostTable = API_HostTable {};
    tableSet = false;
    if (table == nullptr)
        return ErrCode::General;
    // A shorter table than ours comes from an older host: its missing tail stays null.
    std::memcpy(&hostTable, table, tableSize < sizeof hostTable ? tableSize : sizeof hostTable);
    tableSet = true;
    return NoError;
}

GSErrCode ACAPI_Register_Menu(short menuResId, short promptResId, int32_t menuCode, int32_t flags)
{
    return CallHost<&API_HostTable::RegisterMenu>(menuResId, promptResId, menuCode, flags);
}

GSErrCode ACAPI_Install_MenuHandler(short menuResId, APIMenuCommandProc* handler)
{
    return CallHost<&API_HostTable::InstallMenuHandler>(menuResId, handler);
}

GSErrCode ACAPI_Notify_CatchProjectEvent(int32_t eventMask, APIProjectEventHandlerProc* handler)
{
    return CallHost<&API_HostTable::CatchProjectEvent>(eventMask, handler);
}

GSErrCode ACAPI_Environment(int32_t code, void* par1, void* par2, void* par3)
{
    return CallHost<&API_HostTable::Environment>(code, par1, par2, par3);
}

GSErrCode ACAPI_Goodies(int32_t code, void* par1, void* par2, void* par3, void* par4)
{
    return CallHost<&API_HostTable::Goodies>(code, par1, par2, par3, par4);
}

#if KORDELA_HOST_VERSION >= 21
GSErrCode ACAPI_WriteReport(const GS::UniString& text, bool withAlert)
{
    const std::string utf8 = text.ToUTF8();
    return CallHost<&API_HostTable::WriteReport>(utf8.c_str(), withAlert);
}
#else
GSErrCode ACAPI_WriteReport(const char* text, bool withAlert)
{
    return CallHost<&API_HostTable::WriteReport>(text != nullptr ? text : "", withAlert);
}
#endif

GSErrCode ACAPI_Resource_GetLocStr(char* buffer, size_t bufferSize, short resId, short index)
{
    return CallHost<&API_HostTable::GetLocStr>(buffer, bufferSize, resId, index);
}

GSErrCode ACAPI_UnregisterModelessWindow(int32_t referenceId)
{
    return CallHost<&API_HostTable::UnregisterModelessWindow>(referenceId);
}

GSResModule ACAPI_GetOwnResModule()
{
    GSResModule module = 0;
    return CallHost<&API_HostTable::GetOwnResModule>(&module) == NoError ? module : 0;
}

GSErrCode ACAPI_LibPart_GetNum(int32_t* count)
{
    return CallHost<&API_HostTable::LibPartGetNum>(count);
}

GSErrCode ACAPI_LibPart_Get(API_LibPart* libPart)
{
    return CallHost<&API_HostTable::LibPartGet>(libPart);
}

GSErrCode ACAPI_LibPart_GetParams(int32_t libInd, double* a, double* b, int32_t* addParNum, API_AddParType*** addPars)
{
    return CallHost<&API_HostTable::LibPartGetParams>(libInd, a, b, addParNum, addPars);
}

GSErrCode ACAPI_LibPart_Search(API_LibPart* libPart, bool warnings, bool wideSearch)
{
    return CallHost<&API_HostTable::LibPartSearch>(libPart, warnings, wideSearch);
}

GSErrCode ACAPI_LibPart_Register(API_LibPart* libPart)
{
    return CallHost<&API_HostTable::LibPartRegister>(libPart);
}

GSErrCode ACAPI_LibPart_GetDetails(int32_t libInd, API_LibPartDetails* details)
{
    return CallHost<&API_HostTable::LibPartGetDetails>(libInd, details);
}

GSErrCode ACAPI_LibPart_GetSect_ParamDef(const API_LibPart* libPart, API_AddParType** addPars, double* a, double* b,
                                         GSHandle* sectionHdl)
{
    return CallHost<&API_HostTable::LibPartGetSectParamDef>(libPart, addPars, a, b, sectionHdl);
}

GSErrCode ACAPI_LibPart_SetDetails_ParamDef(const API_LibPart* libPart, API_AddParType** addPars,
                                            const API_LibPartDetails* details)
{
    return CallHost<&API_HostTable::LibPartSetDetailsParamDef>(libPart, addPars, details);
}

GSErrCode ACAPI_LibPart_UpdateSection(int32_t libInd, const API_LibPartSection* section, GSHandle sectionHdl)
{
    return CallHost<&API_HostTable::LibPartUpdateSection>(libInd, section, sectionHdl);
}

// Parameter lists live in the frameworks' shared memory handles, so the add-on frees them itself.
GSErrCode ACAPI_DisposeAddParHdl(API_AddParType*** addPars)
{
    if (addPars == nullptr || *addPars == nullptr)
        return NoError;
    GSHandle handle = reinterpret_cast<GSHandle>(*addPars);
    const size_t count = BMhGetSize(handle) / sizeof(API_AddParType);
    for (size_t i = 0; i < count; ++i)
        BMhKill(&(**addPars)[i].value.array);
    BMhKill(&handle);
    *addPars = nullptr;
    return NoError;
}

GSErrCode ACAPI_Element_GetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids)
{
    return CallHost<&API_HostTable::ElementGetElemList>(typeID, guids);
}

GSErrCode ACAPI_Element_Get(API_Element* element)
{
    return CallHost<&API_HostTable::ElementGet>(element);
}

GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo, uint64_t mask)
{
    return CallHost<&API_HostTable::ElementGetMemo>(&guid, memo, mask);
}

GSErrCode ACAPI_Element_ChangeMemo(const API_Guid& guid, uint64_t mask, const API_ElementMemo* memo)
{
    return CallHost<&API_HostTable::ElementChangeMemo>(&guid, mask, memo);
}

GSErrCode ACAPI_Element_Change(API_Element* element, const API_Element* mask, const API_ElementMemo* memo,
                               uint64_t memoMask, bool withDelete)
{
    return CallHost<&API_HostTable::ElementChange>(element, mask, memo, memoMask, withDelete);
}

GSErrCode ACAPI_Element_GetDefaults(API_Element* element, API_ElementMemo* memo)
{
    return CallHost<&API_HostTable::ElementGetDefaults>(element, memo);
}

GSErrCode ACAPI_Element_ChangeDefaults(API_Element* element, API_ElementMemo* memo, const API_Element* mask)
{
    return CallHost<&API_HostTable::ElementChangeDefaults>(element, memo, mask);
}

bool ACAPI_Element_Filter(const API_Guid& guid, uint32_t filterBits)
{
    return CallHost<&API_HostTable::ElementFilter>(&guid, filterBits) == NoError;
}

GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo)
{
    if (memo == nullptr)
        return NoError;
    return ACAPI_DisposeAddParHdl(&memo->params);
}

GSErrCode ACAPI_Selection_Get(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable)
{
    return CallHost<&API_HostTable::SelectionGet>(info, neigs, onlyEditable);
}

#if KORDELA_HOST_VERSION >= 19
namespace {
GSErrCode RunUndoableCommand(void* context)
{
    try {
        return (*static_cast<const std::function<GSErrCode()>*>(context))();
    } catch (...) {
        return ErrCode::General;
    }
}
}  // namespace

GSErrCode ACAPI_CallUndoableCommand(const GS::UniString& undoString, const std::function<GSErrCode()>& command)
{
    const std::string name = undoString.ToUTF8();
    return CallHost<&API_HostTable::CallUndoableCommand>(name.c_str(), &RunUndoableCommand,
                                                         const_cast<void*>(static_cast<const void*>(&command)));
}
#else
GSErrCode ACAPI_OpenUndoableSession(const GS::UniString& undoString)
{
    const std::string name = undoString.ToUTF8();
    return CallHost<&API_HostTable::OpenUndoableSession>(name.c_str());
}

GSErrCode ACAPI_CloseUndoableSession()
{
    return CallHost<&API_HostTable::CloseUndoableSession>();
}
#endif
