#include "UpdateManager.hpp"
#include "ParamList.hpp"

#include "APIKey.hpp"
#include "BM.hpp"
#include "BrowserDialog.hpp"
#include "CH.hpp"
#include "Endpoints.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "Messages.hpp"
#include "ParameterRewrite.hpp"
#include "ParameterText.hpp"
#include "ServiceRequest.hpp"
#include "UpdateAnswer.hpp"
#include "UpdatePages.hpp"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr size_t ProductListSize = 1000000;
constexpr size_t GuidFieldLimit = 49;
constexpr size_t NumberFieldLimit = 7;
constexpr size_t FlagFieldLimit = 5;

void ReportUnknownType(const std::string& type)
{
    ReportLine(LocString(Messages::List, Messages::UnknownParameterType) + " " + type);
}

// The library part's parameter list, released at the end of the rewrite.
struct PartParameters {
    ~PartParameters() { ACAPI_DisposeAddParHdl(&handle); }
    API_AddParType** handle = nullptr;
};

// The element's memo, released after its step.
struct InstanceMemo {
    ~InstanceMemo() { ACAPI_DisposeElemMemoHdls(&memo); }
    API_ElementMemo memo {};
};

struct ChangeElementCommand {
    GSErrCode* err;
    API_Element* element;
    API_ElementMemo* memo;
    int* counter;

    GSErrCode operator()() const
    {
        API_Element mask;
        std::memset(static_cast<void*>(&mask), 0xFF, sizeof mask);
        *err = ACAPI_Element_Change(element, &mask, memo, APIMemoMask_All, true);
        if (*err == NoError)
            ++*counter;
        return *err;
    }
};

}  // namespace

UpdateManager& UpdateManager::getInstance()
{
    static UpdateManager theOnlyInstance;
    return theOnlyInstance;
}

void UpdateManager::DoUpdate()
{
    updateInfo.Init();
    updatedProductGuids.Clear();
    notUpdatedProductGuids.Clear();
    ShowUpdateDialog();
    if (!updatedProductGuids.IsEmpty() || !notUpdatedProductGuids.IsEmpty())
        ShowResultDialog();
}

GSErrCode UpdateManager::ShowUpdateDialog()
{
    API_SelectionInfo info {};
    GS::Array<API_Neig> selection;
    const GSErrCode err = ACAPI_Selection_Get(&info, &selection, true);
    if (err != NoError && err != ErrCode::NoSelection)
        return err;
    const std::string path =
        std::string("/CadApplication/ProductUpdate?isSelectionUpdate=") + (selection.IsEmpty() ? "false" : "true");
    return OpenUpdatePage(Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, path.c_str()));
}

GSErrCode UpdateManager::ShowResultDialog()
{
    return OpenUpdatePage(
        Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, "/CadApplication/ProductUpdateResult"));
}

std::unique_ptr<char[]> UpdateManager::GetUpdateInfo()
{
    const GS::HashTable<GS::UniString, int> products = updateInfo.minEditionByProduct;
    std::string list;
    for (const auto& [guid, edition] : products) {
        const std::string text = guid.ToCStr().Get();
        if (!ListableProductGuid(text))
            continue;
        list += text + "," + std::to_string(edition) + ";";
    }
    // A list that outgrows the page's usual buffer is delivered whole.
    return NewCString(list, ProductListSize);
}

void UpdateManager::UpdateUpdateInfo(const char* items)
{
    if (items == nullptr)
        return;
    const std::string text = items;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(';', begin);
        if (end == std::string::npos)
            end = text.size();
        const std::string record = text.substr(begin, end - begin);
        begin = end + 1;
        const size_t firstComma = record.find(',');
        const size_t lastComma = record.rfind(',');
        const size_t secondComma =
            firstComma == std::string::npos ? std::string::npos : record.find(',', firstComma + 1);
        // Records without all three fields say nothing that could be applied.
        if (secondComma == std::string::npos)
            continue;
        const std::string guid = record.substr(0, std::min(firstComma, GuidFieldLimit));
        const std::string number =
            record.substr(firstComma + 1, std::min(secondComma - firstComma - 1, NumberFieldLimit));
        const std::string flag = record.substr(lastComma + 1, FlagFieldLimit);
        updateInfo.SetNewEditionNumbersAndSelectedFlagForProductGuid(
            GS::UniString(guid), ReadWholeNumber(number.c_str()), CHEqualCStrings(flag.c_str(), "true"));
    }
}

int UpdateManager::UpdateProducts(const char* items)
{
    UpdateUpdateInfo(items);
    GS::Array<GS::UniString> products;
    updateInfo.GetUpdatableProductGuids(&products);
    UpdateDataTable data;
    RetrieveUpdateInformation(&data, &products);
    ElementsByProduct elements;
    LibPartsByProduct libParts;
    updateInfo.GetUpdatableObjectsAndLibParts(&elements, &libParts);
    UpdateLibParts(&data, &libParts, &updatedProductGuids, &notUpdatedProductGuids, &updatedLibPartCount,
                   &processedLibPartCount);
    int changed = 0;
    UpdateInstances(&data, &elements, &changed);
    return 0;
}

