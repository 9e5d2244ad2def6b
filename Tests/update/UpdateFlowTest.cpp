// The whole object update through the add-on in the simulated host: the update page, played
// by script, receives the product list and sends its choice; the local service answers the
// query; the library parts and placed elements are rewritten, each element as an undo step
// of its own; the result page receives the result.
#include "AddOnHarness.hpp"
#include "ParameterText.hpp"
#include "UpdateManager.hpp"

#include "BM.hpp"
#include "UpdatePageScripts.hpp"

#include <string>
#include <vector>

namespace {

using Kind = DevHost::PageStep::Kind;

constexpr const char* Chair = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
constexpr const char* Door = "B3A1C9D2-7E44-4F0B-9C1A-5D6E7F809A1B";
constexpr const char* Lamp = "0F9E8D7C-6B5A-4948-8372-615049382716";
constexpr const char* Window = "D4C3B2A1-F6E5-4817-8A9B-0C1D2E3F4A5C";
constexpr const char* ChairElement = "11111111-1111-4111-8111-111111111111";
constexpr const char* WindowElement = "44444444-4444-4444-8444-444444444444";

class UpdateFlowTest : public AddOnServiceHarness {
protected:
    void SetUp() override
    {
        AddOnServiceHarness::SetUp();
        AttachAddOn();
        OpenSampleProject();
        StoreSetting("APIKey", kordela::test::ServiceKeys::ThreeMails);
        PlayPagesInWindows();
    }

    void ScriptUpdatePage(const std::string& expectedList, const std::string& choice)
    {
        ::ScriptUpdatePage(pages, ObjectUpdatePages, expectedList, choice);
    }

    void ScriptResultPage(const std::string& expected) { ::ScriptResultPage(pages, ObjectUpdatePages, expected); }

    static std::vector<API_AddParType> ElementParameters(const char* guid)
    {
        API_ElementMemo memo {};
        EXPECT_EQ(ACAPI_Element_GetMemo(APIGuidFromString(guid), &memo, APIMemoMask_All), NoError);
        std::vector<API_AddParType> params;
        if (memo.params != nullptr)
            params.assign(*memo.params,
                          *memo.params + BMhGetSize(reinterpret_cast<GSHandle>(memo.params)) / sizeof(API_AddParType));
        ACAPI_DisposeElemMemoHdls(&memo);
        return params;
    }

    static std::vector<API_AddParType> PartParameters(int32_t libInd)
    {
        double a = 0;
        double b = 0;
        int32_t count = 0;
        API_AddParType** handle = nullptr;
        EXPECT_EQ(ACAPI_LibPart_GetParams(libInd, &a, &b, &count, &handle), NoError);
        std::vector<API_AddParType> params;
        if (handle != nullptr)
            params.assign(*handle, *handle + count);
        ACAPI_DisposeAddParHdl(&handle);
        return params;
    }

    static const API_AddParType* Find(const std::vector<API_AddParType>& params, const std::string& name)
    {
        for (const auto& param : params)
            if (ParameterNameOf(param) == name)
                return &param;
        return nullptr;
    }

    static std::string Result(const std::vector<std::pair<const char*, bool>>& products)
    {
        std::string json = "[";
        for (const auto& [guid, updated] : products) {
            if (json.size() > 1)
                json += ",";
            json += std::string("{\"productguid\":\"") + guid + "\",\"isupdated\":" + (updated ? "true" : "false") +
                    ",\"error\":null, \"warning\":null}";
        }
        return json + "]";
    }
};

}  // namespace

