// A "KDPC_HNDL" array of any shape: dimensions that do not match its cells, any cell values.
// Every reader stays inside the cells.
#include "FuzzSupport.hpp"
#include "KDPCUpdateInfo.hpp"
#include "Launchers.hpp"
#include "ParamList.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    API_AddParType param {};
    std::strcpy(param.name, "KDPC_HNDL");
    param.typeID = APIParT_RealNum;
    param.typeMod = API_ParArray;
    param.dim1 = in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(-1, 8);
    param.dim2 = in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(-1, 4);
    const size_t cells = in.ConsumeIntegralInRange<size_t>(0, 40);
    if (in.ConsumeIntegralInRange<int>(0, 9) > 0) {
        param.value.array = BMhAllClear(cells * sizeof(double) + in.ConsumeIntegralInRange<size_t>(0, 7));
        auto* values = reinterpret_cast<double*>(*param.value.array);
        for (size_t i = 0; i < cells && in.remaining_bytes() > 0; ++i)
            values[i] = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>() : in.ConsumeIntegralInRange<int>(-3, 3);
    }
    const std::string list = CloudListText(param);
    FUZZ_CHECK(list.size() <= cells * 160);
    Cloud::CellTable table(param);
    FUZZ_CHECK(table.Rows() >= 0 && table.Columns() >= 0);
    FUZZ_CHECK(static_cast<size_t>(table.Rows()) * static_cast<size_t>(table.Columns()) <= cells);
    double sum = 0;
    for (int32_t r = -1; r <= table.Rows(); ++r)
        for (int32_t c = -1; c <= table.Columns(); ++c)
            if (table.Has(r, c))
                sum += table.Cell(r, c);
    (void)sum;
    // The cloud update's reading: at most one cloud per whole row, each id once.
    const CloudEditions editions = ReadCloudEditions(param);
    FUZZ_CHECK(editions.GetSize() <= static_cast<USize>(table.Rows()));
    if (param.value.array != nullptr)
        BMhKill(&param.value.array);
    return 0;
}
