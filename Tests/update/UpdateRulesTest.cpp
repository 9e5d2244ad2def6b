// The rules of the object update that need no host: rows and their editions, the update
// page's texts, the service request and the reading of its answer.
#include "UpdateAnswer.hpp"
#include "UpdateManager.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

API_Guid Element(int n)
{
    API_Guid guid;
    guid.bytes[0] = static_cast<unsigned char>(n);
    return guid;
}

class UpdateRulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager.updateInfo.Clear();
        manager.updatedProductGuids.Clear();
        manager.notUpdatedProductGuids.Clear();
    }
    void TearDown() override { SetUp(); }

    std::string ProductList() { return manager.GetUpdateInfo().get(); }

    UpdateManager& manager = UpdateManager::getInstance();
    UpdateInfo& info = manager.updateInfo;
};

}  // namespace

TEST_F(UpdateRulesTest, SmallestEditionPerProductFollowsTheSelection)
{
    struct Row {
        int edition;
        bool selected;
    };
    struct Case {
        const char* what;
        std::vector<Row> rows;
        bool selectionEmpty;
        const char* list;
    };
    const std::vector<Case> cases = {
        {"no selection: every row counts", {{5, false}, {3, false}, {4, false}}, true, "G,3;"},
        {"a later unselected row lowers the minimum", {{5, true}, {3, false}}, false, "G,3;"},
        {"an earlier unselected row does not enter", {{3, false}, {5, true}}, false, "G,5;"},
        {"a selection without Kordela rows", {{3, false}, {5, false}}, false, ""},
        {"an element without edition", {{NoEdition, false}}, true, "G,-999;"},
    };
    for (const Case& c : cases) {
        info.Clear();
        int n = 0;
        for (const Row& row : c.rows)
            info.AddRow(Element(++n), GS::UniString("G"), row.edition, 7, row.selected, c.selectionEmpty);
        EXPECT_EQ(info.elementGuids.GetSize(), c.rows.size()) << c.what;
        EXPECT_EQ(ProductList(), c.list) << c.what;
    }
}

TEST_F(UpdateRulesTest, ProductListKeepsCollectionOrder)
{
    info.AddRow(Element(1), GS::UniString("B"), 3, 1, false, true);
    info.AddRow(Element(2), GS::UniString("A"), NoEdition, 2, false, true);
    EXPECT_EQ(ProductList(), "B,3;A,-999;");
    EXPECT_EQ(ProductList(), "B,3;A,-999;") << "asked twice, the same list";
}

