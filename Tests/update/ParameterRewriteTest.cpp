// The rewrite of a library part's parameter list and of a placed element's copy of it.
#include "CH.hpp"
#include "ParameterRewrite.hpp"
#include "ParameterText.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct EntrySpec {
    EntrySpec(std::string n, std::string t = "String", const char* v = "v", bool o = false, std::string s = "",
              std::string m = "")
        : name(std::move(n)), type(std::move(t)), value(v), obsolete(o), style(std::move(s)), modifier(std::move(m))
    {}
    std::string name;
    std::string type;
    const char* value;
    bool obsolete;
    std::string style;
    std::string modifier;
    std::string description = "d";
};

UpdateEntries Entries(const std::vector<EntrySpec>& specs)
{
    UpdateEntries entries;
    for (const EntrySpec& s : specs) {
        auto entry = std::make_shared<UpdateDataEntry>();
        entry->variableName = s.name;
        entry->variableType = s.type;
        if (s.value != nullptr)
            entry->value = s.value;
        entry->obsolete = s.obsolete;
        entry->variableStyle = s.style;
        entry->variableModifier = s.modifier;
        entry->variableDescription = s.description;
        entries.Push(entry);
    }
    return entries;
}

API_AddParType Record(const std::string& name, API_AddParID type = APIParT_RealNum, double value = 1, int32_t flags = 0)
{
    API_AddParType record {};
    std::strncpy(record.name, name.c_str(), sizeof record.name - 1);
    record.typeID = type;
    record.value.real = value;
    record.flags = flags;
    return record;
}

std::vector<API_AddParType> List(const std::vector<std::string>& names)
{
    std::vector<API_AddParType> list;
    for (const auto& name : names)
        list.push_back(Record(name));
    for (size_t i = 0; i < list.size(); ++i)
        list[i].index = static_cast<int32_t>(i);
    return list;
}

std::vector<std::string> Names(const std::vector<API_AddParType>& list)
{
    std::vector<std::string> names;
    for (const auto& record : list)
        names.push_back(ParameterNameOf(record));
    return names;
}

const API_AddParType& Find(const std::vector<API_AddParType>& list, const std::string& name)
{
    for (const auto& record : list)
        if (ParameterNameOf(record) == name)
            return record;
    throw std::runtime_error("no " + name);
}

std::string Description(const API_AddParType& record)
{
    return GS::UTF16ToUTF8(record.uDescname);
}

}  // namespace

