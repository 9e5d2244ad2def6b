#include "BridgeFunctions.hpp"

#include "DownloadManager.hpp"
#include "HostServices.hpp"
#include "KDPCManager.hpp"
#include "KDPCUpdateManager.hpp"
#include "ScriptCalls.hpp"
#include "UpdateManager.hpp"

namespace {
// Nothing may escape into the page's script call: a failure there is a modification error.
template <class Call>
long GuardedCloudCall(Call call)
{
    try {
        return call();
    } catch (...) {
        ReportAlert(ModificationErrorMessage().c_str());
        return KDPCResult::ModificationFailed;
    }
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
    try {
        return UpdateManager::getInstance().GetUpdateInfo();
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<char[]> GetUpdateResultInfo()
{
    try {
        return UpdateManager::getInstance().GetUpdateResultInfo();
    } catch (...) {
        return nullptr;
    }
}

long UpdateProducts(char* items)
{
    try {
        return UpdateManager::getInstance().UpdateProducts(items);
    } catch (...) {
        ReportUpdateProblem("The object update stopped unexpectedly.");
        return -1;
    }
}

std::unique_ptr<char[]> GetKDPCUpdateInfo()
{
    try {
        return KDPCUpdateManager::getInstance().GetUpdateInfo();
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<char[]> GetKDPCUpdateResultInfo()
{
    try {
        return KDPCUpdateManager::getInstance().GetUpdateResultInfo();
    } catch (...) {
        return nullptr;
    }
}

long UpdateKDPC(char* items)
{
    try {
        return KDPCUpdateManager::getInstance().UpdateKDPC(items);
    } catch (...) {
        ReportAlert("The property-cloud update stopped unexpectedly.");
        return -1;
    }
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
