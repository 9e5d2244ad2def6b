#include "KDPCManager.hpp"
#include "LibPart.hpp"
#include "ParamList.hpp"
#include "ParameterRewrite.hpp"

#include "CH.hpp"
#include "HostServices.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The name a parameter gets when it is written from this entry: cut to the name field.
std::string FieldName(const std::string& variableName)
{
    char field[API_NameLen] = {};
    CHTruncate(variableName.c_str(), field, sizeof field);
    return field;
}

bool BeginsWith(const std::string& name, const std::string& prefix)
{
    return name.size() >= prefix.size() &&
           CHCompareTexts(name.c_str(), prefix.c_str(), prefix.size(), CaseInsensitive) == 0;
}

void SetValue(API_AddParType& record, const std::string& utf8)
{
    CopyIntoField(record.value.uStr, API_UAddParStrLen, utf8);
}

// Where the cloud's group starts: after "KDPC_Title", or at the first record of the run of
// records with the cloud's prefix nearest the end of the list, or at the head.
size_t InsertionPoint(const std::vector<API_AddParType>& records, const std::string& prefix)
{
    size_t i = records.size();
    while (i > 0) {
        const std::string name = ParameterNameOf(records[i - 1]);
        if (CHEqualCStrings(name.c_str(), "KDPC_Title"))
            return i;
        if (BeginsWith(name, prefix)) {
            while (i > 0 && BeginsWith(ParameterNameOf(records[i - 1]), prefix))
                --i;
            return i;
        }
        --i;
    }
    return 0;
}

}  // namespace

std::string KDPCManager::CloudPrefix(const KDPCInfo& info)
{
    if (info.params.IsEmpty())
        return {};
    return info.params[0].variableName.substr(0, 11);
}

void KDPCManager::NAddParameter(API_AddParType* param, short index, API_AddParID type, unsigned short flags,
                                const char* name, const char* description, double value, const char* text, bool utf8)
{
    AddParameter(param, index, type, flags, name, description, value, text, utf8);
}

void KDPCManager::AddParameterArray(API_AddParType* param, short index, API_AddParID type, unsigned short flags,
                                    const char* name, const char* description, int dim1, int dim2, GSHandle cells)
{
    param->typeID = type;
    param->typeMod = API_ParArray;
    param->dim1 = dim1;
    param->dim2 = dim2;
    param->flags = flags;
    param->index = index;
    CHTruncate(name != nullptr ? name : "", param->name, sizeof param->name);
    CopyIntoField(param->uDescname, API_UAddParDescLen, description != nullptr ? description : "");
    param->value.array = cells != nullptr ? BMhDuplicate(cells) : nullptr;
}

int KDPCManager::CollectKDPCInfoOfLibPart(int libPartIndex, const char*, const KDPCInfo& info, GS::Array<int>* missing)
{
    std::unique_ptr<AC::LibPart> part(AC::LibPartManager::GetInstance().GetLibpart(libPartIndex));
    if (part == nullptr) {
        ReportAlert("The library part could not be found!");
        return KDPCResult::PartNotFound;
    }
    for (size_t k = 0; k < info.params.GetSize(); ++k)
        if (part->GetParam(FieldName(info.params[k].variableName).c_str()) == nullptr)
            missing->Push(static_cast<int>(k));
    return 0;
}

int KDPCManager::UpdateKDPCMemo(API_AddParType**& params, int32_t& count, const char* prefixText, const KDPCInfo& info,
                                const GS::Array<int>& missing)
{
    const int32_t held =
        params != nullptr
            ? static_cast<int32_t>(BMhGetSize(reinterpret_cast<GSHandle>(params)) / sizeof(API_AddParType))
            : 0;
    const int32_t n = std::max(0, std::min(count, held));
    // A cloud without entries has nothing to merge, whatever the missing list says.
    if (info.params.IsEmpty()) {
        count = n;
        return 0;
    }

    if (missing.IsEmpty()) {
        // Nothing to insert: refresh the values the user may not edit.
        for (const KDPCParamType& entry : info.params) {
            if (entry.editable || !entry.value)
                continue;
            const std::string wanted = FieldName(entry.variableName);
            for (int32_t i = 0; i < n; ++i) {
                if (ParameterNameOf((*params)[i]) == wanted) {
                    SetValue((*params)[i], *entry.value);
                    break;
                }
            }
        }
        count = n;
        return 0;
    }

    // Rebuilt as a new list rather than shifted in place, so that whatever the layout no
    // record is lost or overwritten and no name is written twice (the host takes a part with
    // two parameters of one name for corrupt): an entry takes the first record of its name
    // from the cloud's place on into its slot, wherever it stands there; a name that stands
    // before that place, or that an earlier entry brought, is not written again.
    std::vector<API_AddParType> old;
    if (n > 0)
        old.assign(*params, *params + n);
    const std::string prefix = prefixText != nullptr ? prefixText : "";
    const size_t pos = InsertionPoint(old, prefix);
    std::vector<API_AddParType> merged(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(pos));
    std::vector<bool> taken(old.size(), false);
    const auto named = [](const API_AddParType& record, const std::string& name) {
        return CHEqualCStrings(ParameterNameOf(record).c_str(), name.c_str());
    };
    for (const KDPCParamType& entry : info.params) {
        const std::string wanted = FieldName(entry.variableName);
        size_t at = pos;
        while (at < old.size() && (taken[at] || !named(old[at], wanted)))
            ++at;
        if (at < old.size()) {
            API_AddParType kept = old[at];
            taken[at] = true;
            if (entry.editable && entry.value)
                SetValue(kept, *entry.value);
            merged.push_back(kept);
            continue;
        }
        if (std::any_of(merged.begin(), merged.end(), [&](const API_AddParType& r) { return named(r, wanted); }))
            continue;
        API_AddParType added {};
        NAddParameter(&added, 0, entry.isTitle ? APIParT_Title : APIParT_CString,
                      entry.isTitle ? APIParFlg_BoldName : APIParFlg_Child, entry.variableName.c_str(),
                      entry.name.c_str(), 0, entry.value ? entry.value->c_str() : nullptr, true);
        merged.push_back(added);
    }
    for (size_t i = pos; i < old.size(); ++i)
        if (!taken[i])
            merged.push_back(old[i]);
    for (size_t i = 0; i < merged.size(); ++i)
        merged[i].index = static_cast<int32_t>(i);

    const size_t size = merged.size() * sizeof(API_AddParType);
    if (params == nullptr)
        params = BMTypedHandle<API_AddParType>(BMhAllClear(size));
    else if (BMhSetSize(reinterpret_cast<GSHandle>(params), size) != NoError)
        return KDPCResult::ModificationFailed;  // the list stays as it was
    if (params == nullptr)
        return KDPCResult::ModificationFailed;
    std::memcpy(static_cast<void*>(*params), merged.data(), size);
    count = static_cast<int32_t>(merged.size());
    return 0;
}