TEST_F(UpdateRulesTest, ProductWithSeparatorInItsGuidIsLeftOutAndReported)
{
    static std::vector<std::string> reports;
    reports.clear();
    API_HostTable table {};
    table.WriteReport = [](const char* text, bool) {
        reports.emplace_back(text);
        return NoError;
    };
    ASSERT_EQ(SetImportedFuncAddrs(&table, sizeof table), NoError);
    info.AddRow(Element(1), GS::UniString("A"), 3, 1, false, true);
    info.AddRow(Element(2), GS::UniString("B,9;C"), 2, 2, false, true);
    info.AddRow(Element(3), GS::UniString("D;"), 2, 3, false, true);
    info.AddRow(Element(4), GS::UniString("E"), 4, 4, false, true);
    EXPECT_EQ(ProductList(), "A,3;E,4;");
    SetImportedFuncAddrs(nullptr, 0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("B,9;C"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("D;"), std::string::npos) << reports[1];
}

TEST_F(UpdateRulesTest, PageChoiceSetsNewEditionsAndSelection)
{
    struct Case {
        const char* what;
        const char* choice;
        std::vector<int> newEditions;
        std::vector<bool> selected;
    };
    // Rows: G1 unselected, G1 selected, G2 unselected, G2 selected; all at edition 1.
    const std::vector<Case> cases = {
        {"true selects all rows of a product, false only touches selected rows",
         "G1,5,true;G2,4,false;",
         {5, 5, 1, 4},
         {true, true, false, true}},
        {"the last record needs no closing semicolon", "G1,5,true;G2,4,false", {5, 5, 1, 4}, {true, true, false, true}},
        {"a flag 1 is false", "G1,5,1", {1, 5, 1, 1}, {false, true, false, true}},
        {"letter case of true does not matter", "G1,6,TRUE", {6, 6, 1, 1}, {true, true, false, true}},
        {"further commas only move the flag", "G1,6,x,true", {6, 6, 1, 1}, {true, true, false, true}},
        {"records with fewer than three fields are ignored", "G1,6;G2;;", {1, 1, 1, 1}, {false, true, false, true}},
        {"an empty choice changes nothing", "", {1, 1, 1, 1}, {false, true, false, true}},
        {"the number is read like atoi", "G2,12x,true", {1, 1, 12, 12}, {false, true, true, true}},
    };
    for (const Case& c : cases) {
        info.Clear();
        info.AddRow(Element(1), GS::UniString("G1"), 1, 10, false, false);
        info.AddRow(Element(2), GS::UniString("G1"), 1, 10, true, false);
        info.AddRow(Element(3), GS::UniString("G2"), 1, 20, false, false);
        info.AddRow(Element(4), GS::UniString("G2"), 1, 21, true, false);
        manager.UpdateUpdateInfo(c.choice);
        std::vector<int> editions(info.newEditionNumbers.begin(), info.newEditionNumbers.end());
        EXPECT_EQ(editions, c.newEditions) << c.what;
        EXPECT_EQ(info.selectedFlags, c.selected) << c.what;
    }
}

TEST_F(UpdateRulesTest, UpdatableRowsAreGroupedByProduct)
{
    info.AddRow(Element(1), GS::UniString("G1"), 1, 10, true, false);
    info.AddRow(Element(2), GS::UniString("G2"), 2, 20, true, false);
    info.AddRow(Element(3), GS::UniString("G1"), 1, 10, true, false);
    info.AddRow(Element(4), GS::UniString("G1"), 1, 11, false, false);
    info.AddRow(Element(5), GS::UniString("G3"), 1, 30, true, false);
    manager.UpdateUpdateInfo("G1,2,false;G2,2,true;G3,3,false");

    GS::Array<GS::UniString> products {GS::UniString("G3")};
    info.GetUpdatableProductGuids(&products);
    ASSERT_EQ(products.GetSize(), 2u) << "G2's new edition equals its edition; G3 was in the list already";
    EXPECT_EQ(products[1], GS::UniString("G1"));

    ElementsByProduct elements;
    LibPartsByProduct parts;
    info.GetUpdatableObjectsAndLibParts(&elements, &parts);
    ASSERT_EQ(elements.GetSize(), 2u);
    EXPECT_EQ(elements.Get(GS::UniString("G1")).GetSize(), 2u) << "the unselected row is left out";
    EXPECT_EQ(parts.Get(GS::UniString("G1")).GetSize(), 1u) << "no library part twice";
    EXPECT_EQ(parts.Get(GS::UniString("G3"))[0], 30);
}

TEST_F(UpdateRulesTest, ResultListNamesUpdatedThenFailedProducts)
{
    EXPECT_EQ(std::string(manager.GetUpdateResultInfo().get()), "[]");
    manager.updatedProductGuids.Push(GS::UniString("A"));
    manager.notUpdatedProductGuids.Push(GS::UniString("B\"x"));
    EXPECT_EQ(std::string(manager.GetUpdateResultInfo().get()),
              "[{\"productguid\":\"A\",\"isupdated\":true,\"error\":null, \"warning\":null},"
              "{\"productguid\":\"B\\\"x\",\"isupdated\":false,\"error\":null, \"warning\":null}]");
}

TEST(UpdateAnswer, RequestListsTheProductsInOrder)
{
    EXPECT_EQ(BuildUpdateRequest("KEY", {GS::UniString("A"), GS::UniString("B")}),
              "<?xml version='1.0' encoding='UTF-8'?><Bim API='KEY'><Objects><Object ProductId='A' />"
              "<Object ProductId='B' /></Objects></Bim>");
    EXPECT_EQ(BuildUpdateRequest("K", {}),
              "<?xml version='1.0' encoding='UTF-8'?><Bim API='K'><Objects></Objects></Bim>");
    EXPECT_EQ(
        BuildUpdateRequest("K'", {GS::UniString("a'/><x")}),
        "<?xml version='1.0' encoding='UTF-8'?><Bim API='K&apos;'><Objects><Object ProductId='a&apos;/&gt;&lt;x' />"
        "</Objects></Bim>");
}

namespace {

std::string Parameter(const std::string& name, const std::string& value, const std::string& extra = "")
{
    const std::string attributes = "VariableName='" + name +
                                   "' BIMParameterName='b' VariableDescription='d' VariableType='String' "
                                   "VariableStyle='' VariableModifier='' " +
                                   extra;
    if (value == "<empty>")
        return "<Parameter " + attributes + "/>";
    return "<Parameter " + attributes + ">" + value + "</Parameter>";
}

std::string Block(const std::string& guid, const std::string& edition, const std::string& more = "")
{
    std::string block = "<Object ProductId='" + guid + "'><Parameters>";
    if (!guid.empty())
        block += Parameter("KD_productguid", guid, "Obsolete='false'");
    if (!edition.empty())
        block += Parameter("KD_edinum", edition, "Obsolete='false'");
    return block + more + "</Parameters></Object>";
}

struct AnswerResult {
    UpdateDataTable table;
    std::vector<std::string> reports;
};

AnswerResult Read(const std::string& body, const std::vector<std::string>& requested)
{
    // Each test runs in a process of its own, side by side with others: one file per process.
    const std::string path =
        (std::filesystem::temp_directory_path() / ("kordela-update-answer-" + std::to_string(::getpid()) + ".xml"))
            .string();
    // A body that ends inside a tag stands for an answer cut off there.
    const bool cut = !body.empty() && body.back() != '>';
    std::ofstream(path) << "<Bim><Objects>" << body << (cut ? "" : "</Objects></Bim>");
    GS::Array<GS::UniString> products;
    for (const auto& guid : requested)
        products.Push(GS::UniString(guid));
    AnswerResult result;
    ReadUpdateAnswer(path.c_str(), products, &result.table,
                     [&](const std::string& line) { result.reports.push_back(line); });
    std::filesystem::remove(path);
    return result;
}

}  // namespace

TEST(UpdateAnswer, BlocksAreAcceptedOncePerRequestedProduct)
{
    struct Case {
        const char* what;
        std::string body;
        size_t accepted;
        size_t reports;
        const char* report;
    };
    const std::vector<Case> cases = {
        {"one block", Block("A", "3"), 1, 0, ""},
        {"a block without edition adds nothing, silently", Block("A", ""), 0, 0, ""},
        {"a second block for the product", Block("A", "3") + Block("A", "4"), 1, 1,
         "The following item was already downloaded: A"},
        {"a product that was not asked for", Block("C", "3"), 0, 1, "C"},
        {"a block without its own GUID does not borrow the last one", Block("A", "3") + Block("", "4"), 1, 0, ""},
        {"a cut-off answer keeps what came whole", Block("A", "3") + "<Object><Parameters><Param", 1, 0, ""},
    };
    for (const Case& c : cases) {
        const AnswerResult result = Read(c.body, {"A", "B"});
        EXPECT_EQ(result.table.GetSize(), c.accepted) << c.what;
        ASSERT_EQ(result.reports.size(), c.reports) << c.what;
        if (c.reports > 0) {
            EXPECT_NE(result.reports[0].find(c.report), std::string::npos) << c.what << ": " << result.reports[0];
        }
    }
}

TEST(UpdateAnswer, EntriesKeepTheirAttributesAndDecodedValues)
{
    const std::string longValue(2000, 'v');
    const AnswerResult result =
        Read(Block("A", "3",
                   Parameter("E", "<empty>", "Obsolete='true'") + Parameter("S", "a%20b+c", "Obsolete='false'") +
                       Parameter("L", longValue, "") + Parameter("O", "x", "Obsolete='TRUE'")),
             {"A"});
    ASSERT_EQ(result.table.GetSize(), 1u);
    const UpdateEntries& entries = result.table.Get(GS::UniString("A"))->entries;
    ASSERT_EQ(entries.GetSize(), 6u);
    EXPECT_EQ(entries[0]->variableName, "KD_productguid");
    EXPECT_EQ(*entries[0]->value, "A") << "the identifying parameters are ordinary entries too";
    EXPECT_EQ(entries[2]->variableName, "E");
    EXPECT_FALSE(entries[2]->value.has_value());
    EXPECT_TRUE(entries[2]->obsolete);
    EXPECT_EQ(*entries[3]->value, "a b+c");
    EXPECT_FALSE(entries[3]->obsolete);
    EXPECT_EQ(entries[3]->bimParameterName, "b");
    EXPECT_EQ(entries[3]->variableType, "String");
    EXPECT_EQ(entries[4]->value->size(), 1023u);
    EXPECT_FALSE(entries[4]->obsolete) << "no Obsolete attribute";
    EXPECT_TRUE(entries[5]->obsolete);
}

// Each text comes from the attribute of its own name, in whatever order the answer writes them,
// with its references resolved; attributes the entry does not know change nothing.
TEST(UpdateAnswer, EachTextComesFromItsOwnAttribute)
{
    const std::string parameter =
        "<Parameter Unknown='u' VariableModifier='Child' Obsolete='true' VariableStyle='Bold' "
        "VariableType='Real' VariableDescription='a &amp; &apos;b&apos; &lt;c&gt;' BIMParameterName='bim' "
        "VariableName='P&quot;1'>2.5</Parameter><Parameter VariableName='Q'/>";
    const AnswerResult result = Read(Block("A", "3", parameter), {"A"});
    ASSERT_EQ(result.table.GetSize(), 1u);
    const UpdateEntries& entries = result.table.Get(GS::UniString("A"))->entries;
    ASSERT_EQ(entries.GetSize(), 4u);
    const UpdateDataEntry& full = *entries[2];
    EXPECT_EQ(full.variableName, "P\"1");
    EXPECT_EQ(full.bimParameterName, "bim");
    EXPECT_EQ(full.variableDescription, "a & 'b' <c>");
    EXPECT_EQ(full.variableType, "Real");
    EXPECT_EQ(full.variableStyle, "Bold");
    EXPECT_EQ(full.variableModifier, "Child");
    EXPECT_TRUE(full.obsolete);
    EXPECT_EQ(full.value, std::optional<std::string>("2.5"));
    const UpdateDataEntry& bare = *entries[3];
    EXPECT_EQ(bare.variableName, "Q");
    EXPECT_TRUE(bare.bimParameterName.empty() && bare.variableDescription.empty() && bare.variableType.empty() &&
                bare.variableStyle.empty() && bare.variableModifier.empty());
    EXPECT_FALSE(bare.obsolete);
    EXPECT_FALSE(bare.value.has_value());
}

TEST_F(UpdateRulesTest, GroupsTheCallerBroughtKeepTheirValuesAndTakeNoneTwice)
{
    info.AddRow(Element(1), GS::UniString("G1"), 1, 10, true, false);
    info.AddRow(Element(2), GS::UniString("G1"), 1, 11, true, false);
    info.AddRow(Element(3), GS::UniString("G2"), 1, 20, true, false);
    manager.UpdateUpdateInfo("G1,2,true;G2,2,true");

    ElementsByProduct elements;
    elements.Add(GS::UniString("G1"), GS::Array<API_Guid> {Element(9), Element(2)});
    LibPartsByProduct parts;
    parts.Add(GS::UniString("G2"), GS::Array<int> {20});
    info.GetUpdatableObjectsAndLibParts(&elements, &parts);
    const GS::Array<API_Guid>& g1 = elements.Get(GS::UniString("G1"));
    ASSERT_EQ(g1.GetSize(), 3u);
    EXPECT_TRUE(g1[0] == Element(9) && g1[1] == Element(2) && g1[2] == Element(1));
    EXPECT_EQ(parts.Get(GS::UniString("G2")).GetSize(), 1u);
    EXPECT_EQ(parts.Get(GS::UniString("G1")).GetSize(), 2u);
}
