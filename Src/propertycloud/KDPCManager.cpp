#include "KDPCManager.hpp"
#include "LibPart.hpp"
#include "ParamList.hpp"

#include "Endpoints.hpp"
#include "HostServices.hpp"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr const char* AttachStepName = "Adding KDPC";
constexpr int32_t CloudColumns = 3;

void ReportModificationError()
{
    ReportAlert(ModificationErrorMessage().c_str());
}

bool IsHandleRecord(const API_AddParType& param)
{
    return ParameterNameOf(param) == "KDPC_HNDL";
}

// A new cells handle of `rows` rows of (id, linked, edition).
GSHandle NewCells(const std::vector<double>& cells)
{
    GSHandle handle = BMhAllClear(cells.size() * sizeof(double));
    if (handle != nullptr && !cells.empty())
        std::memcpy(*handle, cells.data(), cells.size() * sizeof(double));
    return handle;
}

// The rows of a "KDPC_HNDL" of any shape, three cells each: a narrower row gets the cells a
// new row would have.
std::vector<double> ThreeColumnRows(Cloud::CellTable& table)
{
    std::vector<double> cells;
    for (int32_t r = 0; r < table.Rows(); ++r) {
        cells.push_back(table.Cell(r, 0));
        cells.push_back(table.Has(r, 1) ? table.Cell(r, 1) : 1.0);
        cells.push_back(table.Has(r, 2) ? table.Cell(r, 2) : -1.0);
    }
    return cells;
}

bool HoldsCloud(Cloud::CellTable& table, int cloudId)
{
    for (int32_t r = 0; r < table.Rows(); ++r)
        if (table.Cell(r, 0) == cloudId)
            return true;
    return false;
}

// Brings every placed instance's "KDPC_HNDL" level with the part's grown one; an instance
// whose copy of the rows cannot be made keeps its own.
GSErrCode CopyRowsToInstances(int libPartIndex, const API_AddParType& grown)
{
    Cloud::ForEachInstance(libPartIndex, [&grown](API_AddParType**& params, int32_t& count) {
        for (int32_t i = 0; i < count; ++i) {
            API_AddParType& param = (*params)[i];
            if (!IsHandleRecord(param))
                continue;
            GSHandle copy = grown.value.array != nullptr ? BMhDuplicate(grown.value.array) : nullptr;
            if (copy == nullptr && grown.value.array != nullptr)
                return Cloud::InstanceChange::Skip;
            param.typeMod = API_ParArray;
            param.dim1 = grown.dim1;
            param.dim2 = grown.dim2;
            BMhKill(&param.value.array);
            param.value.array = copy;
        }
        return Cloud::InstanceChange::Write;
    });
    return NoError;
}

}  // namespace

std::string ModificationErrorMessage()
{
    return std::string("Object modification error, please contact ") + Endpoints::SupportEmail +
           " regarding this problem!";
}

