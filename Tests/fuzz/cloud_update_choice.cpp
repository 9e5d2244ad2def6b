// Any text as the cloud-update page's choice ("GUID,cloud,edition,...;"), read against a
// few collected rows: the choice only ever sets editions of clouds the rows hold, and only
// products the rows hold become updatable.
#include "FuzzSupport.hpp"
#include "KDPCUpdateManager.hpp"

#include <cstring>

namespace {

size_t CountEntries(const KDPCUpdateInfo& info)
{
    size_t entries = 0;
    for (const auto& table : info.newEditions)
        entries += table->GetSize();
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    KDPCUpdateManager& manager = KDPCUpdateManager::getInstance();
    KDPCUpdateInfo& info = manager.updateInfo;
    info.Clear();
    static const std::vector<std::string> Products = {"G1", "G2", "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B"};
    static const std::vector<std::string> Urls = {"a.example/1", "a.example/2", "b.example/3"};

    const int rows = in.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < rows; ++i) {
        API_Guid element {};
        element.bytes[0] = static_cast<unsigned char>(i + 1);
        CloudEditions editions;
        const int clouds = in.ConsumeIntegralInRange<int>(0, 4);
        for (int c = 0; c < clouds; ++c) {
            const int id = in.ConsumeIntegralInRange<int>(0, 20);
            if (!editions.ContainsKey(id))
                editions.Add(id, in.ConsumeIntegralInRange<int>(-2, 9));
        }
        const size_t product = in.ConsumeIntegralInRange<size_t>(0, Products.size() - 1);
        info.AddRow(element, GS::UniString(Products[product]), GS::UniString(Urls[product]), editions,
                    in.ConsumeIntegralInRange<int>(-1, 50));
    }

    const size_t entriesBefore = CountEntries(info);
    const std::string choice = in.ConsumeRemainingBytesAsString();
    manager.UpdateUpdateInfo(choice.c_str());
    FUZZ_CHECK(CountEntries(info) == entriesBefore);

    CloudIdsByProduct updatable;
    info.GetUpdatableProductGuidsAndKDPCes(&updatable);
    for (const auto& [product, clouds] : updatable) {
        FUZZ_CHECK(info.productGuids.Contains(product));
        FUZZ_CHECK(!clouds.IsEmpty());
    }

    info.Clear();
    return 0;
}
