#include "ParameterRewrite.hpp"

#include "CH.hpp"
#include "ParameterText.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* TitleName = "KD_Title";
constexpr const char* SeparatorName = "KD_Separator";
constexpr const char* Separator2Name = "KD_Separator2";
constexpr const char* UrlName = "KD_prodaturl";
constexpr const char* ProductGuidName = "KD_productguid";

bool Named(const API_AddParType& record, const char* name)
{
    return HasName(record, name);
}

bool IsBlockName(const char* name)
{
    return CHEqualCStrings(name, TitleName) || CHEqualCStrings(name, SeparatorName) ||
           CHEqualCStrings(name, Separator2Name);
}

NameIndex IndexEntryNames(const UpdateEntries& entries)
{
    NameIndex index;
    for (UIndex i = 0; i < entries.GetSize(); ++i)
        index.Add(entries[i]->variableName.c_str(), i);
    return index;
}

bool InBlock(const API_AddParType& record, const NameIndex& entryNames)
{
    const ParameterName name(record);
    return IsBlockName(name.c_str()) || entryNames.Contains(name.c_str());
}

unsigned short EntryFlags(const UpdateDataEntry& entry)
{
    unsigned short flags = APIParFlg_Fixed;
    if (CHEqualCStrings(entry.variableStyle.c_str(), "Bold"))
        flags |= APIParFlg_BoldName;
    if (CHEqualCStrings(entry.variableModifier.c_str(), "Child"))
        flags |= APIParFlg_Child;
    if (entry.variableName == ProductGuidName)
        flags |= APIParFlg_Hidden;
    return flags;
}

API_AddParID EntryType(const UpdateDataEntry& entry)
{
    if (CHEqualCStrings(entry.variableType.c_str(), "String"))
        return APIParT_CString;
    if (CHEqualCStrings(entry.variableType.c_str(), "Real"))
        return APIParT_RealNum;
    return APIParT_Integer;
}

const char* ValueText(const UpdateDataEntry& entry)
{
    return entry.value ? entry.value->c_str() : "";
}

double ValueNumber(const UpdateDataEntry& entry)
{
    return entry.value ? std::atof(entry.value->c_str()) : 0.0;
}

void TakeCells(const API_AddParType& record, DroppedCells& dropped)
{
    if (record.value.array != nullptr)
        dropped.push_back(record.value.array);
}

API_AddParType BlockRecord(API_AddParID type, const char* name, const char* description)
{
    API_AddParType record {};
    AddParameter(&record, 0, type, APIParFlg_BoldName, name, description, 0, nullptr, true);
    return record;
}

API_AddParType EntryRecord(const UpdateDataEntry& entry)
{
    API_AddParType record {};
    const API_AddParID type = EntryType(entry);
    AddParameter(&record, 0, type, EntryFlags(entry), entry.variableName.c_str(), entry.variableDescription.c_str(),
                 type == APIParT_CString ? 0 : ValueNumber(entry), ValueText(entry), true);
    return record;
}

// Keeps the records that `drop` does not take, in their order and in place; the cells of the
// records it takes go to `dropped`. `drop` sees each record at its old position.
template <class Drop>
void DropRecords(std::vector<API_AddParType>& params, DroppedCells& dropped, const Drop& drop)
{
    size_t kept = 0;
    for (size_t i = 0; i < params.size(); ++i) {
        if (drop(i, params[i])) {
            TakeCells(params[i], dropped);
        } else {
            if (kept != i)
                params[kept] = params[i];
            ++kept;
        }
    }
    params.resize(kept);
}

void RemoveObsolete(std::vector<API_AddParType>& params, const UpdateEntries& entries, DroppedCells& dropped)
{
    const NameIndex entryNames = IndexEntryNames(entries);
    DropRecords(params, dropped, [&](size_t, const API_AddParType& record) {
        // A variable the answer also names live stays: the live entry wins.
        bool obsolete = false;
        bool live = false;
        if (const std::vector<uint32_t>* named = entryNames.Find(ParameterName(record).c_str()))
            for (const uint32_t at : *named)
                (entries[at]->obsolete ? obsolete : live) = true;
        return obsolete && !live;
    });
}

