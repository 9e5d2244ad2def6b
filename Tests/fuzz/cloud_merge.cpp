// The merge of a cloud into a part's parameter list, fed a generated list and cloud: no
// record is lost, no name is written twice, every entry of the cloud is in the list
// afterwards when some were missing, and every index equals its position.
#include "FuzzSupport.hpp"
#include "KDPCManager.hpp"
#include "ParameterText.hpp"

#include <map>

namespace {

const std::vector<std::string> Names = {"P1",       "KDPC_HNDL", "KDPC_Title", "KDPC_Separator", "KDPC_1_Title",
                                        "KDPC_1_a", "KDPC_1_b",  "KDPC_2_a",   "kdpc_1_a"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int32_t count = in.ConsumeIntegralInRange<int32_t>(0, 20);
    API_AddParType** params = nullptr;
    std::vector<API_AddParType> before;
    if (count > 0 || in.ConsumeBool()) {
        const int32_t held = std::max(0, count + in.ConsumeIntegralInRange<int32_t>(-2, 2));
        params = BMTypedHandle<API_AddParType>(BMhAllClear(sizeof(API_AddParType) * static_cast<size_t>(held)));
        for (int32_t i = 0; i < held; ++i) {
            API_AddParType record {};
            const std::string name = fuzz::PickName(in, Names);
            std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
            record.typeID = in.ConsumeBool() ? APIParT_CString : APIParT_RealNum;
            record.index = i;
            (*params)[i] = record;
        }
    }
    // A count the handle does not back: only the records it holds take part.
    if (in.ConsumeBool())
        count = in.ConsumeIntegral<int32_t>();
    if (params != nullptr) {
        const auto held = static_cast<int32_t>(BMhGetSize(reinterpret_cast<GSHandle>(params)) / sizeof(API_AddParType));
        before.assign(*params, *params + std::max(0, std::min(held, count)));
    }

    KDPCManager::KDPCInfo info;
    info.name = in.ConsumeRandomLengthString(80);
    const size_t entries = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t i = 0; i < entries; ++i) {
        KDPCManager::KDPCParamType entry;
        // Entry names are the host's short names, so that the check below can find them.
        entry.variableName = fuzz::PickName(in, Names, false);
        entry.name = in.ConsumeRandomLengthString(300);
        entry.isTitle = i == 0;
        if (!entry.isTitle || in.ConsumeBool())
            entry.value = in.ConsumeRandomLengthString(300);
        entry.visible = in.ConsumeBool();
        entry.editable = in.ConsumeBool();
        info.params.Push(std::move(entry));
    }
    // The positions of the cloud's entries that the part lacks.
    GS::Array<int> missing;
    for (size_t i = 0; i < entries; ++i)
        if (in.ConsumeBool())
            missing.Push(static_cast<int>(i));
    const std::string prefix = in.ConsumeRandomLengthString(20);

    KDPCManager::UpdateKDPCMemo(params, count, prefix.c_str(), info, missing);

    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(count == 0 || (params != nullptr && BMhGetSize(reinterpret_cast<GSHandle>(params)) >=
                                                       sizeof(API_AddParType) * static_cast<size_t>(count)));
    std::map<std::string, int> after;
    for (int32_t i = 0; i < count; ++i) {
        if (!missing.IsEmpty())
            FUZZ_CHECK((*params)[i].index == i);
        ++after[fuzz::Lower(ParameterNameOf((*params)[i]))];
    }
    std::map<std::string, int> old;
    for (const API_AddParType& record : before)
        ++old[fuzz::Lower(ParameterNameOf(record))];
    for (const auto& [name, n] : old)
        FUZZ_CHECK(after[name] >= n);
    // A name the list held keeps its records, one more is never written; others come once.
    for (const auto& [name, n] : after)
        FUZZ_CHECK(n <= std::max(old[name], 1));
    if (!missing.IsEmpty())
        for (const auto& entry : info.params) {
            API_AddParType probe {};
            std::strncpy(probe.name, entry.variableName.c_str(), sizeof probe.name - 1);
            FUZZ_CHECK(after[fuzz::Lower(ParameterNameOf(probe))] >= 1);
        }
    if (params != nullptr) {
        GSHandle handle = reinterpret_cast<GSHandle>(params);
        BMhKill(&handle);
    }
    return 0;
}
