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
