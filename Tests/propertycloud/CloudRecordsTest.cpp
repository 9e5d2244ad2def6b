// The cloud's parameter records and the merge of a cloud into a parameter list, on lists
// built in memory.
#include "KDPCManager.hpp"
#include "ParamList.hpp"
#include "ParameterRewrite.hpp"

#include <cstring>

#include "BM.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Entry = KDPCManager::KDPCParamType;

struct Row {
    std::string name;
    std::string value;
};

// A list of text parameters with the given names and values, index fields as positions.
API_AddParType** MakeList(const std::vector<Row>& rows)
{
    auto params = BMTypedHandle<API_AddParType>(BMhAllClear(std::max<size_t>(rows.size(), 1) * sizeof(API_AddParType)));
    BMhSetSize(reinterpret_cast<GSHandle>(params), rows.size() * sizeof(API_AddParType));
    for (size_t i = 0; i < rows.size(); ++i)
        KDPCManager::NAddParameter(&(*params)[i], static_cast<short>(i), APIParT_CString, 0, rows[i].name.c_str(), "",
                                   0, rows[i].value.c_str(), true);
    return params;
}

std::vector<Row> Rows(API_AddParType** params, int32_t count)
{
    std::vector<Row> rows;
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_EQ((*params)[i].index, i) << ParameterNameOf((*params)[i]);
        rows.push_back({ParameterNameOf((*params)[i]), ParameterTextOf((*params)[i])});
    }
    return rows;
}

Entry Title(const std::string& variableName)
{
    Entry e;
    e.variableName = variableName;
    e.name = "Cloud";
    e.visible = true;
    e.isTitle = true;
    return e;
}

Entry Property(const std::string& variableName, const std::string& value, bool editable)
{
    Entry e;
    e.variableName = variableName;
    e.name = variableName + " shown";
    e.value = value;
    e.editable = editable;
    return e;
}

KDPCManager::KDPCInfo MakeCloud(std::vector<Entry> entries)
{
    KDPCManager::KDPCInfo info;
    for (auto& e : entries)
        info.params.Push(e);
    return info;
}

bool operator==(const Row& a, const Row& b)
{
    return a.name == b.name && a.value == b.value;
}

void PrintTo(const Row& r, std::ostream* os)
{
    *os << r.name << "=" << r.value;
}

}  // namespace

TEST(CloudRecords, SimpleRecordKeepsWhatItDoesNotWrite)
{
    API_AddParType param;
    param.dim1 = 7;
    std::fill(std::begin(param.name), std::end(param.name), 'x');
    KDPCManager::NAddParameter(&param, 4, APIParT_Title, APIParFlg_BoldName, nullptr, "Sets", 0, "ignored", false);
    EXPECT_EQ(param.dim1, 7);
    EXPECT_EQ(ParameterNameOf(param), std::string(API_NameLen, 'x'));  // no name given: left as it was
    EXPECT_EQ(param.value.real, 0);
    EXPECT_EQ(param.value.uStr[0], 0);  // only a text parameter takes the text
    EXPECT_EQ(param.index, 4);
    EXPECT_EQ(param.flags, APIParFlg_BoldName);

    const std::string longName(40, 'N');
    KDPCManager::NAddParameter(&param, 1, APIParT_CString, 1, longName.c_str(), "\xC3\x98 60", 0, "EI 60 \xE2\x82\xAC",
                               true);
    EXPECT_EQ(ParameterNameOf(param), std::string(API_NameLen - 1, 'N'));
    EXPECT_EQ(std::u16string(param.uDescname), u"\u00D8 60");
    EXPECT_EQ(std::u16string(param.value.uStr), u"EI 60 \u20AC");

    KDPCManager::NAddParameter(&param, 1, APIParT_CString, 1, "N", "d", 0, std::string(400, 'v').c_str(), false);
    EXPECT_EQ(std::u16string(param.value.uStr).size(), API_UAddParStrLen - 1);
}

TEST(CloudRecords, SimpleRecordsAreThoseOfTheObjectUpdate)
{
    struct Case {
        API_AddParID type;
        const char* name;
        const char* description;
        const char* text;
        bool utf8;
    };
    for (const Case& c : {Case {APIParT_CString, "KDPC_C0012_P", "Fire \xE2\x82\xAC", "EI 60", true},
                          Case {APIParT_Title, "KDPC_Title", "KDPC Property Sets", "", false},
                          Case {APIParT_Separator, nullptr, nullptr, nullptr, false}}) {
        API_AddParType ours;
        API_AddParType theirs;
        std::memset(static_cast<void*>(&ours), 0x5A, sizeof ours);
        std::memset(static_cast<void*>(&theirs), 0x5A, sizeof theirs);
        KDPCManager::NAddParameter(&ours, 3, c.type, 1, c.name, c.description, 2.5, c.text, c.utf8);
        AddParameter(&theirs, 3, c.type, 1, c.name, c.description, 2.5, c.text, c.utf8);
        EXPECT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << c.type;
    }
}

