// Any text as the update page's choice ("GUID,edition,flag;..."), read against a few rows.
#include "FuzzSupport.hpp"
#include "UpdateManager.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    UpdateManager& manager = UpdateManager::getInstance();
    manager.updateInfo.Clear();
    static const std::vector<std::string> Products = {"G1", "G2", "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B"};
    const int rows = in.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < rows; ++i) {
        API_Guid element {};
        element.bytes[0] = static_cast<unsigned char>(i + 1);
        manager.updateInfo.AddRow(element, GS::UniString(fuzz::PickName(in, Products)), in.ConsumeIntegral<int>(),
                                  in.ConsumeIntegralInRange<int>(0, 50), in.ConsumeBool(), in.ConsumeBool());
    }
    const std::string choice = in.ConsumeRemainingBytesAsString();
    manager.UpdateUpdateInfo(choice.c_str());
    GS::Array<GS::UniString> products;
    manager.updateInfo.GetUpdatableProductGuids(&products);
    FUZZ_CHECK(products.GetSize() <= static_cast<UIndex>(rows));
    manager.updateInfo.Clear();
    return 0;
}