int KDPCManager::AddKDPCParams(int libPartIndex, int cloudId)
{
    std::unique_ptr<AC::LibPart> part(AC::LibPartManager::GetInstance().GetLibpart(libPartIndex));
    if (part == nullptr) {
        ReportAlert("The library part could not be found!");
        return KDPCResult::PartNotFound;
    }
    // A part that is not ready for a cloud is told so before its parameters are read.
    const auto notReady = [] {
        ReportAlert("Please update the object before applying KDPC.");
        return KDPCResult::NotCloudReady;
    };
    if (part->GetParam("KDPC_HNDL") == nullptr && part->GetParam("KD_Separator2") == nullptr)
        return notReady();
    Cloud::ParamList list;
    if (!list.Read(libPartIndex)) {
        ReportModificationError();
        return KDPCResult::ModificationFailed;
    }
    const int32_t handleAt = list.Find("KDPC_HNDL");
    const int32_t separatorAt = handleAt < 0 ? list.Find("KD_Separator2") : -1;
    if (handleAt < 0 && separatorAt < 0)
        return notReady();
    if (handleAt >= 0) {
        Cloud::CellTable table(list[handleAt]);
        if (HoldsCloud(table, cloudId)) {
            ReportAlert("The property cloud is already attached to the object.");
            return KDPCResult::AttachmentConflict;
        }
    }
    // The cloud is fetched before anything is written, so that a cloud the service cannot
    // give leaves the part as it was and can be attached later.
    KDPCInfo info;
    if (RetrieveObjectRelatedInformation(libPartIndex, cloudId, &info) != 0 || info.params.IsEmpty()) {
        ReportAlert("No dynamic parameters found");
        return KDPCResult::PartNotFound;
    }

    const std::vector<double> newRow {static_cast<double>(cloudId), 1.0, -1.0};
    int32_t grownAt = handleAt;
    if (handleAt < 0) {
        const int32_t pos = separatorAt + 1;
        if (!list.Insert(pos, 3)) {
            ReportModificationError();
            return KDPCResult::ModificationFailed;
        }
        GSHandle cells = NewCells(newRow);
        AddParameterArray(&list[pos], static_cast<short>(pos), APIParT_Integer, APIParFlg_Hidden, "KDPC_HNDL",
                          "Kordela Property Cloud", 1, CloudColumns, cells);
        BMhKill(&cells);
        // Out of memory for the row: a "KDPC_HNDL" without its cells is not stored.
        if (list[pos].value.array == nullptr) {
            ReportModificationError();
            return KDPCResult::ModificationFailed;
        }
        NAddParameter(&list[pos + 1], static_cast<short>(pos + 1), APIParT_Title, APIParFlg_BoldName, "KDPC_Title",
                      "KDPC Property Sets", 0, "", false);
        NAddParameter(&list[pos + 2], static_cast<short>(pos + 2), APIParT_Separator, 0, "KDPC_Separator", "", 0, "",
                      false);
        grownAt = pos;
    } else {
        API_AddParType& record = list[handleAt];
        Cloud::CellTable table(record);
        std::vector<double> cells = ThreeColumnRows(table);
        cells.insert(cells.end(), newRow.begin(), newRow.end());
        GSHandle grownCells = NewCells(cells);
        if (grownCells == nullptr) {
            ReportModificationError();
            return KDPCResult::ModificationFailed;
        }
        BMhKill(&record.value.array);
        record.typeMod = API_ParArray;
        record.value.array = grownCells;
        record.dim1 = static_cast<int32_t>(cells.size() / CloudColumns);
        record.dim2 = CloudColumns;
    }
    if (list.WriteBack(libPartIndex) != Cloud::ParamList::WriteResult::Done) {
        ReportModificationError();
        return KDPCResult::ModificationFailed;
    }
    if (handleAt >= 0) {
        const API_AddParType& grown = list[grownAt];
        Cloud::RunUndoable(AttachStepName, [&]() { return CopyRowsToInstances(libPartIndex, grown); });
    }
    return RefreshWith(libPartIndex, cloudId, info, true);
}

int KDPCManager::LinkKDPCParams(int libPartIndex, int cloudId)
{
    return SetLinked(libPartIndex, cloudId, 1.0);
}

int KDPCManager::UnlinkKDPCParams(int libPartIndex, int cloudId)
{
    return SetLinked(libPartIndex, cloudId, 0.0);
}

int KDPCManager::SetLinked(int libPartIndex, int cloudId, double target)
{
    std::unique_ptr<AC::LibPart> part(AC::LibPartManager::GetInstance().GetLibpart(libPartIndex));
    if (part == nullptr) {
        ReportAlert("The library part could not be found!");
        return KDPCResult::PartNotFound;
    }
    if (part->GetParam("KDPC_HNDL") == nullptr) {
        ReportAlert("The chosen property cloud is not attached to the selected object.");
        return KDPCResult::PartNotFound;
    }
    Cloud::ParamList list;
    if (!list.Read(libPartIndex)) {
        ReportModificationError();
        return KDPCResult::NotCloudReady;
    }
    const int32_t at = list.Find("KDPC_HNDL");
    if (at < 0) {
        ReportAlert("The property cloud is not attached to the object.");
        return KDPCResult::AttachmentConflict;
    }
    Cloud::CellTable table(list[at]);
    // A row needs a flag cell: the rows are read with the array's own width.
    bool found = false;
    for (int32_t r = 0; r < table.Rows() && table.Has(r, 1); ++r) {
        if (table.Cell(r, 0) != cloudId)
            continue;
        if (table.Cell(r, 1) == target) {
            ReportAlert(target == 1.0 ? "The property cloud is already linked to this object."
                                      : "The property cloud is already unlinked.");
            return KDPCResult::ModificationFailed;
        }
        table.Cell(r, 1) = target;
        found = true;
    }
    if (!found) {
        ReportAlert("The property cloud is not attached to the object.");
        return KDPCResult::AttachmentConflict;
    }
    switch (list.WriteBack(libPartIndex)) {
    case Cloud::ParamList::WriteResult::Done: return KDPCResult::Done;
    case Cloud::ParamList::WriteResult::BuildFailed: ReportModificationError(); return KDPCResult::ModificationFailed;
    case Cloud::ParamList::WriteResult::StoreFailed: ReportModificationError(); return KDPCResult::AttachmentConflict;
    }
    return KDPCResult::AttachmentConflict;
}