TEST(ParameterRewrite, BlockLayoutsAfterTheRewrite)
{
    struct Case {
        const char* what;
        std::vector<std::string> before;
        std::vector<EntrySpec> entries;
        std::vector<std::string> after;
    };
    const std::vector<Case> cases = {
        {"one new entry grows the block before its closing separator",
         {"P1", "P2", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P3"},
         {{"X1"}, {"X2"}},
         {"P1", "P2", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "KD_Separator2", "P3"}},
        {"obsolete removed, new inserted, a foreign record moves behind the block",
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "Y", "Z", "KD_Separator2", "P2"},
         {{"X1"}, {"Z", "String", "v", true}, {"X2"}, {"X3"}},
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "X3", "KD_Separator2", "Y", "P2"}},
        {"a part without a block gets one right after its product URL",
         {"A", "KD_prodaturl", "B"},
         {{"X1"}},
         {"A", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "B"}},
        {"a title before the URL is not kept twice and the URL is not overwritten",
         {"A", "B", "KD_Title", "KD_prodatUrl", "KD_productguid", "KD_edinum", "KD_Manufacturer", "KDPC_HNDL"},
         {{"KD_productguid"}, {"KD_edinum", "Integer", "4"}, {"KD_Manufacturer"}},
         {"A", "B", "KD_prodatUrl", "KD_Title", "KD_Separator", "KD_productguid", "KD_edinum", "KD_Manufacturer",
          "KD_Separator2", "KDPC_HNDL"}},
        {"no URL at all: the block goes first and nothing is lost",
         {"A", "B"},
         {{"X1"}},
         {"KD_Title", "KD_Separator", "X1", "KD_Separator2", "A", "B"}},
        {"an empty entry list on a part without block and URL",
         {"A"},
         {},
         {"KD_Title", "KD_Separator", "KD_Separator2", "A"}},
        {"entries named like the block's records replace them in answer order",
         {"KD_prodaturl", "P"},
         {{"KD_Separator"}, {"X1"}, {"KD_Title"}},
         {"KD_prodaturl", "KD_Separator", "X1", "KD_Title", "KD_Separator2", "P"}},
        {"a complete block with known entries stays as it is",
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P2"},
         {{"X1"}},
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P2"}},
        {"only obsolete entries: the records close up",
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "KD_Separator2", "P2", "X2"},
         {{"X2", "String", "v", true}},
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P2"}},
        {"a block shorter than the additions does not overrun the records after it",
         {"KD_prodaturl", "X1", "P1", "P2"},
         {{"X1"}, {"X2"}, {"X3"}, {"X4"}},
         {"KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "X3", "X4", "KD_Separator2", "P1", "P2"}},
        {"a variable named both obsolete and live stays, refreshed in place",
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "KD_Separator2"},
         {{"X1", "String", "v", true}, {"X1"}, {"X2"}},
         {"P1", "KD_prodaturl", "KD_Title", "KD_Separator", "X1", "X2", "KD_Separator2"}},
        {"a variable named live before obsolete stays too",
         {"KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P"},
         {{"X1"}, {"X1", "String", "v", true}},
         {"KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P"}},
        {"named both ways while the block is rebuilt: the live record is in the new block",
         {"KD_prodaturl", "X1", "P"},
         {{"X1", "String", "v", true}, {"X1"}},
         {"KD_prodaturl", "KD_Title", "KD_Separator", "X1", "KD_Separator2", "P"}},
    };
    for (const Case& c : cases) {
        std::vector<API_AddParType> list = List(c.before);
        RewriteLibPartParameters(list, Entries(c.entries), nullptr);
        EXPECT_EQ(Names(list), c.after) << c.what;
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(list[i].index, static_cast<int32_t>(i)) << c.what << " at " << i;
    }
}

TEST(ParameterRewrite, RebuiltRecordsTakeTypeFlagsAndValuesFromTheEntries)
{
    std::vector<API_AddParType> list = List({"KD_prodaturl"});
    RewriteLibPartParameters(list,
                             Entries({{"KD_productguid", "String", "G-1"},
                                      {"KD_ProductGuid", "String", "g"},
                                      {"W", "Real", "2.5", false, "Bold", "Child"},
                                      {"N", "Integer", "2.5"},
                                      {"Q", "Colour", "7"},
                                      {"E", "String", nullptr}}),
                             nullptr);
    const API_AddParType& title = Find(list, "KD_Title");
    EXPECT_EQ(title.typeID, APIParT_Title);
    EXPECT_EQ(title.flags, APIParFlg_BoldName);
    EXPECT_EQ(Description(title), "Kordela Information");
    EXPECT_EQ(Find(list, "KD_Separator").typeID, APIParT_Separator);
    EXPECT_EQ(Find(list, "KD_Separator2").flags, APIParFlg_BoldName);

    struct Expected {
        const char* name;
        API_AddParID type;
        int32_t flags;
        double number;
        const char* text;
    };
    for (const Expected& e :
         {Expected {"KD_productguid", APIParT_CString, 0xC0, 0, "G-1"},
          Expected {"KD_ProductGuid", APIParT_CString, 0x40, 0, "g"},
          Expected {"W", APIParT_RealNum, 0x43, 2.5, nullptr}, Expected {"N", APIParT_Integer, 0x40, 2.5, nullptr},
          Expected {"Q", APIParT_Integer, 0x40, 7, nullptr}, Expected {"E", APIParT_CString, 0x40, 0, ""}}) {
        const API_AddParType& record = Find(list, e.name);
        EXPECT_EQ(record.typeID, e.type) << e.name;
        EXPECT_EQ(record.flags, e.flags) << e.name;
        EXPECT_EQ(record.typeMod, API_ParSimple) << e.name;
        if (e.text != nullptr)
            EXPECT_EQ(ParameterTextOf(record), e.text) << e.name;
        else
            EXPECT_DOUBLE_EQ(record.value.real, e.number) << e.name;
    }
}

TEST(ParameterRewrite, InPlaceUpdateAddsFlagsAndReportsUnknownTypes)
{
    std::vector<API_AddParType> list =
        List({"KD_prodaturl", "KD_Title", "KD_Separator", "S", "R", "I", "U", "KD_Separator2"});
    list[3] = Record("S", APIParT_RealNum, 9, APIParFlg_Child);
    list[3].index = 3;
    std::vector<std::string> reported;
    RewriteLibPartParameters(list,
                             Entries({{"S", "String", "t%20x"},
                                      {"R", "Real", "1.25"},
                                      {"I", "Integer", "2.5"},
                                      {"U", "Mystery", "3"},
                                      {"Missing", "Real", "1"}}),
                             [&](const std::string& type) { reported.push_back(type); });
    EXPECT_EQ(list.size(), 9u) << "the missing entry is new, so the block is rebuilt";

    // With every entry present, the records are refreshed where they stand.
    list = List({"KD_prodaturl", "KD_Title", "KD_Separator", "S", "R", "I", "U", "KD_Separator2"});
    list[3].flags = APIParFlg_Child;
    reported.clear();
    RewriteLibPartParameters(
        list, Entries({{"S", "String", "text"}, {"R", "Real", "1.25"}, {"I", "Integer", "2.5"}, {"U", "Mystery", "3"}}),
        [&](const std::string& type) { reported.push_back(type); });
    EXPECT_EQ(Names(list), (std::vector<std::string> {"KD_prodaturl", "KD_Title", "KD_Separator", "S", "R", "I", "U",
                                                      "KD_Separator2"}));
    EXPECT_EQ(ParameterTextOf(Find(list, "S")), "text");
    EXPECT_EQ(Find(list, "S").typeID, APIParT_RealNum) << "a String entry keeps the record's type";
    EXPECT_EQ(Find(list, "S").flags, APIParFlg_Child | 0x40) << "flags are added, none cleared";
    EXPECT_DOUBLE_EQ(Find(list, "R").value.real, 1.25);
    EXPECT_EQ(Find(list, "I").typeID, APIParT_Integer);
    EXPECT_DOUBLE_EQ(Find(list, "I").value.real, 2) << "an integer is cut in place";
    EXPECT_DOUBLE_EQ(Find(list, "U").value.real, 1) << "an unknown type leaves the value";
    EXPECT_EQ(reported, std::vector<std::string> {"Mystery"});
}

TEST(ParameterRewrite, TextsAreCutToTheirFieldsAndConvertedFromUtf8)
{
    API_AddParType record {};
    record.dim1 = 7;
    const std::string longName(40, 'n');
    const std::string longText(300, 'x');
    AddParameter(&record, 5, APIParT_CString, 0x40, longName.c_str(), "Größe €", 0, longText.c_str(), true);
    EXPECT_EQ(ParameterNameOf(record), std::string(31, 'n'));
    EXPECT_EQ(record.index, 5);
    EXPECT_EQ(record.dim1, 7) << "fields not named stay";
    EXPECT_EQ(std::u16string(record.uDescname), u"Größe €");
    EXPECT_EQ(std::u16string(record.value.uStr).size(), API_UAddParStrLen - 1);

    // A character outside the basic plane is never split at the field's end.
    std::string emoji;
    for (int i = 0; i < 200; ++i)
        emoji += "\xF0\x9F\x98\x80";
    AddParameter(&record, 0, APIParT_CString, 0, nullptr, emoji.c_str(), 0, "", true);
    const std::u16string description(record.uDescname);
    EXPECT_EQ(description.size() % 2, 0u);
    EXPECT_LT(description.size(), API_UAddParDescLen);
    EXPECT_EQ(ParameterNameOf(record), std::string(31, 'n')) << "no name keeps the old one";
}

TEST(ParameterRewrite, InstanceRecordsKeepTheirTypes)
{
    std::vector<API_AddParType> list = {
        Record("T", APIParT_CString), Record("N", APIParT_RealNum, 0, APIParFlg_BoldName),
        Record("KD_productguid", APIParT_CString), Record("O"), Record("T", APIParT_CString)};
    std::vector<std::string> reported;
    UpdateInstanceParameters(list.data(), list.size(),
                             Entries({{"T", "Real", "1.5"},
                                      {"N", "Integer", "2.7"},
                                      {"KD_productguid", "String", "G"},
                                      {"O", "Real", "3", true},
                                      {"Z", "Odd", "1"},
                                      {"N", "Odd", "1"}}),
                             [&](const std::string& type) { reported.push_back(type); });
    EXPECT_EQ(list[0].typeID, APIParT_CString);
    EXPECT_EQ(ParameterTextOf(list[0]), "1.5");
    EXPECT_EQ(ParameterTextOf(list[4]), "1.5") << "every record of the name";
    EXPECT_EQ(list[1].typeID, APIParT_RealNum);
    EXPECT_DOUBLE_EQ(list[1].value.real, 2);
    EXPECT_EQ(list[1].flags, APIParFlg_BoldName | 0x40);
    EXPECT_EQ(list[2].flags, 0xC0);
    EXPECT_DOUBLE_EQ(list[3].value.real, 3) << "obsolete entries still update instances";
    EXPECT_EQ(reported, std::vector<std::string> {"Odd"});
}

TEST(ParameterRewrite, TypesWithoutARuleAreToldInAnswerOrder)
{
    std::vector<API_AddParType> list = {Record("X"), Record("Y"), Record("x")};
    std::vector<std::string> reported;
    UpdateInstanceParameters(list.data(), list.size(), Entries({{"Y", "Odd", "1"}, {"X", "Weird", "1"}}),
                             [&](const std::string& type) { reported.push_back(type); });
    EXPECT_EQ(reported, (std::vector<std::string> {"Odd", "Weird", "Weird"}));
}

// One product's prepared entries go to each of its elements in turn; every list is matched by
// its own names, whatever the list before it held.
TEST(ParameterRewrite, PreparedEntriesMatchEachListByItsOwnNames)
{
    const UpdateEntries answer = Entries({{"A", "Real", "1"}, {"B", "Real", "2"}, {"c", "Real", "3"}});
    const PreparedEntries prepared(answer);
    struct Case {
        std::vector<std::string> names;
        std::vector<double> values;  // each record's value afterwards; 0 for a record no entry names
    };
    const Case cases[] = {
        {{"A", "B", "X"}, {1, 2, 0}}, {{"A", "B", "X"}, {1, 2, 0}}, {{"A", "X", "B"}, {1, 0, 2}},
        {{"a", "C", "B"}, {1, 3, 2}}, {{"A", "B"}, {1, 2}},         {{"X", "Y", "Z"}, {0, 0, 0}},
        {{"A", "B", "X"}, {1, 2, 0}},
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        std::vector<API_AddParType> list = List(cases[c].names);
        for (auto& record : list)
            record.value.real = 0;
        UpdateInstanceParameters(list.data(), list.size(), prepared, nullptr);
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_DOUBLE_EQ(list[i].value.real, cases[c].values[i]) << "list " << c << ", record " << i;
    }
    // A name that differs only after its end still names the same entries.
    std::vector<API_AddParType> list = List({"A", "B", "X"});
    list[0].value.real = 0;
    list[0].name[5] = 'q';
    UpdateInstanceParameters(list.data(), list.size(), prepared, nullptr);
    EXPECT_DOUBLE_EQ(list[0].value.real, 1);
}

TEST(ParameterText, NamesAreFoundAsTheHostComparesThem)
{
    API_AddParType full = Record("");
    std::memset(full.name, 'N', sizeof full.name);  // no room for its NUL
    const std::string fullName(sizeof full.name, 'n');
    const std::string longName(100, 'L');
    struct Case {
        API_AddParType record;
        std::string name;
        bool equal;
    };
    const Case cases[] = {
        {Record("KD_prodatUrl"), "KD_prodaturl", true},
        {Record("KD_edinum"), "KD_edinum2", false},
        {full, fullName, true},
        {full, fullName.substr(1), false},
        {Record(""), "", true},
    };
    NameIndex index;
    for (const Case& c : cases) {
        EXPECT_EQ(HasName(c.record, c.name.c_str()), c.equal) << c.name;
        EXPECT_EQ(HasName(c.record, c.name.c_str()),
                  CHEqualCStrings(ParameterNameOf(c.record).c_str(), c.name.c_str()));
        EXPECT_STREQ(ParameterName(c.record).c_str(), ParameterNameOf(c.record).c_str());
    }
    index.Add("KD_Title", 0);
    index.Add(longName.c_str(), 1);
    index.Add("kd_title", 2);
    ASSERT_NE(index.Find("KD_TITLE"), nullptr);
    EXPECT_EQ(*index.Find("KD_TITLE"), (std::vector<uint32_t> {0, 2}));
    EXPECT_EQ(index.First(std::string(100, 'l').c_str(), 9), 1u);
    EXPECT_EQ(index.First("KD_Titl", 9), 9u);
}

TEST(ParameterText, WholeNumbersAndEditions)
{
    struct Case {
        const char* text;
        int expected;
    };
    for (const Case& c : {Case {"12", 12}, Case {"12a", 12}, Case {"abc", 0}, Case {"  -7", -7}, Case {"+3", 3},
                          Case {"99999999999", 2147483647}, Case {"-99999999999", -2147483647 - 1}, Case {"", 0}})
        EXPECT_EQ(ReadWholeNumber(c.text), c.expected) << c.text;
    for (const auto& [value, expected] : std::vector<std::pair<double, int>> {{7.9, 7}, {-2.5, -2}, {1e20, 2147483647}})
        EXPECT_EQ(TruncateToInt(value), expected) << value;
}
