#include "UpdateInfo.hpp"

#include "BM.hpp"
#include "CH.hpp"
#include "LibPart.hpp"
#include "ParameterText.hpp"
#include "PlacedElements.hpp"
#include "UrlToGuidHandler.hpp"

#include <cstring>
#include <unordered_set>

int ReadEdition(const API_AddParType& param)
{
    if (param.typeID == APIParT_CString)
        return ReadWholeNumber(ParameterTextOf(param, 255).c_str());
    return TruncateToInt(param.value.real);
}

namespace {

struct GuidHash {
    size_t operator()(const API_Guid& guid) const
    {
        uint64_t halves[2];
        std::memcpy(halves, guid.bytes, sizeof halves);
        return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
    }
};

template <class T>
using HashOf = std::conditional_t<std::is_same_v<T, API_Guid>, GuidHash, std::hash<T>>;

// The memo's parameter list, released with the memo.
class ElementParameters {
public:
    ~ElementParameters() { ACAPI_DisposeElemMemoHdls(&memo); }
    size_t Count() const
    {
        return memo.params != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(memo.params)) / sizeof(API_AddParType)
                                      : 0;
    }
    const API_AddParType& operator[](size_t i) const { return (*memo.params)[i]; }
    API_ElementMemo memo {};
};

// The names looked for all begin with "KD_" (letters in either case): most records of a
// part are passed without comparing their names three times.
bool MayBeKordelaName(const API_AddParType& param)
{
    return (param.name[0] == 'K' || param.name[0] == 'k') && (param.name[1] == 'D' || param.name[1] == 'd') &&
           param.name[2] == '_';
}

}  // namespace

void UpdateInfo::Clear()
{
    elementGuids.Clear();
    productGuids.Clear();
    editionNumbers.Clear();
    newEditionNumbers.Clear();
    libPartIndices.Clear();
    selectedFlags.clear();
    minEditionByProduct.Clear();
    rowsByProduct.clear();
}

void UpdateInfo::Init()
{
    const auto selection = SelectedElements();
    if (!selection)
        return;
    std::unordered_set<API_Guid, GuidHash> selected;
    for (const API_Guid& guid : *selection)
        selected.insert(guid);

    Clear();
    const GS::Array<API_Guid> placed = PlacedKordelaElements();
    for (const API_Guid& guid : placed) {
        API_Element element {};
        element.header.guid = guid;
        if (ACAPI_Element_Get(&element) != NoError)
            continue;
        ElementParameters params;
        if (ACAPI_Element_GetMemo(guid, &params.memo, APIMemoMask_All) != NoError)
            continue;
        GS::UniString url;
        GS::UniString productGuid;
        int edition = NoEdition;
        bool urlFound = false;
        const size_t count = params.Count();
        for (size_t i = 0; i < count; ++i) {
            const API_AddParType& param = params[i];
            if (!MayBeKordelaName(param))
                continue;
            const ParameterName name(param);
            if (CHEqualCStrings(name.c_str(), "KD_prodatUrl")) {
                url = GS::UniString(ParameterTextOf(param));
                urlFound = true;
            } else if (CHEqualCStrings(name.c_str(), "KD_productguid")) {
                productGuid = GS::UniString(ParameterTextOf(param));
            } else if (CHEqualCStrings(name.c_str(), "KD_edinum")) {
                edition = ReadEdition(param);
            }
        }
        if (!urlFound)
            continue;
        if (productGuid.IsEmpty())
            productGuid = UrlToGuidHandler::getInstance()[url];
        if (productGuid.IsEmpty())
            continue;
        AddRow(guid, productGuid, edition, AC::LibPartIndexOf(element, -1), selected.count(guid) != 0,
               selected.empty());
    }
}

void UpdateInfo::AddRow(const API_Guid& element, const GS::UniString& productGuid, int edition, int libPartIndex,
                        bool selected, bool selectionEmpty)
{
    elementGuids.Push(element);
    productGuids.Push(productGuid);
    editionNumbers.Push(edition);
    newEditionNumbers.Push(edition);
    libPartIndices.Push(libPartIndex);
    selectedFlags.push_back(selected);
    rowsByProduct[productGuid].push_back(elementGuids.GetSize() - 1);
    if (int* minimum = minEditionByProduct.GetPtr(productGuid)) {
        if (edition < *minimum)
            *minimum = edition;
    } else if (selectionEmpty || selected) {
        minEditionByProduct.Add(productGuid, edition);
    }
}

void UpdateInfo::SetNewEditionNumbersAndSelectedFlagForProductGuid(GS::UniString productGuid, int newEdition, bool flag)
{
    const auto rows = rowsByProduct.find(productGuid);
    if (rows == rowsByProduct.end())
        return;
    for (const UIndex i : rows->second) {
        if (!flag && !selectedFlags[i])
            continue;
        newEditionNumbers[i] = newEdition;
        if (flag)
            selectedFlags[i] = true;
    }
}

template <class T>
void UpdateInfo::GroupUpdatable(const GS::Array<T>& values, GS::HashTable<GS::UniString, GS::Array<T>>* table) const
{
    // What each product's list holds, so that no value goes in twice; lists the caller
    // brought are taken in as they stand.
    std::unordered_map<GS::UniString, std::unordered_set<T, HashOf<T>>, GS::UniStringHash> held;
    for (UIndex i = 0; i < productGuids.GetSize(); ++i) {
        if (!Updatable(i))
            continue;
        if (GS::Array<T>* list = table->GetPtr(productGuids[i])) {
            auto [seen, first] = held.try_emplace(productGuids[i]);
            if (first)
                seen->second.insert(list->begin(), list->end());
            if (seen->second.insert(values[i]).second)
                list->Push(values[i]);
        } else {
            table->Add(productGuids[i], GS::Array<T> {values[i]});
            held[productGuids[i]].insert(values[i]);
        }
    }
}

bool UpdateInfo::Updatable(UIndex row) const
{
    return editionNumbers[row] < newEditionNumbers[row] && selectedFlags[row];
}

void UpdateInfo::GetUpdatableProductGuids(GS::Array<GS::UniString>* list) const
{
    std::unordered_set<GS::UniString, GS::UniStringHash> listed(list->begin(), list->end());
    for (UIndex i = 0; i < productGuids.GetSize(); ++i)
        if (Updatable(i) && listed.insert(productGuids[i]).second)
            list->Push(productGuids[i]);
}

void UpdateInfo::GetUpdatableObjectsAndLibParts(ElementsByProduct* elements, LibPartsByProduct* libParts) const
{
    GroupUpdatable(elementGuids, elements);
    GroupUpdatable(libPartIndices, libParts);
}
