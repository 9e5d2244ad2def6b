// The page launchers behind the palette's buttons: the pages they open, what they tell the
// user about the selection, and the property-cloud page's list of attached clouds.
#include "AddOnHarness.hpp"
#include "Launchers.hpp"

#include "BM.hpp"
#include "Cocoa.hpp"
#include "DevHost/Project.hpp"

namespace {

constexpr const char* Chair = "11111111-1111-4111-8111-111111111111";  // product URL, GUID and one cloud
constexpr const char* Door = "22222222-2222-4222-8222-222222222222";   // product URL, no GUID
constexpr const char* LockedLamp = "33333333-3333-4333-8333-333333333333";
constexpr const char* Desk = "55555555-5555-4555-8555-555555555555";  // no product data
constexpr const char* Wall = "66666666-6666-4666-8666-666666666666";

constexpr const char* ChairGuid = "6E0F5B7A-1C2D-4E3F-8A9B-0C1D2E3F4A5B";
constexpr const char* DoorGuid = "B3A1C9D2-7E44-4F0B-9C1A-5D6E7F809A1B";

constexpr short ProductItem = 2;
constexpr short CloudItem = 5;

constexpr const char* NoProductData =
    "alert \"Kordela\": The selected object carries no Kordela product data. [OK] -> 1 (type -3)";

class Launchers : public AddOnPaletteHarness {
protected:
    void SetUp() override
    {
        AddOnPaletteHarness::SetUp();
        OpenSampleProject();
        OpenPalette();
    }

    void Select(std::vector<std::string> guids) { ASSERT_EQ(host->GetProject().SelectElements(guids), ""); }

    // What one click showed: the pages loaded and the messages, in transcript order.
    std::vector<std::string> Click(short item)
    {
        const TranscriptMark mark = Mark();
        EXPECT_EQ(DGHost::ClickItem(PaletteId, item), "");
        std::vector<std::string> shown;
        for (const std::string& line : LinesSince(mark))
            if (line.find(" loads ") != std::string::npos || line.rfind("report alert: ", 0) == 0 ||
                line.rfind("alert ", 0) == 0)
                shown.push_back(line.substr(line.find(" loads ") != std::string::npos ? line.find(" loads ") + 7 : 0));
        return shown;
    }

    // The property-cloud page as it stands in the auto-logon address's redirect parameter.
    std::string CloudPage(const std::string& guidAndClouds) const
    {
        return "?redirecturl=" + Site("/KDPC/Product?productGuid=" + guidAndClouds);
    }

    void SetClouds(const char* element, int32_t rows, int32_t columns, std::vector<double> cells)
    {
        DevHost::PlacedElement* e = host->GetProject().Element(APIGuidFromString(element));
        ASSERT_NE(e, nullptr);
        for (auto& p : e->params) {
            if (p.name == "KDPC_HNDL") {
                p.dim1 = rows;
                p.dim2 = columns;
                p.cells = std::move(cells);
                return;
            }
        }
        FAIL() << "no KDPC_HNDL on " << element;
    }
};

}  // namespace

TEST_F(Launchers, SelectionMessagesOfTheProductAndPropertyCloudPages)
{
    struct Case {
        short item;
        std::vector<std::string> selection;
        std::string shown;
    };
    for (const Case& c : {Case {ProductItem, {}, "report alert: Nothing is selected."},
                          Case {ProductItem, {Chair, Door}, "report alert: More than one element is selected."},
                          Case {ProductItem, {Chair, LockedLamp}, "report alert: More than one element is selected."},
                          Case {ProductItem, {LockedLamp, Chair}, "report alert: More than one element is selected."},
                          Case {ProductItem, {Desk}, NoProductData}, Case {ProductItem, {LockedLamp}, NoProductData},
                          Case {ProductItem, {Chair}, "https://kordela.example/Product/1234"},
                          Case {CloudItem, {}, "report alert: Nothing is selected."},
                          Case {CloudItem, {Chair, Desk}, "report alert: More than one element is selected."},
                          Case {CloudItem, {Chair, LockedLamp}, "report alert: More than one element is selected."},
                          Case {CloudItem, {Desk}, NoProductData}, Case {CloudItem, {LockedLamp}, NoProductData},
                          Case {CloudItem, {Wall}, "report alert: You have selected an unsopported file type."}}) {
        Select(c.selection);
        EXPECT_EQ(Click(c.item), std::vector<std::string> {c.shown})
            << c.item << " " << ::testing::PrintToString(c.selection);
    }
}

TEST_F(Launchers, PropertyCloudPageCarriesTheGuidAndTheAttachedClouds)
{
    Select({Chair});
    auto shown = Click(CloudItem);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].ends_with(
        CloudPage(std::string(ChairGuid) + "%26addedClouds[0].Id=12%26addedClouds[0].IsLinked=true")))
        << shown[0];

    SetClouds(Chair, 2, 3, {12, 1, -1, 15, 0, 3});
    shown = Click(CloudItem);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].ends_with(CloudPage(std::string(ChairGuid) +
                                             "%26addedClouds[0].Id=12%26addedClouds[0].IsLinked=true"
                                             "%26addedClouds[1].Id=15%26addedClouds[1].IsLinked=false")))
        << shown[0];
}