int KDPCManager::UpdateKDPCParams(int libPartIndex, int cloudId, bool refreshInstances)
{
    KDPCInfo info;
    if (RetrieveObjectRelatedInformation(libPartIndex, cloudId, &info) != 0 || info.params.IsEmpty()) {
        ReportAlert("No dynamic parameters found");
        return KDPCResult::PartNotFound;
    }
    return RefreshWith(libPartIndex, cloudId, info, refreshInstances);
}

int KDPCManager::RefreshWith(int libPartIndex, int cloudId, const KDPCInfo& info, bool refreshInstances)
{
    const std::string prefix = CloudPrefix(info);
    GS::Array<int> missing;
    CollectKDPCInfoOfLibPart(libPartIndex, prefix.c_str(), info, &missing);
    Cloud::ParamList list;
    if (!list.Read(libPartIndex)) {
        ReportModificationError();
        return KDPCResult::ModificationFailed;
    }
    if (const int result = WriteCloudEdition(list.Handle(), list.Count(), cloudId, -1); result != 0)
        return result;
    // A list the cloud could not be merged into is not stored: its row would say refreshed.
    if (UpdateKDPCMemo(list.Handle(), list.CountRef(), prefix.c_str(), info, missing) != 0 ||
        list.WriteBack(libPartIndex) != Cloud::ParamList::WriteResult::Done) {
        ReportModificationError();
        return KDPCResult::ModificationFailed;
    }
    if (refreshInstances) {
        // The host refuses element changes outside an undo step, so the refresh is one.
        Cloud::RunUndoable(AttachStepName, [&]() {
            Cloud::ForEachInstance(libPartIndex, [&](API_AddParType**& params, int32_t& count) {
                UpdateKDPCMemo(params, count, prefix.c_str(), info, GS::Array<int>());
                return Cloud::InstanceChange::Write;
            });
            return NoError;
        });
    }
    return KDPCResult::Done;
}

int KDPCManager::WriteCloudEdition(API_AddParType** params, int32_t count, int cloudId, double edition)
{
    bool sawHandle = false;
    for (int32_t i = 0; params != nullptr && i < count; ++i) {
        API_AddParType& record = (*params)[i];
        if (!IsHandleRecord(record))
            continue;
        sawHandle = true;
        Cloud::CellTable table(record);
        int32_t row = -1;
        for (int32_t r = 0; r < table.Rows(); ++r)
            if (table.Cell(r, 0) == cloudId)
                row = r;
        if (row < 0) {
            ReportAlert("The KDPC identifier could not be found.");
            return KDPCResult::NoCloudRow;
        }
        if (table.Has(row, 2))
            table.Cell(row, 2) = edition;
    }
    if (!sawHandle) {
        ReportAlert("KDPC_HNDL parameter could not be found.");
        return KDPCResult::NoHandleList;
    }
    return KDPCResult::Done;
}

int KDPCManager::UpdateKDPCParams(int libPartIndex)
{
    Cloud::ParamList list;
    if (!list.Read(libPartIndex)) {
        ReportModificationError();
        return KDPCResult::ModificationFailed;
    }
    std::vector<int> linked;
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (!IsHandleRecord(list[i]))
            continue;
        Cloud::CellTable table(list[i]);
        for (int32_t r = 0; r < table.Rows(); ++r)
            if (const auto id = Cloud::CloudIdOf(table.Cell(r, 0)); id && table.Has(r, 1) && table.Cell(r, 1) == 1.0)
                linked.push_back(*id);
    }
    for (int cloudId : linked)
        UpdateKDPCParams(libPartIndex, cloudId, true);
    return KDPCResult::Done;
}
