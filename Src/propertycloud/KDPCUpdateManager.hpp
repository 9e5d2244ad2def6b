// The property-cloud update: collects the placed elements that carry clouds, lets the update
// page choose the clouds to bring to the service's editions, asks the service for them,
// rewrites the library parts and their placed instances, and shows the result page.
#pragma once

#include "KDPCUpdateInfo.hpp"

#include <memory>

class KDPCUpdateManager {
public:
    static KDPCUpdateManager& getInstance();

    void DoUpdate();
    GSErrCode ShowUpdateDialog();
    GSErrCode ShowResultDialog();

    // "GUID,cloud,edition,...;" per product URL, in the order of collection.
    std::unique_ptr<char[]> GetUpdateInfo();
    // Applies the page's choice, records of the update list's shape, to the new editions.
    void UpdateUpdateInfo(const char* items);
    int UpdateKDPC(const char* items);
    // A JSON array: one object per product of the updated, then of the not-updated clouds.
    std::unique_ptr<char[]> GetUpdateResultInfo();

    int RetrieveUpdateInformation(KDPCUpdateDataTable* answers, const CloudIdsByProduct* clouds);
    int UpdateLibParts(const KDPCUpdateDataTable* answers, const CloudIdsByProduct* clouds,
                       const LibPartsByProduct* libParts, CloudIdsByProduct* updated, CloudIdsByProduct* notUpdated);
    // 0 when the part was stored with the cloud (its instances may still have been skipped),
    // NotStored when nothing was written to it.
    int UpdateALibpart(int libPartIndex, const KDPCInfo* record);
    static constexpr int NotStored = -1;

    // The cloud update writes and merges its records the way attaching a cloud does.
    static void AddParameter(API_AddParType* param, short index, API_AddParID type, unsigned short flags,
                             const char* name, const char* description, double value, const char* text, bool utf8)
    {
        KDPCManager::NAddParameter(param, index, type, flags, name, description, value, text, utf8);
    }
    static int CollectKDPCInfoOfLibPart(int libPartIndex, const char* prefix, const KDPCInfo& info,
                                        GS::Array<int>* missing)
    {
        return KDPCManager::CollectKDPCInfoOfLibPart(libPartIndex, prefix, info, missing);
    }
    static int UpdateKDPCMemo(API_AddParType**& params, int32_t& count, const char* prefix, const KDPCInfo& info,
                              const GS::Array<int>& missing)
    {
        return KDPCManager::UpdateKDPCMemo(params, count, prefix, info, missing);
    }

    KDPCUpdateInfo updateInfo;
    CloudIdsByProduct updatedClouds;
    CloudIdsByProduct notUpdatedClouds;

private:
    KDPCUpdateManager() = default;
};