TEST_F(Launchers, PropertyCloudPageLooksUpAMissingGuidAndOpensNothingWithoutOne)
{
    Select({Door});
    auto shown = Click(CloudItem);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].ends_with(CloudPage(DoorGuid))) << shown[0];

    ASSERT_TRUE(service.SetFault("/GetProductGuids", "body", {{"body", "<Bim><Objects><Object/></Objects></Bim>"}}));
    DevHost::PlacedElement* lamp = host->GetProject().Element(APIGuidFromString(LockedLamp));
    lamp->editable = true;  // its part has no GUID and the service knows none
    Select({LockedLamp});
    EXPECT_TRUE(Click(CloudItem).empty());
}

TEST_F(Launchers, PagesOfTheSimpleButtons)
{
    struct Case {
        short item;
        std::string page;
    };
    for (const Case& c : {Case {1, Site("/Product")}, Case {8, Site("/ifc/ifc-landing-page.html")},
                          Case {10, Site("/velmail")}, Case {12, Site("/archicad-help")}}) {
        const auto shown = Click(c.item);
        ASSERT_EQ(shown.size(), 1u) << c.item;
        EXPECT_NE(shown[0].find("/Account/AutoLogOn/"), std::string::npos) << shown[0];
        EXPECT_TRUE(shown[0].ends_with("?redirecturl=" + c.page)) << shown[0];
    }
}

TEST_F(Launchers, IfcPageSchemeFollowsTheHostVersion)
{
    const kordela::test::ScopedServiceOrigin realAddresses(std::nullopt);  // the scheme shows only on them
    const auto shown = Click(8);
    ASSERT_EQ(shown.size(), 1u);
    const std::string scheme = KORDELA_HOST_VERSION >= 21 ? "https://" : "http://";
    EXPECT_TRUE(shown[0].ends_with("?redirecturl=" + scheme + "www.kordela.com/ifc/ifc-landing-page.html")) << shown[0];
}

// What the page hands over is installed once, or refused with an alert: never dropped
// without a word.
TEST_F(Launchers, PickedProductIsDownloadedAndInstalledOnceOrRefused)
{
    PlayProgressPage();
    const std::string file = FileUrl("library/OakChair_1234.gsm");
    struct Case {
        std::string fileName;
        size_t transfers;
        const char* alert;  // null: installed
    };
    for (const Case& c : {Case {"OakChair_1234.gsm", 1, nullptr},
                          Case {"", 0, "The page offered the download under a file name that cannot be used"}}) {
        pages.Forget("/Product");
        AddBridgeCall("/Product", {.message = "download",
                                   .fields = {{"url1", file}, {"filename1", c.fileName}},
                                   .legacyFunction = "Execute",
                                   .legacyArgs = {nlohmann::json(file).dump(), nlohmann::json(c.fileName).dump()}});
        const size_t requests = RequestCount("/files/library/OakChair_1234.gsm");
        const TranscriptMark mark = Mark();
        ASSERT_EQ(DGHost::ClickItem(PaletteId, 1), "");
        EXPECT_EQ(RequestCount("/files/library/OakChair_1234.gsm"), requests + c.transfers) << c.fileName;
        EXPECT_EQ(CountSince(mark, "library part registered"), c.alert == nullptr ? 1u : 0u) << c.fileName;
        EXPECT_EQ(CountSince(mark, "report alert:"), c.alert == nullptr ? 0u : 1u) << c.fileName;
        if (c.alert != nullptr) {
            EXPECT_EQ(CountSince(mark, std::string("report alert: ") + c.alert), 1u) << c.fileName;
        }
    }
}

TEST(CloudList, RowsAreReadOnlyInsideTheArray)
{
    struct Case {
        int32_t rows;
        int32_t columns;
        std::vector<double> cells;
        std::string list;
    };
    for (const Case& c :
         {Case {1, 2, {12.9, 0.5}, "%26addedClouds[0].Id=12%26addedClouds[0].IsLinked=true"},
          Case {1, 2, {7, 0.49}, "%26addedClouds[0].Id=7%26addedClouds[0].IsLinked=false"},
          Case {1, 1, {7}, "%26addedClouds[0].Id=7%26addedClouds[0].IsLinked=false"},
          Case {3, 2, {4, 1}, "%26addedClouds[0].Id=4%26addedClouds[0].IsLinked=true"},  // the handle holds one row
          Case {0, 3, {1, 1, 1}, ""}, Case {-1, 2, {1, 1}, ""}, Case {2, 0, {1, 1}, ""}}) {
        API_AddParType param;
        param.typeMod = API_ParArray;
        param.dim1 = c.rows;
        param.dim2 = c.columns;
        param.value.array = BMhAllClear(c.cells.size() * sizeof(double));
        std::copy(c.cells.begin(), c.cells.end(), reinterpret_cast<double*>(*param.value.array));
        EXPECT_EQ(CloudListText(param), c.list) << c.rows << "x" << c.columns;
        BMhKill(&param.value.array);
    }
}
