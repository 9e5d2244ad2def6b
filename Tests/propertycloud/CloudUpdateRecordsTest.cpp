// The property-cloud update's collection, the texts it exchanges with its pages and the
// reading of "KDPC_HNDL", on records built in memory.
#include "KDPCUpdateManager.hpp"
#include "UrlToGuidHandler.hpp"

#include "BM.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

API_Guid Element(int n)
{
    API_Guid guid {};
    guid.bytes[0] = static_cast<unsigned char>(n);
    return guid;
}

CloudEditions Editions(std::vector<std::pair<int, int>> pairs)
{
    CloudEditions editions;
    for (const auto& [cloud, edition] : pairs)
        editions.Add(cloud, edition);
    return editions;
}

std::vector<std::pair<int, int>> Pairs(const CloudEditions& editions)
{
    std::vector<std::pair<int, int>> pairs;
    for (const auto& [cloud, edition] : editions)
        pairs.emplace_back(cloud, edition);
    return pairs;
}

template <class T>
std::vector<std::pair<std::string, std::vector<T>>> Listed(const GS::HashTable<GS::UniString, GS::Array<T>>& table)
{
    std::vector<std::pair<std::string, std::vector<T>>> listed;
    for (const auto& [key, values] : table)
        listed.emplace_back(key.ToUTF8(), std::vector<T>(values.begin(), values.end()));
    return listed;
}

using IdLists = std::vector<std::pair<std::string, std::vector<int>>>;

class CloudUpdateRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager.updateInfo.Clear();
        manager.updatedClouds.Clear();
        manager.notUpdatedClouds.Clear();
        UrlToGuidHandler::getInstance().Add(GS::UniString("kordela.example/Product/1"), GS::UniString("G1"));
        UrlToGuidHandler::getInstance().Add(GS::UniString("kordela.example/Product/2"), GS::UniString("G2"));
    }

    // Two products: G1 placed twice with one part, the first placed with the smaller
    // editions; G2 with a cloud record without rows.
    void TwoProducts()
    {
        info.AddRow(Element(1), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"),
                    Editions({{7, 1}, {9, 2}}), 11);
        info.AddRow(Element(2), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"),
                    Editions({{7, 3}, {12, 4}}), 11);
        info.AddRow(Element(3), GS::UniString("G2"), GS::UniString("kordela.example/Product/2"), Editions({}), 12);
    }

    std::string UpdateList() { return manager.GetUpdateInfo().get(); }
    std::string ResultList() { return manager.GetUpdateResultInfo().get(); }

    KDPCUpdateManager& manager = KDPCUpdateManager::getInstance();
    KDPCUpdateInfo& info = manager.updateInfo;
};

}  // namespace

TEST_F(CloudUpdateRecords, RowsOfOneUrlShareTheFirstRowsTable)
{
    info.AddRow(Element(1), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"), Editions({{7, 3}, {9, 2}}),
                11);
    info.AddRow(Element(2), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"),
                Editions({{7, 1}, {12, 4}}), 11);
    info.AddRow(Element(3), GS::UniString("G2"), GS::UniString("kordela.example/Product/2"), Editions({}), 12);
    ASSERT_EQ(info.minimalEditionsByUrl.GetSize(), 2u);
    const auto& merged = info.minimalEditionsByUrl.Get(GS::UniString("kordela.example/Product/1"));
    EXPECT_EQ(Pairs(*merged), (std::vector<std::pair<int, int>> {{7, 1}, {9, 2}, {12, -999}}));
    EXPECT_EQ(merged, info.currentEditions[0]) << "the first row's current editions are the merged table";
    EXPECT_EQ(Pairs(*info.currentEditions[1]), (std::vector<std::pair<int, int>> {{7, 1}, {12, 4}}));
    EXPECT_EQ(Pairs(*info.newEditions[0]), (std::vector<std::pair<int, int>> {{7, 3}, {9, 2}}));
    EXPECT_EQ(Listed(info.libPartsByUrl),
              (IdLists {{"kordela.example/Product/1", {11}}, {"kordela.example/Product/2", {12}}}));
    EXPECT_EQ(UpdateList(), "G1,7,1,9,2,12,-999;G2;");
    // So the first row's own edition of cloud 7 now exceeds its current one.
    CloudIdsByProduct updatable;
    info.GetUpdatableProductGuidsAndKDPCes(&updatable);
    EXPECT_EQ(Listed(updatable), (IdLists {{"G1", {7}}}));

    // The same table again changes nothing.
    info.AddRow(Element(4), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"),
                Editions({{7, 1}, {9, 2}, {12, -999}}), 11);
    EXPECT_EQ(Pairs(*merged), (std::vector<std::pair<int, int>> {{7, 1}, {9, 2}, {12, -999}}));
    EXPECT_EQ(info.libPartsByUrl.Get(GS::UniString("kordela.example/Product/1")).GetSize(), 1u);
}

