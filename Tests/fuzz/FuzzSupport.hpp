// What the fuzz targets share: a failed invariant ends the run with a message (libFuzzer keeps
// the input), and generated parameter records.
#pragma once

#include "ACAPI.hpp"
#include "BM.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (false)

namespace fuzz {

// A name from `pool` or, now and then when `arbitrary`, a short name of arbitrary bytes.
inline std::string PickName(FuzzedDataProvider& in, const std::vector<std::string>& pool, bool arbitrary = true)
{
    if (arbitrary && in.ConsumeIntegralInRange<int>(0, 7) == 0)
        return in.ConsumeRandomLengthString(40);
    return pool[in.ConsumeIntegralInRange<size_t>(0, pool.size() - 1)];
}

// One parameter record of a library part, now and then with array cells of its own.
inline API_AddParType Record(FuzzedDataProvider& in, const std::string& name)
{
    API_AddParType record {};
    std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
    static constexpr API_AddParID Types[] = {APIParT_Integer, APIParT_RealNum, APIParT_CString, APIParT_Title,
                                             APIParT_Separator};
    record.typeID = Types[in.ConsumeIntegralInRange<size_t>(0, std::size(Types) - 1)];
    record.flags = in.ConsumeIntegral<uint16_t>();
    if (in.ConsumeBool()) {
        record.typeMod = API_ParArray;
        record.dim1 = in.ConsumeIntegralInRange<int32_t>(-1, 4);
        record.dim2 = in.ConsumeIntegralInRange<int32_t>(-1, 4);
        record.value.array = BMhAllClear(sizeof(double) * in.ConsumeIntegralInRange<size_t>(0, 16));
    } else {
        record.value.real = in.ConsumeFloatingPoint<double>();
    }
    return record;
}

// Parameter names compare without regard to ASCII letter case.
inline std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Releases the cells of every record that has some.
inline void ReleaseCells(std::vector<API_AddParType>& records)
{
    for (API_AddParType& record : records)
        if (record.value.array != nullptr)
            BMhKill(&record.value.array);
}

}  // namespace fuzz