std::unique_ptr<char[]> UpdateManager::GetUpdateResultInfo()
{
    std::string json = "[";
    auto add = [&json](const GS::UniString& guid, bool updated) {
        if (json.size() > 1)
            json += ",";
        json += "{\"productguid\":\"" + JsonText(guid.ToCStr().Get()) +
                "\",\"isupdated\":" + (updated ? "true" : "false") + ",\"error\":null, \"warning\":null}";
    };
    for (const GS::UniString& guid : updatedProductGuids)
        add(guid, true);
    for (const GS::UniString& guid : notUpdatedProductGuids)
        add(guid, false);
    json += "]";
    return NewCString(json);
}

int UpdateManager::RetrieveUpdateInformation(UpdateDataTable* table, const GS::Array<GS::UniString>* products)
{
    const auto key = GetCheckedAPIKey();
    const std::string request = BuildUpdateRequest(key.get(), *products);
    const PostResult post = PostServiceRequest(Endpoints::LegacyHttpScheme, "/GetKordelaInfoXml3", request);
    if (post.started) {
        SetStartupProgress(75);
        ReadUpdateAnswer(post.answerFile.c_str(), *products, table, ReportLine);
    }
    SetStartupProgress(80);
    return 0;
}

int UpdateManager::UpdateLibParts(const UpdateDataTable* data, const LibPartsByProduct* libParts,
                                  GS::Array<GS::UniString>* updated, GS::Array<GS::UniString>* notUpdated,
                                  int* updatedCount, int* processedCount)
{
    *updatedCount = 0;
    *processedCount = 0;
    for (const auto& [product, indices] : *libParts) {
        for (const int index : indices) {
            ++*processedCount;
            const std::shared_ptr<UpdateData>* found = data->ContainsKey(product) ? &data->Get(product) : nullptr;
            if (found == nullptr) {
                notUpdated->Push(product);
            } else if (UpdateALibpart(index, (*found)->entries)) {
                updated->Push(product);
                ++*updatedCount;
            } else {
                notUpdated->Push(product);
            }
        }
    }
    return 0;
}

bool UpdateManager::UpdateALibpart(int libPartIndex, const UpdateEntries& entries)
{
    double a = 0;
    double b = 0;
    int32_t count = 0;
    PartParameters part;
    if (ACAPI_LibPart_GetParams(libPartIndex, &a, &b, &count, &part.handle) != NoError || part.handle == nullptr)
        return false;
    // Stored from anything less than what was read, the part would lose its details or be
    // built from an empty record: every step must succeed before the section is updated.
    API_LibPartDetails details {};
    if (ACAPI_LibPart_GetDetails(libPartIndex, &details) != NoError)
        return false;

    const size_t records = BMhGetSize(reinterpret_cast<GSHandle>(part.handle)) / sizeof(API_AddParType);
    std::vector<API_AddParType> params(*part.handle, *part.handle + records);
    DroppedCells dropped = RewriteLibPartParameters(params, entries, ReportUnknownType);
    // Until the copy is back, the handle still holds the dropped records: their cells go with
    // the handle when it cannot take the copy, and only afterwards otherwise.
    if (BMhSetSize(reinterpret_cast<GSHandle>(part.handle), params.size() * sizeof(API_AddParType)) != NoError)
        return false;
    std::copy(params.begin(), params.end(), *part.handle);
    for (GSHandle& cells : dropped)
        BMhKill(&cells);

    API_LibPart libPart {};
    libPart.index = libPartIndex;
    if (ACAPI_LibPart_Get(&libPart) != NoError)
        return false;
    GSHandle section = nullptr;
    const API_LibPartSection descriptor {API_SectParamDef, 0};
    const bool stored = ACAPI_LibPart_GetSect_ParamDef(&libPart, part.handle, &a, &b, &section) == NoError &&
                        ACAPI_LibPart_SetDetails_ParamDef(&libPart, part.handle, &details) == NoError &&
                        ACAPI_LibPart_UpdateSection(libPartIndex, &descriptor, section) == NoError;
    if (section != nullptr)
        BMhKill(&section);
    return stored;
}

int UpdateManager::UpdateInstances(const UpdateDataTable* data, const ElementsByProduct* elements, int* changedCount)
{
    *changedCount = 0;
    for (const auto& [product, guids] : *elements) {
        const std::shared_ptr<UpdateData>* found = data->ContainsKey(product) ? &data->Get(product) : nullptr;
        // The product's entries are made ready once for all its elements.
        const std::optional<PreparedEntries> entries =
            found != nullptr ? std::optional<PreparedEntries>((*found)->entries) : std::nullopt;
        for (const API_Guid& guid : guids) {
            API_Element element {};
            element.header.guid = guid;
            GSErrCode err = ACAPI_Element_Get(&element);
            if (err != NoError)
                continue;
            InstanceMemo instance;
            ACAPI_Element_GetMemo(guid, &instance.memo, APIMemoMask_All);
            if (!entries)
                continue;
            API_AddParType** params = instance.memo.params;
            const size_t count =
                params != nullptr ? BMhGetSize(reinterpret_cast<GSHandle>(params)) / sizeof(API_AddParType) : 0;
            if (count > 0)
                UpdateInstanceParameters(*params, count, *entries, ReportUnknownType);
            // Without its undo step the element is not touched (RunUndoable says why).
            Cloud::RunUndoable("", ChangeElementCommand {&err, &element, &instance.memo, changedCount});
        }
    }
    return 0;
}
