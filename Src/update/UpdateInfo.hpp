// The placed Kordela elements of one object update: one row per element, with its product,
// its edition, the edition the update page offers and whether it is to be updated.
#pragma once

#include "UpdateData.hpp"

#include <unordered_map>
#include <vector>

class UpdateInfo {
public:
    virtual ~UpdateInfo() = default;

    // A fresh collection of the placed objects, lamps, windows, doors and skylights that
    // carry a product URL. Leaves the rows alone when the selection cannot be read.
    void Init();

    // One row; `selectionEmpty` and `selected` decide whether the product's smallest
    // edition is taken from it.
    void AddRow(const API_Guid& element, const GS::UniString& productGuid, int edition, int libPartIndex, bool selected,
                bool selectionEmpty);
    void Clear();

    void SetNewEditionNumbersAndSelectedFlagForProductGuid(GS::UniString productGuid, int newEdition, bool flag);
    void GetUpdatableProductGuids(GS::Array<GS::UniString>* list) const;
    void GetUpdatableObjectsAndLibParts(ElementsByProduct* elements, LibPartsByProduct* libParts) const;
    const GS::HashTable<GS::UniString, int>* GetDistinctProductGuidsWithMinimalEditionNumber() const
    {
        return &minEditionByProduct;
    }

    GS::Array<API_Guid> elementGuids;
    GS::Array<GS::UniString> productGuids;
    GS::Array<int> editionNumbers;
    GS::Array<int> newEditionNumbers;
    GS::Array<int> libPartIndices;
    std::vector<bool> selectedFlags;
    GS::HashTable<GS::UniString, int> minEditionByProduct;

private:
    bool Updatable(UIndex row) const;
    // The rows of each product, in row order: the page's answer reaches them directly.
    std::unordered_map<GS::UniString, std::vector<UIndex>, GS::UniStringHash> rowsByProduct;
    // Each updatable row's value under its product, in row order, no value twice.
    template <class T>
    void GroupUpdatable(const GS::Array<T>& values, GS::HashTable<GS::UniString, GS::Array<T>>* table) const;
};

constexpr int NoEdition = -999;

// The edition a "KD_edinum" parameter holds: a text read like atoi, a number cut toward zero.
int ReadEdition(const API_AddParType& param);
