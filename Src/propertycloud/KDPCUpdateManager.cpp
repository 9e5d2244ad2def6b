#include "KDPCUpdateManager.hpp"
#include "ParamList.hpp"

#include "APIKey.hpp"
#include "Endpoints.hpp"
#include "HostServices.hpp"
#include "HostVersion.hpp"
#include "ServiceRequest.hpp"
#include "UpdatePages.hpp"
#include "UrlToGuidHandler.hpp"

#include <string>
#include <vector>

namespace {

constexpr size_t UpdateListSize = 1000000;
constexpr size_t GuidFieldLimit = 49;
constexpr size_t NumberFieldLimit = 7;
// Hosts 19 and later take each instance change as an undoable command, earlier ones as a
// named undoable session.
constexpr const char* InstanceStepName = HostUndoesByCommand ? "Adding KDPC" : "Updating KDPC";

void AddDistinct(CloudIdsByProduct* table, const GS::UniString& product, int cloudId)
{
    if (GS::Array<int>* list = table->GetPtr(product)) {
        if (!list->Contains(cloudId))
            list->Push(cloudId);
    } else {
        table->Add(product, GS::Array<int> {cloudId});
    }
}

// A number field of the chosen list; one longer than its field says no number (-1), so that
// a cut text never passes for another edition.
int NumberField(const std::string& field)
{
    return field.size() <= NumberFieldLimit ? ReadWholeNumber(field.c_str()) : -1;
}

std::string SiteAddress(const std::string& path)
{
    return Endpoints::Address(Endpoints::Scheme::Https, Endpoints::SiteHost, path.c_str());
}

}  // namespace

KDPCUpdateManager& KDPCUpdateManager::getInstance()
{
    static KDPCUpdateManager theOnlyInstance;
    return theOnlyInstance;
}

void KDPCUpdateManager::DoUpdate()
{
    updateInfo.Init();
    updatedClouds.Clear();
    notUpdatedClouds.Clear();
    ShowUpdateDialog();
    if (!updatedClouds.IsEmpty() || !notUpdatedClouds.IsEmpty())
        ShowResultDialog();
}

GSErrCode KDPCUpdateManager::ShowUpdateDialog()
{
    API_SelectionInfo info {};
    GS::Array<API_Neig> selection;
    const GSErrCode err = ACAPI_Selection_Get(&info, &selection, true);
    if (err != NoError && err != ErrCode::NoSelection)
        return err;
    const bool selected = info.typeID != API_SelEmpty && !selection.IsEmpty();
    return OpenUpdatePage(
        SiteAddress(std::string("/CadApplication/KdpcUpdate?isSelectionUpdate=") + (selected ? "true" : "false")));
}

GSErrCode KDPCUpdateManager::ShowResultDialog()
{
    return OpenUpdatePage(SiteAddress("/CadApplication/KDPCUpdateResult"));
}

std::unique_ptr<char[]> KDPCUpdateManager::GetUpdateInfo()
{
    const auto urls = updateInfo.GetDistinctProductGuidsWithMinimalEditionNumber();
    std::string list;
    for (const auto& [url, editions] : urls) {
        const std::string guid = UrlToGuidHandler::getInstance()[url].ToUTF8();
        // Such a GUID would split its record and hand the page clouds of another product.
        if (!ListableProductGuid(guid))
            continue;
        list += guid;
        for (const auto& [cloud, edition] : *editions)
            list += "," + std::to_string(cloud) + "," + std::to_string(edition);
        list += ";";
    }
    // A list that outgrows the page's usual buffer is delivered whole.
    return NewCString(list, UpdateListSize);
}

void KDPCUpdateManager::UpdateUpdateInfo(const char* items)
{
    if (items == nullptr || *items == '\0')
        return;
    enum class Field { Guid, Cloud, Edition } next = Field::Guid;
    std::string guid;
    bool guidFits = false;
    int cloud = -1;
    auto take = [&](const std::string& field) {
        switch (next) {
        case Field::Guid:
            guid = field;
            guidFits = field.size() <= GuidFieldLimit;
            next = Field::Cloud;
            break;
        case Field::Cloud:
            cloud = NumberField(field);
            next = Field::Edition;
            break;
        case Field::Edition:
            if (const int edition = NumberField(field); guidFits && cloud >= 0 && edition >= 0)
                updateInfo.SetNewEditionNumbersForProductGuid(GS::UniString(guid), cloud, edition);
            next = Field::Cloud;
            break;
        }
    };
    std::string field;
    const std::string text = items;
    for (const char c : text) {
        if (c != ',' && c != ';') {
            field += c;
            continue;
        }
        take(field);
        field.clear();
        if (c == ';')
            next = Field::Guid;
    }
    if (!field.empty())
        take(field);
}

int KDPCUpdateManager::UpdateKDPC(const char* items)
{
    UpdateUpdateInfo(items);
    CloudIdsByProduct clouds;
    updateInfo.GetUpdatableProductGuidsAndKDPCes(&clouds);
    KDPCUpdateDataTable answers;
    RetrieveUpdateInformation(&answers, &clouds);
    ElementsByProduct objects;
    LibPartsByProduct libParts;
    updateInfo.GetUpdatableObjectsAndLibParts(&objects, &libParts);
    UpdateLibParts(&answers, &clouds, &libParts, &updatedClouds, &notUpdatedClouds);
    return 0;
}

