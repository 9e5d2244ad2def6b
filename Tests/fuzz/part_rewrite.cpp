// The object update's rewrite of a part's parameters, fed a generated list and answer: the
// list keeps every foreign record, holds every live variable, drops the obsolete-only ones,
// numbers its records by position and releases exactly the cells of the records it drops.
#include "FuzzSupport.hpp"
#include "ParameterRewrite.hpp"
#include "ParameterText.hpp"

#include "CH.hpp"

#include <map>
#include <set>

namespace {

const std::vector<std::string> Names = {
    "P1", "P2", "KD_prodaturl", "KD_prodatUrl",   "KD_Title",  "KD_Separator", "KD_Separator2",
    "X1", "X2", "x1",           "KD_productguid", "KD_edinum", "KDPC_HNDL"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    std::vector<API_AddParType> params;
    const size_t records = in.ConsumeIntegralInRange<size_t>(0, 24);
    for (size_t i = 0; i < records; ++i) {
        params.push_back(fuzz::Record(in, fuzz::PickName(in, Names)));
        params.back().index = static_cast<int32_t>(i);
    }
    UpdateEntries entries;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 8);
    static const std::vector<std::string> Types = {"String", "Real", "Integer", "Bogus"};
    for (size_t i = 0; i < count; ++i) {
        auto entry = std::make_shared<UpdateDataEntry>();
        entry->variableName = fuzz::PickName(in, Names);
        entry->variableType = fuzz::PickName(in, Types);
        entry->obsolete = in.ConsumeBool();
        if (in.ConsumeBool())
            entry->value = in.ConsumeRandomLengthString(300);
        entry->variableDescription = in.ConsumeRandomLengthString(300);
        entries.Push(entry);
    }

    // An entry names a record whose name equals its own (as a C string); a live entry's new
    // record carries the name as far as the record's field holds it.
    auto nameOf = [](const auto& entry) { return fuzz::Lower(entry->variableName.c_str()); };
    std::set<std::string> named, live, obsoleteOnly;
    for (const auto& entry : entries) {
        named.insert(nameOf(entry));
        if (!entry->obsolete) {
            API_AddParType probe {};
            CHTruncate(entry->variableName.c_str(), probe.name, sizeof probe.name);
            live.insert(fuzz::Lower(ParameterNameOf(probe)));
            live.insert(nameOf(entry));
        }
    }
    for (const auto& entry : entries)
        if (entry->obsolete && !live.count(nameOf(entry)))
            obsoleteOnly.insert(nameOf(entry));
    const std::set<std::string> block = {"kd_title", "kd_separator", "kd_separator2"};
    std::map<std::string, int> foreign;
    std::set<GSHandle> cellsBefore;
    for (const API_AddParType& record : params) {
        const std::string name = fuzz::Lower(ParameterNameOf(record));
        if (!named.count(name) && !block.count(name))
            ++foreign[name];
        if (record.value.array != nullptr)
            cellsBefore.insert(record.value.array);
    }

    DroppedCells dropped = RewriteLibPartParameters(params, entries, [](const std::string&) {});

    std::map<std::string, int> after;
    std::set<GSHandle> cellsAfter;
    for (size_t i = 0; i < params.size(); ++i) {
        FUZZ_CHECK(params[i].index == static_cast<int32_t>(i));
        const std::string name = fuzz::Lower(ParameterNameOf(params[i]));
        ++after[name];
        FUZZ_CHECK(!obsoleteOnly.count(name));
        if (params[i].value.array != nullptr) {
            FUZZ_CHECK(cellsBefore.count(params[i].value.array) == 1);
            FUZZ_CHECK(cellsAfter.insert(params[i].value.array).second);
        }
    }
    // A live entry's record may bring a further record of a foreign name (its own name cut
    // to the field), never fewer.
    for (const auto& [name, n] : foreign)
        FUZZ_CHECK(after[name] >= n);
    for (const auto& entry : entries)
        if (!entry->obsolete) {
            API_AddParType probe {};
            CHTruncate(entry->variableName.c_str(), probe.name, sizeof probe.name);
            FUZZ_CHECK(after[fuzz::Lower(ParameterNameOf(probe))] >= 1);
        }
    // The cells of the dropped records are answered, never kept in the list; they and the rest
    // go here, so the leak check sees a handle that was neither released nor kept.
    for (GSHandle cells : dropped) {
        FUZZ_CHECK(cellsBefore.count(cells) == 1 && !cellsAfter.count(cells));
        BMhKill(&cells);
    }
    fuzz::ReleaseCells(params);
    return 0;
}
