#include "UpdateInfo.hpp"

#include "BM.hpp"
#include "CH.hpp"
#include "LibPart.hpp"
#include "ParameterText.hpp"
#include "PlacedElements.hpp"
#include "UrlToGuidHandler.hpp"

int ReadEdition(const API_AddParType& param)
{
    if (param.typeID == APIParT_CString)
        return ReadWholeNumber(ParameterTextOf(param, 255).c_str());
    return TruncateToInt(param.value.real);
}

namespace {

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
}

void UpdateInfo::Init()
{
    const auto selection = SelectedElements();
    if (!selection)
        return;
    const GS::Array<API_Guid>& selected = *selection;

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
        for (size_t i = 0; i < params.Count(); ++i) {
            const API_AddParType& param = params[i];
            const std::string name = ParameterNameOf(param);
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
        AddRow(guid, productGuid, edition, AC::LibPartIndexOf(element, -1), selected.Contains(guid), selected.IsEmpty());
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
    if (int* minimum = minEditionByProduct.GetPtr(productGuid)) {
        if (edition < *minimum)
            *minimum = edition;
    } else if (selectionEmpty || selected) {
        minEditionByProduct.Add(productGuid, edition);
    }
}

void UpdateInfo::SetNewEditionNumbersAndSelectedFlagForProductGuid(GS::UniString productGuid, int newEdition,
                                                                   bool flag)
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i) {
        if (!flag && !selectedFlags[i])
            continue;
        if (productGuids[i] == productGuid) {
            newEditionNumbers[i] = newEdition;
            if (flag)
                selectedFlags[i] = true;
        }
    }
}

template <class T>
void UpdateInfo::GroupUpdatable(const GS::Array<T>& values, GS::HashTable<GS::UniString, GS::Array<T>>* table) const
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i) {
        if (!Updatable(i))
            continue;
        if (GS::Array<T>* list = table->GetPtr(productGuids[i])) {
            if (!list->Contains(values[i]))
                list->Push(values[i]);
        } else {
            table->Add(productGuids[i], GS::Array<T> {values[i]});
        }
    }
}

bool UpdateInfo::Updatable(UIndex row) const
{
    return editionNumbers[row] < newEditionNumbers[row] && selectedFlags[row];
}

void UpdateInfo::GetUpdatableProductGuids(GS::Array<GS::UniString>* list) const
{
    for (UIndex i = 0; i < productGuids.GetSize(); ++i)
        if (!list->Contains(productGuids[i]) && Updatable(i))
            list->Push(productGuids[i]);
}

void UpdateInfo::GetUpdatableObjectsAndLibParts(ElementsByProduct* elements, LibPartsByProduct* libParts) const
{
    GroupUpdatable(elementGuids, elements);
    GroupUpdatable(libPartIndices, libParts);
}