TEST(CloudRecords, ArrayRecordOwnsItsCopy)
{
    GSHandle cells = BMhAllClear(3 * sizeof(double));
    reinterpret_cast<double*>(*cells)[0] = 12;
    API_AddParType param;
    param.value.real = 5;
    KDPCManager::AddParameterArray(&param, 3, APIParT_Integer, APIParFlg_Hidden, "KDPC_HNDL", "Kordela Property Cloud",
                                   1, 3, cells);
    reinterpret_cast<double*>(*cells)[0] = 99;
    ASSERT_NE(param.value.array, nullptr);
    EXPECT_NE(param.value.array, cells);
    EXPECT_EQ(reinterpret_cast<double*>(*param.value.array)[0], 12);
    EXPECT_EQ(param.typeMod, API_ParArray);
    EXPECT_EQ(param.dim1, 1);
    EXPECT_EQ(param.dim2, 3);
    EXPECT_EQ(param.value.real, 5);
    EXPECT_EQ(std::u16string(param.uDescname), u"Kordela Property Cloud");
    BMhKill(&cells);
    BMhKill(&param.value.array);
}

TEST(CloudRecords, CellsAreReadOnlyInsideTheArray)
{
    struct Case {
        int32_t typeMod;
        int32_t dim1;
        int32_t dim2;
        size_t held;  // cells the handle really holds
        int32_t rows;
        int32_t columns;
    };
    for (const Case& c :
         {Case {API_ParArray, 2, 3, 6, 2, 3}, Case {API_ParArray, 3, 3, 6, 2, 3}, Case {API_ParArray, 2, 3, 5, 1, 3},
          Case {API_ParArray, 1, 4, 4, 1, 4}, Case {API_ParArray, 0, 3, 3, 0, 0}, Case {API_ParArray, -1, 3, 3, 0, 0},
          Case {API_ParArray, 2, 0, 3, 0, 0}, Case {API_ParArray, 1, 3, 0, 0, 0},
          Case {API_ParSimple, 1, 3, 3, 0, 0}}) {
        API_AddParType param;
        param.typeMod = c.typeMod;
        param.dim1 = c.dim1;
        param.dim2 = c.dim2;
        param.value.array = BMhAllClear(c.held * sizeof(double));
        Cloud::CellTable table(param);
        EXPECT_EQ(table.Rows(), c.rows) << c.dim1 << "x" << c.dim2 << " holding " << c.held;
        EXPECT_EQ(table.Columns(), c.columns) << c.dim1 << "x" << c.dim2 << " holding " << c.held;
        BMhKill(&param.value.array);
    }
}

TEST(CloudRecords, PrefixIsTheTitlesFirstElevenCharacters)
{
    EXPECT_EQ(KDPCManager::CloudPrefix(MakeCloud({Title("KDPC_C0012_Title")})), "KDPC_C0012_");
    EXPECT_EQ(KDPCManager::CloudPrefix(MakeCloud({Title("KDPC_C1")})), "KDPC_C1");
    EXPECT_EQ(KDPCManager::CloudPrefix(MakeCloud({})), "");
}

