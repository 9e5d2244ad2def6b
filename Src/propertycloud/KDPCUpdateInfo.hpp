// The property-cloud update's records: the placed elements that carry clouds with the
// editions they hold, and what the service sends for each chosen cloud.
#pragma once

#include "KDPCManager.hpp"
#include "UpdateData.hpp"

#include <memory>

// Cloud id to edition; each id once, iterated in the order the ids were first added.
using CloudEditions = GS::HashTable<int, int>;
using CloudIdsByProduct = GS::HashTable<GS::UniString, GS::Array<int>>;

// One property of a cloud, or the cloud's title (first, without a value).
using KDPCUpdateDataEntry = KDPCManager::KDPCParamType;

// One cloud of one product as the service returned it for the update.
class KDPCInfo : public KDPCManager::KDPCInfo {
public:
    KDPCInfo() = default;
    KDPCInfo(const KDPCInfo&) = delete;
    KDPCInfo& operator=(const KDPCInfo&) = delete;
    virtual ~KDPCInfo() = default;

    int32_t cloudId = 0;
    int32_t editionNumber = -1;  // -1: the answer carried no edition
    GS::Array<KDPCUpdateDataEntry>& entries = params;
};

// The service's answer for one product: its clouds by id.
struct KDPCUpdateData {
    virtual ~KDPCUpdateData() = default;
    GS::HashTable<int, std::shared_ptr<KDPCInfo>> clouds;
};

using KDPCUpdateDataTable = GS::HashTable<GS::UniString, std::shared_ptr<KDPCUpdateData>>;

// One row per collected element, in the order of collection.
class KDPCUpdateInfo {
public:
    virtual ~KDPCUpdateInfo() = default;

    // A fresh collection of the placed objects, lamps, windows, doors and skylights that carry
    // a product URL and "KDPC_HNDL" (only the selected ones when there is a selection). Leaves
    // the collection alone when the selection cannot be read.
    void Init();
    void Clear();
    // Appends a row and merges its editions into its URL's table.
    void AddRow(const API_Guid& element, const GS::UniString& productGuid, const GS::UniString& url,
                const CloudEditions& editions, int libPartIndex);

    void SetNewEditionNumbersForProductGuid(const GS::UniString& productGuid, int cloudId, int edition);
    void GetUpdatableProductGuidsAndKDPCes(CloudIdsByProduct* clouds) const;
    void GetUpdatableObjectsAndLibParts(ElementsByProduct* objects, LibPartsByProduct* libParts) const;
    const GS::HashTable<GS::UniString, std::shared_ptr<CloudEditions>>&
    GetDistinctProductGuidsWithMinimalEditionNumber() const
    {
        return minimalEditionsByUrl;
    }

    GS::Array<API_Guid> elementGuids;
    GS::Array<GS::UniString> productGuids;
    GS::Array<std::shared_ptr<CloudEditions>> currentEditions;
    GS::Array<std::shared_ptr<CloudEditions>> newEditions;
    GS::Array<int> libPartIndices;
    // The first row of a URL lends its current-edition table as the URL's merged table:
    // merging later rows changes that row's current editions too. A cloud that the first
    // row lacks enters with the edition -999.
    GS::HashTable<GS::UniString, std::shared_ptr<CloudEditions>> minimalEditionsByUrl;
    GS::HashTable<GS::UniString, GS::Array<int>> libPartsByUrl;

private:
    // The clouds of the row whose new edition exceeds its current one, in table order.
    GS::Array<int> UpdatableClouds(UIndex row) const;
    template <class T>
    void GroupUpdatable(const GS::Array<T>& values, GS::HashTable<GS::UniString, GS::Array<T>>* table) const;
};

constexpr int UnknownCloudEdition = -999;

// The clouds of a "KDPC_HNDL": each id with the edition of its first row. Rows whose id is
// no cloud id are left out; a row without an edition cell has the edition -1.
CloudEditions ReadCloudEditions(API_AddParType& cloudArray);