std::unique_ptr<char[]> KDPCUpdateManager::GetUpdateResultInfo()
{
    std::string json = "[";
    auto add = [&json](const CloudIdsByProduct& table, const char* updated) {
        for (const auto& [product, clouds] : table) {
            if (json.size() > 1)
                json += ",";
            json += "{\"productguid\":\"" + JsonText(product.ToUTF8()) + "\", \"clouds\": [";
            for (UIndex i = 0; i < clouds.GetSize(); ++i)
                json += std::string(i > 0 ? "," : "") + "{\"id\":" + std::to_string(clouds[i]) +
                        ", \"isupdated\": " + updated + ", \"error\": null, \"warning\": null}";
            json += "]}";
        }
    };
    add(updatedClouds, "true");
    add(notUpdatedClouds, "false");
    return NewCString(json + "]");
}

int KDPCUpdateManager::RetrieveUpdateInformation(KDPCUpdateDataTable* answers, const CloudIdsByProduct* clouds)
{
    const auto key = GetCheckedAPIKey();
    for (const auto& [product, ids] : *clouds) {
        for (const int cloudId : ids) {
            auto record = std::make_shared<KDPCInfo>();
            int edition = -1;
            if (KDPCManager::AskForCloud(key.get(), product.ToUTF8(), cloudId, record.get(), &edition) ==
                KDPCManager::CloudQuery::Sent)
                SetStartupProgress(75);
            record->cloudId = cloudId;
            record->editionNumber = edition;
            if (!answers->ContainsKey(product))
                answers->Add(product, std::make_shared<KDPCUpdateData>());
            // A cloud the service did not give has nothing to be updated from: it stays out,
            // and so counts as not updated.
            if (!record->entries.IsEmpty() && !answers->Get(product)->clouds.ContainsKey(cloudId))
                answers->Get(product)->clouds.Add(cloudId, record);
        }
    }
    SetStartupProgress(80);
    return 0;
}

int KDPCUpdateManager::UpdateLibParts(const KDPCUpdateDataTable* answers, const CloudIdsByProduct* clouds,
                                      const LibPartsByProduct* libParts, CloudIdsByProduct* updated,
                                      CloudIdsByProduct* notUpdated)
{
    for (const auto& [product, indices] : *libParts) {
        const GS::Array<int> ids = clouds->ContainsKey(product) ? clouds->Get(product) : GS::Array<int> {};
        const KDPCUpdateData* data = answers->ContainsKey(product) ? answers->Get(product).get() : nullptr;
        // A cloud is updated for its product when every part of the product was stored with
        // it; the parts are rewritten part by part, each with every cloud in turn.
        std::vector<bool> stored(ids.GetSize(), true);
        for (const int index : indices)
            for (UIndex i = 0; i < ids.GetSize(); ++i) {
                const bool answered = data != nullptr && data->clouds.ContainsKey(ids[i]);
                if (!answered || UpdateALibpart(index, data->clouds.Get(ids[i]).get()) != 0)
                    stored[i] = false;
            }
        if (indices.IsEmpty())
            continue;
        for (UIndex i = 0; i < ids.GetSize(); ++i)
            AddDistinct(stored[i] ? updated : notUpdated, product, ids[i]);
    }
    return 0;
}

int KDPCUpdateManager::UpdateALibpart(int libPartIndex, const KDPCInfo* record)
{
    // Without its title the cloud has no prefix to find its parameters by.
    if (record == nullptr || record->entries.IsEmpty())
        return NotStored;
    const std::string prefix = KDPCManager::CloudPrefix(*record);
    GS::Array<int> missing;
    CollectKDPCInfoOfLibPart(libPartIndex, prefix.c_str(), *record, &missing);
    Cloud::ParamList list;
    if (!list.Read(libPartIndex)) {
        ReportAlert(ModificationErrorMessage().c_str());
        return NotStored;
    }
    const int cloudId = record->cloudId;
    const double edition = record->editionNumber;
    if (KDPCManager::WriteCloudEdition(list.Handle(), list.Count(), cloudId, edition) != 0)
        return NotStored;
    // A list the cloud could not be merged into is not stored: its row would claim the edition.
    if (UpdateKDPCMemo(list.Handle(), list.CountRef(), prefix.c_str(), *record, missing) != 0 ||
        list.WriteBack(libPartIndex) != Cloud::ParamList::WriteResult::Done) {
        ReportAlert(ModificationErrorMessage().c_str());
        return NotStored;
    }
    Cloud::ForEachInstance(
        libPartIndex,
        [&](API_AddParType**& params, int32_t& count) {
            switch (KDPCManager::WriteCloudEdition(params, count, cloudId, edition)) {
            case -6: return Cloud::InstanceChange::Stop;
            case -5: return Cloud::InstanceChange::Skip;
            default: break;
            }
            UpdateKDPCMemo(params, count, prefix.c_str(), *record, GS::Array<int>());
            return Cloud::InstanceChange::Write;
        },
        InstanceStepName);
    return 0;
}