TEST(CloudMerge, EntriesGoIntoTheCloudsPlace)
{
    const std::string cutName = "KDPC_C0012_" + std::string(30, 'L');
    struct Case {
        const char* what;
        std::vector<Row> list;
        std::vector<Entry> cloud;
        int missing;
        std::vector<Row> merged;
    };
    const std::vector<Case> cases {
        {"first attach",
         {{"A", "1"}, {"KD_Separator2", ""}, {"KDPC_HNDL", ""}, {"KDPC_Title", ""}, {"KDPC_Separator", ""}, {"X", "x"}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "p1", false), Property("KDPC_C0012_P2", "p2", true)},
         3,
         {{"A", "1"},
          {"KD_Separator2", ""},
          {"KDPC_HNDL", ""},
          {"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_P1", "p1"},
          {"KDPC_C0012_P2", "p2"},
          {"KDPC_Separator", ""},
          {"X", "x"}}},
        {"a property appended to the cloud; an editable one takes the cloud's value",
         {{"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_P1", "old1"},
          {"KDPC_C0012_P2", "old2"},
          {"KDPC_Separator", ""}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "new1", true), Property("KDPC_C0012_P2", "new2", false),
          Property("KDPC_C0012_P3", "new3", false)},
         1,
         {{"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_P1", "new1"},
          {"KDPC_C0012_P2", "old2"},
          {"KDPC_C0012_P3", "new3"},
          {"KDPC_Separator", ""}}},
        {"a property inserted before the ones the part has",
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old1"}, {"KDPC_Separator", ""}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P0", "new0", false),
          Property("KDPC_C0012_P1", "new1", false)},
         1,
         {{"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_P0", "new0"},
          {"KDPC_C0012_P1", "old1"},
          {"KDPC_Separator", ""}}},
        {"nothing missing: the values the user may not edit are refreshed",
         {{"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old1"}, {"KDPC_C0012_P2", "old2"}, {"KDPC_C0012_Lost", "l"}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "new1", false), Property("KDPC_C0012_P2", "new2", true)},
         0,
         {{"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "new1"}, {"KDPC_C0012_P2", "old2"}, {"KDPC_C0012_Lost", "l"}}},
        {"no frame and no group: the cloud goes to the head",
         {{"A", "1"}, {"B", "2"}},
         {Title("KDPC_C0015_Title"), Property("KDPC_C0015_Alpha", "0.85", false)},
         2,
         {{"KDPC_C0015_Title", ""}, {"KDPC_C0015_Alpha", "0.85"}, {"A", "1"}, {"B", "2"}}},
        {"the cloud's group reaches the head of the list: its first record moves with it",
         {{"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old1"}, {"X", "x"}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "new1", false), Property("KDPC_C0012_P2", "p2", false)},
         1,
         {{"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old1"}, {"KDPC_C0012_P2", "p2"}, {"X", "x"}}},
        {"an empty list", {}, {Title("KDPC_C0015_Title")}, 1, {{"KDPC_C0015_Title", ""}}},
        {"the newest cloud's group goes first",
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_Separator", ""}},
         {Title("KDPC_C0015_Title")},
         1,
         {{"KDPC_Title", ""}, {"KDPC_C0015_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_Separator", ""}}},
        {"a property before the frame stays where it is and is not written again",
         {{"KDPC_C0012_P1", "early"}, {"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_Separator", ""}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "p1", false), Property("KDPC_C0012_P2", "p2", false)},
         1,
         {{"KDPC_C0012_P1", "early"},
          {"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_P2", "p2"},
          {"KDPC_Separator", ""}}},
        {"a missing count too high: nothing is lost",
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old"}, {"Y", "y"}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "p1", false)},
         5,
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_C0012_P1", "old"}, {"Y", "y"}}},
        {"a kept property after one the cloud dropped is moved into its place, not written again",
         {{"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_Old", "o"},
          {"KDPC_C0012_A", "a"},
          {"KDPC_Separator", ""}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_A", "new a", false), Property("KDPC_C0012_New", "n", false)},
         1,
         {{"KDPC_Title", ""},
          {"KDPC_C0012_Title", ""},
          {"KDPC_C0012_A", "a"},
          {"KDPC_C0012_New", "n"},
          {"KDPC_C0012_Old", "o"},
          {"KDPC_Separator", ""}}},
        {"properties in another order than the cloud's are moved, an editable one takes the cloud's value",
         {{"KDPC_Title", ""}, {"KDPC_C0012_B", "b"}, {"KDPC_C0012_A", "a"}, {"X", "x"}},
         {Property("KDPC_C0012_A", "new a", true), Property("KDPC_C0012_B", "new b", false),
          Property("KDPC_C0012_C", "c", false)},
         1,
         {{"KDPC_Title", ""}, {"KDPC_C0012_A", "new a"}, {"KDPC_C0012_B", "b"}, {"KDPC_C0012_C", "c"}, {"X", "x"}}},
        {"an entry the cloud lists twice is written once",
         {{"KDPC_Title", ""}},
         {Title("KDPC_C0012_Title"), Property("KDPC_C0012_A", "a1", false), Property("KDPC_C0012_A", "a2", false)},
         2,
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {"KDPC_C0012_A", "a1"}}},
        {"a name the group holds twice already keeps both records and gains no third",
         {{"KDPC_Title", ""}, {"KDPC_C0012_A", "a1"}, {"KDPC_C0012_Old", "o"}, {"KDPC_C0012_A", "a2"}},
         {Property("KDPC_C0012_A", "new", false), Property("KDPC_C0012_New", "n", false)},
         1,
         {{"KDPC_Title", ""},
          {"KDPC_C0012_A", "a1"},
          {"KDPC_C0012_New", "n"},
          {"KDPC_C0012_Old", "o"},
          {"KDPC_C0012_A", "a2"}}},
        {"a name longer than the field matches its cut form",
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {cutName.substr(0, API_NameLen - 1), "old"}},
         {Title("KDPC_C0012_Title"), Property(cutName, "new", false)},
         0,
         {{"KDPC_Title", ""}, {"KDPC_C0012_Title", ""}, {cutName.substr(0, API_NameLen - 1), "new"}}},
    };
    for (const Case& c : cases) {
        API_AddParType** params = MakeList(c.list);
        int32_t count = static_cast<int32_t>(c.list.size());
        GS::Array<int> missing;
        for (int k = 0; k < c.missing; ++k)
            missing.Push(k);
        const auto info = MakeCloud(c.cloud);
        EXPECT_EQ(KDPCManager::UpdateKDPCMemo(params, count, KDPCManager::CloudPrefix(info).c_str(), info, missing), 0);
        EXPECT_EQ(BMhGetSize(reinterpret_cast<GSHandle>(params)), static_cast<size_t>(count) * sizeof(API_AddParType))
            << c.what;
        EXPECT_EQ(Rows(params, count), c.merged) << c.what;
        ACAPI_DisposeAddParHdl(&params);
    }
}

