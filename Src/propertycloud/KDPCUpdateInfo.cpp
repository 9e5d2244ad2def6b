#include "KDPCUpdateInfo.hpp"

#include "LibPart.hpp"
#include "ParamList.hpp"
#include "PlacedElements.hpp"
#include "UrlToGuidHandler.hpp"

#include "BM.hpp"
#include "CH.hpp"

namespace {

// The memo's parameter list, released with the memo.
class ElementMemo {
public:
    ElementMemo() = default;
    ~ElementMemo() { ACAPI_DisposeElemMemoHdls(&memo); }
    ElementMemo(const ElementMemo&) = delete;
    ElementMemo& operator=(const ElementMemo&) = delete;
    int32_t Count() const
    {
        return memo.params != nullptr
                   ? static_cast<int32_t>(BMhGetSize(reinterpret_cast<GSHandle>(memo.params)) / sizeof(API_AddParType))
                   : 0;
    }
    API_AddParType& operator[](int32_t i) { return (*memo.params)[i]; }
    API_ElementMemo memo {};
};

template <class T>
void AddDistinct(GS::HashTable<GS::UniString, GS::Array<T>>* table, const GS::UniString& key, const T& value)
{
    if (GS::Array<T>* list = table->GetPtr(key)) {
        if (!list->Contains(value))
            list->Push(value);
    } else {
        table->Add(key, GS::Array<T> {value});
    }
}

}  // namespace

CloudEditions ReadCloudEditions(API_AddParType& cloudArray)
{
    CloudEditions editions;
    Cloud::CellTable table(cloudArray);
    for (int32_t r = 0; r < table.Rows(); ++r) {
        const auto id = Cloud::CloudIdOf(table.Cell(r, 0));
        if (id)
            editions.Add(*id, table.Has(r, 2) ? TruncateToInt(table.Cell(r, 2)) : -1);
    }
    return editions;
}

void KDPCUpdateInfo::Clear()
{
    elementGuids.Clear();
    productGuids.Clear();
    currentEditions.Clear();
    newEditions.Clear();
    libPartIndices.Clear();
    minimalEditionsByUrl.Clear();
    libPartsByUrl.Clear();
}

void KDPCUpdateInfo::Init()
{
    const auto selection = SelectedElements();
    if (!selection)
        return;
    const GS::Array<API_Guid>& selected = *selection;

    Clear();
    for (const API_Guid& guid : PlacedKordelaElements()) {
        ElementMemo params;
        API_Element element {};
        element.header.guid = guid;
        if (ACAPI_Element_Get(&element) != NoError ||
            ACAPI_Element_GetMemo(guid, &params.memo, APIMemoMask_All) != NoError)
            continue;
        GS::UniString url;
        GS::UniString productGuid;
        CloudEditions editions;
        bool urlFound = false;
        bool cloudsFound = false;
        for (int32_t i = 0; i < params.Count(); ++i) {
            API_AddParType& param = params[i];
            const std::string name = ParameterNameOf(param);
            if (CHEqualCStrings(name.c_str(), "KD_prodatUrl")) {
                url = GS::UniString(ParameterTextOf(param));
                urlFound = true;
            } else if (CHEqualCStrings(name.c_str(), "KD_productguid")) {
                productGuid = GS::UniString(ParameterTextOf(param));
            } else if (name == "KDPC_HNDL") {
                cloudsFound = true;
                editions = ReadCloudEditions(param);
            }
        }
        if (!urlFound || !cloudsFound)
            continue;
        if (productGuid.IsEmpty())
            productGuid = UrlToGuidHandler::getInstance()[url];
        if (productGuid.IsEmpty())
            continue;
        if (!selected.IsEmpty() && !selected.Contains(guid))
            continue;
        UrlToGuidHandler::getInstance().Add(url, productGuid);
        AddRow(guid, productGuid, url, editions, AC::LibPartIndexOf(element, -1));
    }
}

void KDPCUpdateInfo::AddRow(const API_Guid& element, const GS::UniString& productGuid, const GS::UniString& url,
                            const CloudEditions& editions, int libPartIndex)
{
    auto current = std::make_shared<CloudEditions>(editions);
    elementGuids.Push(element);
    productGuids.Push(productGuid);
    currentEditions.Push(current);
    newEditions.Push(std::make_shared<CloudEditions>(editions));
    libPartIndices.Push(libPartIndex);

    if (std::shared_ptr<CloudEditions>* merged = minimalEditionsByUrl.GetPtr(url)) {
        for (const auto& [cloud, edition] : *current) {
            if (int* known = (*merged)->GetPtr(cloud)) {
                if (edition < *known)
                    *known = edition;
            } else {
                (*merged)->Add(cloud, UnknownCloudEdition);
            }
        }
    } else {
        minimalEditionsByUrl.Add(url, current);
    }
    AddDistinct(&libPartsByUrl, url, libPartIndex);
}

void KDPCUpdateInfo::SetNewEditionNumbersForProductGuid(const GS::UniString& productGuid, int cloudId, int edition)
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i)
        if (productGuids[i] == productGuid)
            if (int* entry = newEditions[i]->GetPtr(cloudId))
                *entry = edition;
}

GS::Array<int> KDPCUpdateInfo::UpdatableClouds(UIndex row) const
{
    GS::Array<int> clouds;
    for (const auto& [cloud, edition] : *currentEditions[row])
        if (newEditions[row]->ContainsKey(cloud) && edition < newEditions[row]->Get(cloud))
            clouds.Push(cloud);
    return clouds;
}

void KDPCUpdateInfo::GetUpdatableProductGuidsAndKDPCes(CloudIdsByProduct* clouds) const
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i)
        for (const int cloud : UpdatableClouds(i))
            AddDistinct(clouds, productGuids[i], cloud);
}

template <class T>
void KDPCUpdateInfo::GroupUpdatable(const GS::Array<T>& values, GS::HashTable<GS::UniString, GS::Array<T>>* table) const
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i)
        if (!UpdatableClouds(i).IsEmpty())
            AddDistinct(table, productGuids[i], values[i]);
}

void KDPCUpdateInfo::GetUpdatableObjectsAndLibParts(ElementsByProduct* objects, LibPartsByProduct* libParts) const
{
    GroupUpdatable(elementGuids, objects);
    GroupUpdatable(libPartIndices, libParts);
}