TEST_F(CloudUpdateRecords, UpdateListNamesEachProductWithItsSmallestEditions)
{
    EXPECT_EQ(UpdateList(), "");
    const auto empty = manager.GetUpdateInfo();
    EXPECT_EQ(empty[999999], '\0') << "the page's buffer is a million bytes, zero-filled";

    TwoProducts();
    EXPECT_EQ(UpdateList(), "G1,7,1,9,2,12,-999;G2;");

    // A GUID holding a separator would split its record: that product is left out, and the
    // report window says so, as the object update does.
    static std::vector<std::pair<std::string, bool>> reports;
    reports.clear();
    API_HostTable table {};
    table.WriteReport = [](const char* text, bool alert) {
        reports.emplace_back(text, alert);
        return NoError;
    };
    ASSERT_EQ(SetImportedFuncAddrs(&table, sizeof table), NoError);
    UrlToGuidHandler::getInstance().Add(GS::UniString("kordela.example/Product/3"), GS::UniString("G3;G1,7"));
    info.AddRow(Element(5), GS::UniString("G3;G1,7"), GS::UniString("kordela.example/Product/3"), Editions({{5, 1}}),
                13);
    EXPECT_EQ(UpdateList(), "G1,7,1,9,2,12,-999;G2;");
    SetImportedFuncAddrs(nullptr, 0);
    EXPECT_EQ(reports, (std::vector<std::pair<std::string, bool>> {
                           {"Product left out of the update list, its GUID holds \",\" or \";\": G3;G1,7", false}}));
}

TEST_F(CloudUpdateRecords, LongUpdateListIsDeliveredWhole)
{
    for (int i = 0; i < 100000; ++i)
        info.AddRow(Element(1), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"),
                    Editions({{i, 1000000 + i}}), 11);
    const std::string list = UpdateList();
    EXPECT_GT(list.size(), 999999u);
    EXPECT_EQ(list.substr(0, 24), "G1,0,1000000,1,-999,2,-9");
    EXPECT_EQ(list.substr(list.size() - 12), ",99999,-999;");
}

TEST_F(CloudUpdateRecords, ChosenListRaisesTheNewEditionsOfCloudsTheRowsHold)
{
    struct Case {
        const char* what;
        std::string chosen;
        IdLists updatable;
    };
    const std::string guid49(49, 'g');
    const std::string guid50(50, 'g');
    const std::vector<Case> cases {
        {"the last field needs no closing ';'", "G1,7,3,9,4;G2,5,1", {{"G1", {7, 9}}}},
        {"a negative edition is ignored", "G1,7,-1;", {}},
        {"a negative cloud id is ignored", "G1,-7,5;", {}},
        {"an unknown product or cloud changes nothing", "G9,7,5;G1,8,5;G2,7,5", {}},
        {"editions not above the current ones", "G1,7,1,9,2", {}},
        {"seven digits fit", "G1,0000007,0000005", {{"G1", {7}}}},
        {"a number past seven digits counts as none", "G1,7,00000005;G1,00000009,5", {}},
        {"the second row's cloud", "G1,12,5", {{"G1", {12}}}},
        {"a GUID of 49 characters fits", guid49 + ",7,5", {{guid49, {7}}}},
        {"a GUID past 49 characters is not cut to another", guid50 + ",7,5", {}},
        {"empty fields", ",,;;,", {}},
    };
    for (const Case& c : cases) {
        SetUp();
        TwoProducts();
        info.AddRow(Element(6), GS::UniString(guid49), GS::UniString("u49"), Editions({{7, 1}}), 14);
        info.AddRow(Element(7), GS::UniString(guid49.substr(0, 49)), GS::UniString("u49b"), Editions({}), 15);
        info.AddRow(Element(8), GS::UniString(guid50), GS::UniString("u50"), Editions({{7, 1}}), 16);
        manager.UpdateUpdateInfo(c.chosen.c_str());
        CloudIdsByProduct updatable;
        info.GetUpdatableProductGuidsAndKDPCes(&updatable);
        EXPECT_EQ(Listed(updatable), c.updatable) << c.what;
        for (const auto& editions : info.newEditions)
            for (const auto& [cloud, edition] : *editions)
                EXPECT_NE(cloud, 5) << c.what << ": no key is added";
    }
}

