#include "BridgeFunctions.hpp"

#include "DownloadManager.hpp"
#include "HostServices.hpp"
#include "KDPCManager.hpp"
#include "KDPCUpdateManager.hpp"
#include "ScriptCalls.hpp"
#include "UpdateManager.hpp"

namespace {
// Nothing may escape into the page's script call: a call that throws answers what
// `failed` answers (which may tell the user first).
template <class Call, class Failed>
auto Guarded(Call call, Failed failed) -> decltype(call())
{
    try {
        return call();
    } catch (...) {
        return failed();
    }
}

// A failure of a cloud call is a modification error.
template <class Call>
long GuardedCloudCall(Call call)
{
    return Guarded(call, [] {
        ReportAlert(ModificationErrorMessage().c_str());
        return KDPCResult::ModificationFailed;
    });
}

std::unique_ptr<char[]> NoText()
{
    return nullptr;
}
}  // namespace

// The page hands the cloud id first; the manager takes the library part first.
long AddKDPC(int cloudId, int libPartIndex)
{
    return GuardedCloudCall([&] { return KDPCManager::AddKDPCParams(libPartIndex, cloudId); });
}

long LinkKDPC(int cloudId, int libPartIndex)
{
    return GuardedCloudCall([&] { return KDPCManager::LinkKDPCParams(libPartIndex, cloudId); });
}

long UnlinkKDPC(int cloudId, int libPartIndex)
{
    return GuardedCloudCall([&] { return KDPCManager::UnlinkKDPCParams(libPartIndex, cloudId); });
}

// Nothing may escape into the page's script call; a failed step answers no text.
std::unique_ptr<char[]> GetUpdateInfo()
{
    return Guarded([] { return UpdateManager::getInstance().GetUpdateInfo(); }, NoText);
}

std::unique_ptr<char[]> GetUpdateResultInfo()
{
    return Guarded([] { return UpdateManager::getInstance().GetUpdateResultInfo(); }, NoText);
}

long UpdateProducts(char* items)
{
    return Guarded([&] { return UpdateManager::getInstance().UpdateProducts(items); },
                   [] {
                       ReportLine("The object update stopped unexpectedly.");
                       return -1;
                   });
}

std::unique_ptr<char[]> GetKDPCUpdateInfo()
{
    return Guarded([] { return KDPCUpdateManager::getInstance().GetUpdateInfo(); }, NoText);
}

std::unique_ptr<char[]> GetKDPCUpdateResultInfo()
{
    return Guarded([] { return KDPCUpdateManager::getInstance().GetUpdateResultInfo(); }, NoText);
}

long UpdateKDPC(char* items)
{
    return Guarded([&] { return KDPCUpdateManager::getInstance().UpdateKDPC(items); },
                   [] {
                       ReportAlert("The property-cloud update stopped unexpectedly.");
                       return -1;
                   });
}

long DownloadProgress()
{
    return DownloadManager::getInstance().Continue();
}

long DownloadCancel()
{
    DownloadManager::getInstance().Cancel();
    return 0;
}

void RegisterBridgeDispatch()
{
    ScriptCalls calls;
    calls.addKDPC = AddKDPC;
    calls.linkKDPC = LinkKDPC;
    calls.unlinkKDPC = UnlinkKDPC;
    calls.getUpdateInfo = GetUpdateInfo;
    calls.getUpdateResultInfo = GetUpdateResultInfo;
    calls.updateProducts = UpdateProducts;
    calls.getKDPCUpdateInfo = GetKDPCUpdateInfo;
    calls.getKDPCUpdateResultInfo = GetKDPCUpdateResultInfo;
    calls.updateKDPC = UpdateKDPC;
    RegisterScriptCalls(std::move(calls));
}