TEST_F(UpdateFlowTest, ChosenProductsAreRewrittenAndReported)
{
    const std::string list = std::string(Chair) + ",3;" + Lamp + ",1;" + Window + ",2;" + Door + ",4;";
    ScriptUpdatePage(list, std::string(Chair) + ",4,true;" + Window + ",4,true;" + Door + ",5,false");
    ScriptResultPage(Result({{Chair, true}, {Window, true}}));

    UpdateManager::getInstance().DoUpdate();
    EXPECT_EQ(pageProblem, "");
    EXPECT_GT(CountLines("ProductUpdate?isSelectionUpdate=false"), 0u);
    EXPECT_GT(CountLines("ProductUpdateResult"), 0u);

    const auto queries = Requests("/GetKordelaInfoXml3");
    ASSERT_EQ(queries.size(), 1u);
    const std::string body = queries[0].dump();
    EXPECT_NE(body.find(std::string("ProductId='") + Chair + "' />"), std::string::npos) << body;
    EXPECT_NE(body.find(std::string("ProductId='") + Window + "' />"), std::string::npos) << body;
    EXPECT_EQ(body.find(Door), std::string::npos) << "an unchosen product is not asked for";

    EXPECT_EQ(CountLines("library part rewritten: "), 2u);
    EXPECT_EQ(CountLines("library part rewritten: " + std::to_string(IndexOf("Oak dining chair"))), 1u);
    EXPECT_EQ(CountLines("element changed: "), 2u);
#if KORDELA_HOST_VERSION >= 19
    EXPECT_EQ(CountLines("undo step \"\" begins"), 2u);
    EXPECT_EQ(CountLines("undo step \"\" ends -> 0x0"), 2u) << "each element is a step of its own";
#else
    EXPECT_EQ(CountLines("undo step \"\" opened"), 2u);
    EXPECT_EQ(CountLines("undo step \"\" closed"), 2u);
#endif
    EXPECT_EQ(CountLines("refused"), 0u);
    EXPECT_EQ(CountLines("report alert"), 0u);

    // The part carries the block after its product URL; every index is its position.
    const std::vector<API_AddParType> part = PartParameters(IndexOf("Oak dining chair"));
    for (size_t i = 0; i < part.size(); ++i)
        EXPECT_EQ(part[i].index, static_cast<int32_t>(i));
    ASSERT_NE(Find(part, "KD_Separator2"), nullptr);
    ASSERT_NE(Find(part, "KD_Width"), nullptr);
    EXPECT_EQ(Find(part, "KD_Width")->typeID, APIParT_RealNum);
    EXPECT_DOUBLE_EQ(Find(part, "KD_Width")->value.real, 0.45);
    EXPECT_EQ(Find(part, "KD_Height")->flags, 0x41);
    EXPECT_NE(Find(part, "KDPC_HNDL"), nullptr) << "the part's other parameters stay";
    EXPECT_NE(Find(part, "A"), nullptr);

    // The placed chair holds the service's values and flags where it had the parameters.
    const std::vector<API_AddParType> chair = ElementParameters(ChairElement);
    ASSERT_NE(Find(chair, "KD_Manufacturer"), nullptr);
    EXPECT_EQ(Find(chair, "KD_Manufacturer")->flags & 0x42, 0x42);
    EXPECT_EQ(Find(chair, "KD_productguid")->flags & 0xC0, 0xC0);
    EXPECT_EQ(ParameterTextOf(*Find(chair, "KD_Manufacturer")), "Nordwood Furniture");
    EXPECT_NE(Find(ElementParameters(WindowElement), "KD_productguid"), nullptr);
}

TEST_F(UpdateFlowTest, ClosingTheUpdatePageWithoutChoosingOpensNoResultPage)
{
    pages.AddStep(ObjectUpdatePages.updatePage, {Kind::Close, {}, {}});
    UpdateManager::getInstance().DoUpdate();
    EXPECT_EQ(Requests("/GetKordelaInfoXml3").size(), 0u);
    EXPECT_EQ(CountLines("ProductUpdateResult"), 0u);
    EXPECT_EQ(CountLines("library part rewritten"), 0u);
}

TEST_F(UpdateFlowTest, ProductWithoutServiceDataIsReportedAsNotUpdated)
{
    ASSERT_TRUE(service.SetFault("/GetKordelaInfoXml3", "http500", {}));
    ScriptUpdatePage(std::string(Chair) + ",3;" + Lamp + ",1;" + Window + ",2;" + Door + ",4;",
                     std::string(Chair) + ",9,true");
    ScriptResultPage(Result({{Chair, false}}));
    UpdateManager::getInstance().DoUpdate();
    EXPECT_EQ(pageProblem, "");
    EXPECT_GT(CountLines("ProductUpdateResult"), 0u);
    EXPECT_EQ(CountLines("library part rewritten"), 0u);
    EXPECT_EQ(CountLines("element changed"), 0u);
}

TEST_F(UpdateFlowTest, SelectionOfAWallOnlyOffersAnEmptyList)
{
    ASSERT_EQ(host->GetProject().SelectElements({"66666666-6666-4666-8666-666666666666"}), "");
    ScriptUpdatePage("", "");
    UpdateManager::getInstance().DoUpdate();
    EXPECT_EQ(pageProblem, "");
    EXPECT_GT(CountLines("ProductUpdate?isSelectionUpdate=true"), 0u);
    EXPECT_EQ(CountLines("ProductUpdateResult"), 0u) << "nothing updated, nothing failed";
    EXPECT_EQ(Requests("/GetKordelaInfoXml3").size(), 1u) << "the query goes out with an empty list";
}

TEST_F(UpdateFlowTest, LockedElementIsLeftAsItIsWhileItsPartIsRewritten)
{
    ScriptUpdatePage(std::string(Chair) + ",3;" + Lamp + ",1;" + Window + ",2;" + Door + ",4;",
                     std::string(Lamp) + ",2,true");
    ScriptResultPage(Result({{Lamp, true}}));
    UpdateManager::getInstance().DoUpdate();
    EXPECT_EQ(pageProblem, "");
    EXPECT_EQ(CountLines("library part rewritten: " + std::to_string(IndexOf("Pendant lamp Halo"))), 1u);
    EXPECT_EQ(CountLines("element changed"), 0u) << "the locked lamp refuses the change";
    EXPECT_EQ(CountLines("report alert"), 0u) << "a failed change is not reported";
}