void UpdateInPlace(std::vector<API_AddParType>& params, const UpdateEntries& entries, const UnknownTypeReport& report)
{
    const NameIndex names = IndexNames(params.data(), params.size());
    for (const auto& entry : entries) {
        // The first record of the name takes the entry.
        const size_t at = names.First(entry->variableName.c_str(), params.size());
        if (at < params.size()) {
            API_AddParType& record = params[at];
            CopyIntoField(record.uDescname, API_UAddParDescLen, entry->variableDescription);
            if (CHEqualCStrings(entry->variableType.c_str(), "String")) {
                CopyIntoField(record.value.uStr, API_UAddParStrLen, ValueText(*entry));
            } else if (CHEqualCStrings(entry->variableType.c_str(), "Real")) {
                record.typeID = APIParT_RealNum;
                record.value.real = ValueNumber(*entry);
            } else if (CHEqualCStrings(entry->variableType.c_str(), "Integer")) {
                record.typeID = APIParT_Integer;
                record.value.real = entry->value ? ReadWholeNumber(entry->value->c_str()) : 0;
            } else if (report) {
                report(entry->variableType);
            }
            record.flags |= EntryFlags(*entry);
        }
    }
}

// The block is rebuilt after the product URL: block records that stand before the URL are
// dropped (the block carries their new copies), then the records up to the first block
// record after the URL, the new block, the foreign records that stood among the old block's
// in their old order, and the rest. Whatever the part's layout, every record that is not
// rewritten survives.
void RebuildBlock(std::vector<API_AddParType>& params, const UpdateEntries& entries, DroppedCells& dropped)
{
    const NameIndex entryNames = IndexEntryNames(entries);
    size_t url = params.size();
    for (size_t i = 0; i < params.size(); ++i)
        if (Named(params[i], UrlName))
            url = i;
    if (url != params.size()) {
        const size_t before = params.size();
        DropRecords(params, dropped,
                    [&](size_t i, const API_AddParType& record) { return i < url && InBlock(record, entryNames); });
        url -= before - params.size();
    }
    const size_t searchFrom = url != params.size() ? url + 1 : 0;
    size_t first = params.size();
    size_t last = 0;
    for (size_t i = searchFrom; i < params.size(); ++i) {
        if (InBlock(params[i], entryNames)) {
            first = std::min(first, i);
            last = i + 1;
        }
    }
    if (first == params.size()) {
        first = searchFrom;
        last = searchFrom;
    }

    std::vector<API_AddParType> result(params.begin(), params.begin() + static_cast<std::ptrdiff_t>(first));
    if (!entryNames.Contains(TitleName))
        result.push_back(BlockRecord(APIParT_Title, TitleName, "Kordela Information"));
    if (!entryNames.Contains(SeparatorName))
        result.push_back(BlockRecord(APIParT_Separator, SeparatorName, ""));
    for (const auto& entry : entries)
        if (!entry->obsolete)
            result.push_back(EntryRecord(*entry));
    if (!entryNames.Contains(Separator2Name))
        result.push_back(BlockRecord(APIParT_Separator, Separator2Name, ""));
    for (size_t i = first; i < last; ++i) {
        if (InBlock(params[i], entryNames))
            TakeCells(params[i], dropped);
        else
            result.push_back(params[i]);
    }
    result.insert(result.end(), params.begin() + static_cast<std::ptrdiff_t>(last), params.end());
    params.swap(result);
}

}  // namespace

void AddParameter(API_AddParType* record, short index, API_AddParID type, unsigned short flags, const char* name,
                  const char* description, double value, const char* textValue, bool /*utf8*/)
{
    // The host's default character code is UTF-8: texts with or without the flag, in the object
    // update and the property clouds alike, are read as UTF-8.
    record->typeID = type;
    record->typeMod = API_ParSimple;
    record->flags = flags;
    record->index = index;
    if (name != nullptr)
        CHTruncate(name, record->name, sizeof record->name);
    CopyIntoField(record->uDescname, API_UAddParDescLen, description != nullptr ? description : "");
    if (type == APIParT_CString)
        CopyIntoField(record->value.uStr, API_UAddParStrLen, textValue != nullptr ? textValue : "");
    else
        record->value.real = value;
}

