// The object update: collects the placed Kordela elements, lets the update page choose the
// products, asks the service for their parameters, rewrites their library parts and placed
// elements, and shows the result page.
#pragma once

#include "UpdateInfo.hpp"

#include <memory>

class UpdateManager {
public:
    static UpdateManager& getInstance();

    void DoUpdate();
    GSErrCode ShowUpdateDialog();
    GSErrCode ShowResultDialog();

    // "GUID,edition;" per product, in the order the products were collected.
    std::unique_ptr<char[]> GetUpdateInfo();
    // Applies the page's choice: records "GUID,number,flag" separated by ";".
    void UpdateUpdateInfo(const char* items);
    int UpdateProducts(const char* items);
    // A JSON array with one object per updated, then per failed product.
    std::unique_ptr<char[]> GetUpdateResultInfo();

    int RetrieveUpdateInformation(UpdateDataTable* table, const GS::Array<GS::UniString>* products);
    int UpdateLibParts(const UpdateDataTable* data, const LibPartsByProduct* libParts,
                       GS::Array<GS::UniString>* updated, GS::Array<GS::UniString>* notUpdated, int* updatedCount,
                       int* processedCount);
    bool UpdateALibpart(int libPartIndex, const UpdateEntries& entries);
    int UpdateInstances(const UpdateDataTable* data, const ElementsByProduct* elements, int* changedCount);

    UpdateInfo updateInfo;
    GS::Array<GS::UniString> updatedProductGuids;
    GS::Array<GS::UniString> notUpdatedProductGuids;
    int updatedLibPartCount = 0;
    int processedLibPartCount = 0;

private:
    UpdateManager() = default;
};
