#include "AddOnHarness.hpp"
#include "LibPart.hpp"

#include "DevHost/Project.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

class LibPartTest : public AddOnHarness {
protected:
    void SetUp() override
    {
        AddOnHarness::SetUp();
        AttachAddOn();
        OpenSampleProject();
    }

    // Adds a part file to the project's linked library and reloads the libraries.
    void AddPart(const std::string& file, nlohmann::json part)
    {
        part["format"] = "devhost library part 1";
        const auto folder = std::filesystem::path(host->GetProject().File()).parent_path() / "Library";
        std::ofstream(folder / file) << part.dump();
        ASSERT_EQ(ACAPI_Environment(APIEnv_ReloadLibrariesID), NoError);
    }

    std::unique_ptr<AC::LibPart> Load(const std::string& name)
    {
        return std::unique_ptr<AC::LibPart>(AC::LibPartManager::GetInstance().GetLibpart(IndexOf(name)));
    }
};

std::string Name(const API_AddParType* param)
{
    return param != nullptr ? std::string(param->name) : "(null)";
}

constexpr const char* ObjectId = "{C0C0C0C0-0000-4000-8000-000000000001}-{00000000-0000-0000-0000-000000000000}";

}  // namespace

TEST_F(LibPartTest, ParametersAreFoundByNameWithoutRegardToCaseAndByIndexWithinBounds)
{
    auto part = Load("Oak dining chair");
    ASSERT_NE(part, nullptr);
    EXPECT_TRUE(part->IsValid());
    EXPECT_EQ(Name(part->GetParam("kd_PRODATURL")), "KD_prodatUrl");
    EXPECT_EQ(part->GetParam("Missing"), nullptr);
    EXPECT_EQ(part->GetParam("Missing"), nullptr);
    EXPECT_EQ(Name(part->GetParam(0)), "A");
    EXPECT_EQ(part->GetParam(-1), nullptr);
    EXPECT_EQ(part->GetParam(part->GetParamCount()), nullptr);
    const API_AddParType* handle = part->GetParam("KDPC_HNDL");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->typeMod, API_ParArray);
    EXPECT_EQ(handle->dim1, 1);
    EXPECT_EQ(handle->dim2, 3);
    EXPECT_EQ(reinterpret_cast<double*>(*handle->value.array)[0], 12.0);
}

TEST_F(LibPartTest, TheLastOfTwoEqualNamesWinsOnEveryCall)
{
    AddPart("Twice.gsm", {{"name", "Twice"},
                          {"type", 4},
                          {"ownUnID", ObjectId},
                          {"parameters", {{{"name", "X"}, {"value", 1}}, {{"name", "x"}, {"value", 2}}}}});
    auto part = Load("Twice");
    ASSERT_NE(part, nullptr);
    for (int call = 0; call < 2; ++call) {
        const API_AddParType* x = part->GetParam("X");
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->value.real, 2.0);
        EXPECT_EQ(x->index, 1);
    }
}

TEST_F(LibPartTest, PrefixLookupListsMatchingIndicesInOrder)
{
    auto part = Load("Oak dining chair");
    ASSERT_NE(part, nullptr);
    struct Case {
        const char* prefix;
        size_t count;
    } cases[] = {{"", static_cast<size_t>(part->GetParamCount())},
                 {"kd_", 5},
                 {"KDPC", 3},
                 {"A_name_longer_than_every_parameter", 0}};
    for (const auto& c : cases) {
        GS::Array<int> found;
        EXPECT_EQ(part->GetParamsLike(c.prefix, &found), 0);
        EXPECT_EQ(found.GetSize(), c.count) << c.prefix;
        for (UIndex i = 1; i < found.GetSize(); ++i)
            EXPECT_LT(found[i - 1], found[i]);
    }
}

TEST_F(LibPartTest, MissingPartGivesNoObject)
{
    EXPECT_EQ(AC::LibPartManager::GetInstance().GetLibpart(999), nullptr);
    EXPECT_EQ(AC::LibPartManager::GetInstance().GetLibpart(0), nullptr);
}

