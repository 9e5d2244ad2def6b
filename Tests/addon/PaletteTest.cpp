// The palette's items, counters, tooltips, clicks and the failure of its start-up checks.
#include "AddOnHarness.hpp"
#include "Kordela.hpp"
#include "MainPalette.hpp"

namespace {
// The add-on linked into the test program, so that tests can reach its palette.
class PaletteTest : public AddOnHarness {};
}  // namespace

TEST_F(PaletteTest, FreshPaletteShowsOnlyTheFixedButtons)
{
    OpenPalette();
    for (short item = 1; item <= 12; ++item)
        EXPECT_TRUE(Item(item).visible) << item;
    for (short item = 13; item <= 23; ++item)
        EXPECT_FALSE(Item(item).visible) << item;
    EXPECT_TRUE(mainPalette->urls.IsEmpty());
    EXPECT_FALSE(mainPalette->hostCloseMark);
    EXPECT_EQ(Item(10).icon.substr(0, 5), "32520");
}

TEST_F(PaletteTest, CountersPickTheirIconByNumber)
{
    OpenPalette();
    const std::pair<short, std::string> mail[] = {{0, "32520"}, {3, "32523"}, {10, "32530"}};
    for (const auto& [count, icon] : mail) {
        mainPalette->UpdateMailcounter(count);
        EXPECT_EQ(Item(10).icon.substr(0, 5), icon) << count;
    }
    mainPalette->UpdateUpdatecounter(2);
    EXPECT_EQ(Item(3).icon.substr(0, 5), "32542");
}

TEST_F(PaletteTest, ManufacturerTooltipIsItsTextAndEmptyWithoutOne)
{
    OpenPalette();
    CustomIconButton& button = *mainPalette->customButtons[2];
    button.Attach(button);
    EXPECT_EQ(DGHost::RequestToolTip(PaletteId, 16), "");
    button.toolTip = DG::ToolTipText("Acme Windows");
    EXPECT_EQ(DGHost::RequestToolTip(PaletteId, 16), "Acme Windows");
}

TEST_F(PaletteTest, FailureInTheStartupChecksDisposesThePaletteAndTheMenuBuildsANewOne)
{
    StartAddOn();
    DGHost::FailNextIconChange();
    host->SendMenuCommand(32500);
    EXPECT_EQ(mainPalette, nullptr);
    EXPECT_FALSE(Palette());
    EXPECT_FALSE(DGHost::IsOpen(32604));
    ASSERT_EQ(host->Reports().size(), 1u);
    EXPECT_NE(host->Reports()[0].find("Kordelabrowser COM object initialization failed."), std::string::npos);
    EXPECT_NE(host->Reports()[0].find("contact us through support@kordela.com."), std::string::npos);
    EXPECT_EQ(Setting("FirstRun"), "2");

    host->SendMenuCommand(32500);
    EXPECT_NE(mainPalette, nullptr);
    EXPECT_TRUE(PaletteVisible());
}

TEST_F(PaletteTest, EveryClickRefreshesTheMailCounterEvenWithoutAnAction)
{
    OpenPalette();
    const size_t before = CountLines("palette 32600 item 10 icon ");
    ASSERT_EQ(DGHost::ClickItem(PaletteId, 3), "");
    EXPECT_TRUE(host->TranscriptContains("CadApplication/ProductUpdate"));
    ASSERT_EQ(DGHost::ClickItem(PaletteId, 4), "");  // a separator starts nothing
    EXPECT_EQ(CountLines("palette 32600 item 10 icon "), before + 2);
}

TEST_F(PaletteTest, FailingCounterRefreshAfterAClickDoesNotEscapeTheObserver)
{
    OpenPalette();
    DGHost::FailNextIconChange();
    EXPECT_NO_THROW(DGHost::ClickItem(PaletteId, 12));
    EXPECT_TRUE(PaletteVisible());
}

TEST_F(PaletteTest, ResetMarksThePaletteClosedByTheHostAndDisposesIt)
{
    OpenPalette();
    host->SendProjectEvent(APINotify_NewAndReset);
    EXPECT_EQ(mainPalette, nullptr);
    EXPECT_FALSE(Palette());
    host->SendMenuCommand(32500);
    EXPECT_NE(mainPalette, nullptr);
    EXPECT_FALSE(mainPalette->hostCloseMark);
}
