// Any bytes as the answer to each service query, through the real reader of that answer.
// FUZZ_READER chooses the reader, so that each gets a target and a corpus of its own.
#include "FuzzSupport.hpp"
#include "KDPCManager.hpp"
#include "PaletteAnswers.hpp"
#include "UpdateAnswer.hpp"
#include "UrlToGuidHandler.hpp"
#include "XmlAnswer.hpp"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XmlAnswer reader(XmlAnswer::InMemory {}, std::string_view(reinterpret_cast<const char*>(data), size));
#if FUZZ_READER == 1
    const GS::UniString guid = ReadProductGuid(reader);
    FUZZ_CHECK(guid.ToUTF8().size() <= size);
#elif FUZZ_READER == 2
    (void)ReadUnreadMailCount(reader);
#elif FUZZ_READER == 3
    const auto entries = ReadFeaturedEntries(reader, "ManufacturersModel", 10);
    FUZZ_CHECK(entries.size() <= 10);
#elif FUZZ_READER == 4
    UpdateDataTable table;
    const GS::Array<GS::UniString> requested {GS::UniString("A"), GS::UniString("B")};
    ReadUpdateAnswer(reader, requested, &table, [](const std::string&) {});
    FUZZ_CHECK(table.GetSize() <= 2);
    for (const auto& [guid, block] : table)
        for (const auto& entry : block->entries)
            FUZZ_CHECK(entry->variableName.size() <= 1023 && (!entry->value || entry->value->size() <= 1023));
#elif FUZZ_READER == 5
    KDPCManager::KDPCInfo info;
    (void)ReadKDPCAnswer(reader, &info);
#else
#error "FUZZ_READER names no reader"
#endif
    return 0;
}