TEST_F(LibPartTest, IntValueOfATextNeedsPermission)
{
    API_AddParType text {};
    std::strcpy(text.name, "KD_edition");
    text.typeID = APIParT_CString;
    text.value.uStr[0] = u'7';
    EXPECT_EQ(AC::GetIntParamValue(text, true), 7);
    EXPECT_THROW(AC::GetIntParamValue(text, false), std::runtime_error);
    API_AddParType real {};
    real.typeID = APIParT_RealNum;
    real.value.real = 3.9;
    EXPECT_EQ(AC::GetIntParamValue(real, false), 3);
}

TEST_F(LibPartTest, SearchByOwnIdFindsTheLowerIndexOrNothing)
{
    AddPart("Copy1.gsm", {{"name", "First copy"}, {"type", 4}, {"ownUnID", ObjectId}});
    AddPart("Copy2.gsm", {{"name", "Second copy"}, {"type", 4}, {"ownUnID", ObjectId}});
    API_LibPart wanted {};
    std::strcpy(wanted.ownUnID, ObjectId);
    ASSERT_EQ(MyACAPI_LibPart_Search(&wanted), NoError);
    EXPECT_EQ(wanted.index, IndexOf("First copy"));

    API_LibPart missing {};
    std::strcpy(missing.ownUnID, "{00000000-0000-0000-0000-00000000DEAD}-{00000000-0000-0000-0000-000000000000}");
    missing.index = 42;
    EXPECT_EQ(MyACAPI_LibPart_Search(&missing), ErrCode::BadIndex);
    EXPECT_EQ(missing.index, 42);
}

TEST_F(LibPartTest, ToolSelectionFollowsTypeAndAncestry)
{
    constexpr const char* DoorParent = "{11E85B84-8DD1-491B-A2FE-337454A91545}-{00000000-0000-0000-0000-000000000000}";
    AddPart("DoorLikeObject.gsm",
            {{"name", "Door-like object"},
             {"type", 4},
             {"ownUnID", "{D0D0D0D0-0000-4000-8000-000000000001}-{00000000-0000-0000-0000-000000000000}"},
             {"parents", {DoorParent}}});
    AddPart("Label.gsm",
            {{"name", "A label"},
             {"type", 9},
             {"ownUnID", "{1A1A1A1A-0000-4000-8000-000000000001}-{00000000-0000-0000-0000-000000000000}"}});
    struct Case {
        const char* part;
        bool selected;
        API_ElemTypeID tool;
    } cases[] = {{"Oak dining chair", true, API_ObjectID},   {"Pendant lamp Halo", true, API_LampID},
                 {"Sliding door S2", true, API_DoorID},      {"Door-like object", true, API_DoorID},
                 {"Casement window W1", true, API_WindowID}, {"A label", false, API_ZombieElemID}};
    for (const auto& c : cases) {
        API_LibPart part {};
        part.index = IndexOf(c.part);
        ASSERT_EQ(ACAPI_LibPart_Get(&part), NoError) << c.part;
        EXPECT_EQ(SetToolBoxMode(&part), c.selected) << c.part;
        if (!c.selected)
            continue;
        EXPECT_EQ(host->GetProject().ToolboxSelection(), c.tool) << c.part;
        API_Element defaults {};
        defaults.header.typeID = c.tool;
        API_ElementMemo memo {};
        ASSERT_EQ(ACAPI_Element_GetDefaults(&defaults, &memo), NoError);
        const int32_t libInd = c.tool == API_ObjectID ? defaults.object.libInd
                               : c.tool == API_LampID ? defaults.lamp.libInd
                               : c.tool == API_DoorID ? defaults.door.openingBase.libInd
                                                      : defaults.window.openingBase.libInd;
        EXPECT_EQ(libInd, part.index) << c.part;
        EXPECT_EQ(DevHost::ParametersFromHandle(memo.params).size(),
                  host->GetProject().Part(part.index)->params.size());
        ACAPI_DisposeElemMemoHdls(&memo);
    }
}