DroppedCells RewriteLibPartParameters(std::vector<API_AddParType>& params, const UpdateEntries& entries,
                                      const UnknownTypeReport& report)
{
    DroppedCells dropped;
    const NameIndex names = IndexNames(params.data(), params.size());
    const bool hadTitle = names.Contains(TitleName);
    const bool hadSeparator = names.Contains(SeparatorName);
    const bool hadSeparator2 = names.Contains(Separator2Name);
    size_t newEntries = 0;
    bool anyObsolete = false;
    for (const auto& entry : entries) {
        anyObsolete = anyObsolete || entry->obsolete;
        if (!entry->obsolete && !names.Contains(entry->variableName.c_str()))
            ++newEntries;
    }
    if (anyObsolete && !params.empty())
        RemoveObsolete(params, entries, dropped);
    const size_t total = newEntries + !hadTitle + !hadSeparator + !hadSeparator2;
    if (total == 0)
        UpdateInPlace(params, entries, report);
    else
        RebuildBlock(params, entries, dropped);
    for (size_t i = 0; i < params.size(); ++i)
        params[i].index = static_cast<int32_t>(i);
    return dropped;
}

PreparedEntries::PreparedEntries(const UpdateEntries& entries)
{
    entries_.reserve(entries.GetSize());
    for (UIndex i = 0; i < entries.GetSize(); ++i) {
        const UpdateDataEntry& source = *entries[i];
        Entry entry;
        if (CHEqualCStrings(source.variableType.c_str(), "String"))
            entry.kind = Kind::String;
        else if (CHEqualCStrings(source.variableType.c_str(), "Real"))
            entry.kind = Kind::Real;
        else if (CHEqualCStrings(source.variableType.c_str(), "Integer"))
            entry.kind = Kind::Integer;
        entry.description = FieldText(API_UAddParDescLen, source.variableDescription);
        entry.valueText = FieldText(API_UAddParStrLen, ValueText(source));
        entry.real = ValueNumber(source);
        entry.whole = source.value ? ReadWholeNumber(source.value->c_str()) : 0;
        entry.flags = EntryFlags(source);
        entry.type = &source.variableType;
        entries_.push_back(std::move(entry));
        names_.Add(source.variableName.c_str(), i);
    }
}

const std::vector<const std::vector<uint32_t>*>& PreparedEntries::NamedRecords(const API_AddParType* params,
                                                                               size_t count) const
{
    static_assert(sizeof params->name == API_NameLen);
    bool same = lastNames_.size() == count;
    for (size_t i = 0; same && i < count; ++i)
        same = std::memcmp(lastNames_[i].data(), params[i].name, API_NameLen) == 0;
    if (!same) {
        lastNames_.resize(count);
        lastNamed_.resize(count);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(lastNames_[i].data(), params[i].name, API_NameLen);
            lastNamed_[i] = Named(ParameterName(params[i]).c_str());
        }
    }
    return lastNamed_;
}

void UpdateInstanceParameters(API_AddParType* params, size_t count, const UpdateEntries& entries,
                              const UnknownTypeReport& report)
{
    UpdateInstanceParameters(params, count, PreparedEntries(entries), report);
}

void UpdateInstanceParameters(API_AddParType* params, size_t count, const PreparedEntries& entries,
                              const UnknownTypeReport& report)
{
    using Kind = PreparedEntries::Kind;
    std::vector<uint32_t> untyped;  // one per record named by an entry of a type without a rule
    const std::vector<const std::vector<uint32_t>*>& namedRecords = entries.NamedRecords(params, count);
    for (size_t i = 0; i < count; ++i) {
        API_AddParType& record = params[i];
        const std::vector<uint32_t>* named = namedRecords[i];
        if (named == nullptr)
            continue;
        for (const uint32_t at : *named) {
            const PreparedEntries::Entry& entry = entries.Entries()[at];
            WriteField(record.uDescname, API_UAddParDescLen, entry.description);
            const bool text = record.typeID == APIParT_CString;
            if (entry.kind == Kind::String || (text && entry.kind != Kind::Other))
                WriteField(record.value.uStr, API_UAddParStrLen, entry.valueText);
            else if (entry.kind == Kind::Real)
                record.value.real = entry.real;
            else if (entry.kind == Kind::Integer)
                record.value.real = entry.whole;
            else
                untyped.push_back(at);
            record.flags |= entry.flags;
        }
    }
    if (!report)
        return;
    std::stable_sort(untyped.begin(), untyped.end());
    for (const uint32_t at : untyped)
        report(*entries.Entries()[at].type);
}