TEST_F(CloudUpdateRecords, UpdatableRowsGiveTheirElementsAndParts)
{
    TwoProducts();
    info.AddRow(Element(4), GS::UniString("G1"), GS::UniString("kordela.example/Product/1"), Editions({{9, 2}}), 21);
    manager.UpdateUpdateInfo("G1,9,3,12,5;G2,7,1");
    CloudIdsByProduct clouds;
    info.GetUpdatableProductGuidsAndKDPCes(&clouds);
    EXPECT_EQ(Listed(clouds), (IdLists {{"G1", {9, 12}}}));
    ElementsByProduct objects;
    LibPartsByProduct parts;
    info.GetUpdatableObjectsAndLibParts(&objects, &parts);
    ASSERT_EQ(objects.GetSize(), 1u);
    EXPECT_EQ(objects.Get(GS::UniString("G1")).GetSize(), 3u);
    EXPECT_EQ(Listed(parts), (IdLists {{"G1", {11, 21}}}));

    SetUp();
    TwoProducts();
    manager.UpdateUpdateInfo("G1,7,1,9,2,12,4;G2");
    clouds.Clear();
    objects.Clear();
    parts.Clear();
    info.GetUpdatableProductGuidsAndKDPCes(&clouds);
    info.GetUpdatableObjectsAndLibParts(&objects, &parts);
    EXPECT_TRUE(clouds.IsEmpty());
    EXPECT_TRUE(objects.IsEmpty());
    EXPECT_TRUE(parts.IsEmpty());
}

TEST_F(CloudUpdateRecords, ResultListIsTheJsonThePageReads)
{
    EXPECT_EQ(ResultList(), "[]");
    manager.updatedClouds.Add(GS::UniString("G1"), GS::Array<int> {7});
    manager.notUpdatedClouds.Add(GS::UniString("G2"), GS::Array<int> {9});
    EXPECT_EQ(ResultList(),
              R"([{"productguid":"G1", "clouds": [{"id":7, "isupdated": true, "error": null, "warning": null}]},)"
              R"({"productguid":"G2", "clouds": [{"id":9, "isupdated": false, "error": null, "warning": null}]}])");
    manager.updatedClouds.Get(GS::UniString("G1")).Push(12);
    manager.updatedClouds.Add(GS::UniString("G\"3"), GS::Array<int> {-4});
    manager.notUpdatedClouds.Clear();
    EXPECT_EQ(ResultList(),
              R"([{"productguid":"G1", "clouds": [{"id":7, "isupdated": true, "error": null, "warning": null},)"
              R"({"id":12, "isupdated": true, "error": null, "warning": null}]},)"
              R"({"productguid":"G\"3", "clouds": [{"id":-4, "isupdated": true, "error": null, "warning": null}]}])");
}

TEST_F(CloudUpdateRecords, CloudRowsAreReadInsideTheArray)
{
    struct Case {
        std::vector<double> cells;
        int32_t rows;
        int32_t columns;
        std::vector<std::pair<int, int>> editions;
    };
    for (const Case& c :
         {Case {{7, 1, 3, 7, 1, 5}, 2, 3, {{7, 3}}}, Case {{12.9, 1, 4.7, -3, 0, -2}, 2, 3, {{12, 4}, {-3, -2}}},
          Case {{1e12, 1, 3, -1e12, 1, 3, std::nan(""), 1, 3, 8, 1, 1e12}, 4, 3, {{8, 2147483647}}},
          Case {{7, 1, 9, 1}, 2, 2, {{7, -1}, {9, -1}}}, Case {{7, 1, 3}, 2, 3, {{7, 3}}}, Case {{}, 0, 3, {}}}) {
        API_AddParType param {};
        param.typeMod = API_ParArray;
        param.dim1 = c.rows;
        param.dim2 = c.columns;
        param.value.array = BMhAllClear(c.cells.size() * sizeof(double));
        if (!c.cells.empty())
            std::memcpy(*param.value.array, c.cells.data(), c.cells.size() * sizeof(double));
        EXPECT_EQ(Pairs(ReadCloudEditions(param)), c.editions) << ::testing::PrintToString(c.cells);
        BMhKill(&param.value.array);
    }
}