TEST(CloudMerge, NewRecordsAreTitleAndTextParameters)
{
    API_AddParType** params = MakeList({{"KDPC_Title", ""}});
    int32_t count = 1;
    auto info = MakeCloud({Title("KDPC_C0012_Title"), Property("KDPC_C0012_P1", "\xC3\xA9t\xC3\xA9", false)});
    KDPCManager::UpdateKDPCMemo(params, count, "KDPC_C0012_", info, GS::Array<int> {0, 1});
    ASSERT_EQ(count, 3);
    const API_AddParType& title = (*params)[1];
    EXPECT_EQ(title.typeID, APIParT_Title);
    EXPECT_EQ(title.flags, APIParFlg_BoldName);
    EXPECT_EQ(std::u16string(title.uDescname), u"Cloud");
    const API_AddParType& property = (*params)[2];
    EXPECT_EQ(property.typeID, APIParT_CString);
    EXPECT_EQ(property.flags, APIParFlg_Child);
    EXPECT_EQ(std::u16string(property.value.uStr), u"\u00E9t\u00E9");
    ACAPI_DisposeAddParHdl(&params);
}

TEST(CloudMerge, ACloudWithoutEntriesLeavesTheListAsItWas)
{
    struct Case {
        const char* what;
        std::vector<Row> list;
        bool noHandle;
    };
    for (const Case& c : {Case {"no list at all", {}, true}, Case {"an empty list", {}, false},
                          Case {"a list", {{"KDPC_Title", ""}, {"X", "x"}}, false}}) {
        API_AddParType** params = c.noHandle ? nullptr : MakeList(c.list);
        int32_t count = static_cast<int32_t>(c.list.size());
        const auto info = MakeCloud({});
        EXPECT_EQ(KDPCManager::UpdateKDPCMemo(params, count, "", info, GS::Array<int> {0, 1}), 0) << c.what;
        EXPECT_EQ(count, static_cast<int32_t>(c.list.size())) << c.what;
        if (params != nullptr) {
            EXPECT_EQ(Rows(params, count), c.list) << c.what;
        }
        ACAPI_DisposeAddParHdl(&params);
    }
}

// The host's narrow texts are UTF-8: every way of writing a record reads them so, whatever
// the flag says.
TEST(CloudRecords, DescriptionsAndValuesAreUtf8OnEveryPath)
{
    const char* text = "T\xC3\xBCrgriff \xC2\xBD \xE2\x82\xAC";
    const std::u16string wanted = u"T\u00FCrgriff \u00BD \u20AC";
    for (const bool utf8 : {true, false}) {
        API_AddParType update {};
        AddParameter(&update, 0, APIParT_CString, 0, "KD_Handle", text, 0, text, utf8);
        EXPECT_EQ(std::u16string(update.uDescname), wanted) << utf8;
        EXPECT_EQ(std::u16string(update.value.uStr), wanted) << utf8;
        API_AddParType cloud {};
        KDPCManager::NAddParameter(&cloud, 0, APIParT_CString, 0, "KDPC_C0012_P", text, 0, text, utf8);
        EXPECT_EQ(std::u16string(cloud.uDescname), wanted) << utf8;
        EXPECT_EQ(std::u16string(cloud.value.uStr), wanted) << utf8;
    }
    GSHandle cells = BMhAllClear(3 * sizeof(double));
    API_AddParType array {};
    KDPCManager::AddParameterArray(&array, 0, APIParT_Integer, 0, "KDPC_HNDL", text, 1, 3, cells);
    EXPECT_EQ(std::u16string(array.uDescname), wanted);
    BMhKill(&cells);
    BMhKill(&array.value.array);
}
