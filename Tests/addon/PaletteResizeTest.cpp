// The four layouts the palette snaps to, and where its items land.
#include "AddOnHarness.hpp"
#include "Kordela.hpp"
#include "MainPalette.hpp"

namespace {

struct Layouts {
    int manufacturers;
    std::string oneRow, twoRows, narrow, oneColumn;
};

void PrintTo(const Layouts& layouts, std::ostream* out)
{
    *out << layouts.manufacturers << " manufacturers";
}

int TwoRowWidth(int n)
{
    const int extra = 45 * n - 5;
    const int m = std::max(extra, 429);
    return (m + 292) / 2 + 1;
}

class PaletteResize : public AddOnHarness {};

}  // namespace

class PaletteLayouts : public AddOnHarness, public ::testing::WithParamInterface<Layouts> {};

TEST_P(PaletteLayouts, ItemsLandInTheRowsOfEachLayout)
{
    const Layouts& c = GetParam();
    const short n = static_cast<short>(c.manufacturers);
    OpenPalette();
    ShowManufacturers(n);
    const short last = static_cast<short>(13 + n);

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{2000, 42}, {2000, 42}}), "");
    EXPECT_EQ(PaletteSize(), c.oneRow);
    for (short item = 1; item <= last; ++item)
        EXPECT_EQ(Row(item), 0) << "one row, item " << item;

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{static_cast<short>(TwoRowWidth(n)), 87}}), "");
    EXPECT_EQ(PaletteSize(), c.twoRows);
    for (short item = 1; item <= last; ++item)
        EXPECT_EQ(Row(item), item <= 13 ? 0 : 1) << "two rows, item " << item;

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{200, 87}}), "");
    EXPECT_EQ(PaletteSize(), c.narrow);
    for (short item = 1; item <= last; ++item) {
        const int expected = n == 0 ? (item <= 9 ? 0 : 1) : item <= 8 ? 0 : item <= 13 ? 1 : 2 + (item - 14) / 6;
        EXPECT_EQ(Row(item), expected) << "narrow, item " << item;
    }

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{100, 400}}), "");
    EXPECT_EQ(PaletteSize(), c.oneColumn);
    for (short item = 1; item <= last; ++item) {
        EXPECT_EQ(Item(item).x, 1) << "one column, item " << item;
        if (item > 1) {
            EXPECT_GT(Item(item).y, Item(static_cast<short>(item - 1)).y) << "one column, item " << item;
        }
    }
    for (short separator : {4, 7, 9, 13}) {
        EXPECT_EQ(Item(separator).width, 40);
        EXPECT_EQ(Item(separator).height, 2);
    }

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{2000, 42}}), "");
    for (short separator : {4, 7, 9, 13}) {
        EXPECT_EQ(Item(separator).width, 2);
        EXPECT_EQ(Item(separator).height, 40);
    }
}

INSTANTIATE_TEST_SUITE_P(ManufacturerCounts, PaletteLayouts,
                         ::testing::Values(Layouts {0, "439x42", "433x87", "292x87", "42x428"},
                                           Layouts {1, "484x42", "433x87", "292x132", "42x473"},
                                           Layouts {6, "709x42", "433x87", "292x132", "42x698"},
                                           Layouts {7, "754x42", "433x87", "292x177", "42x743"},
                                           Layouts {10, "889x42", "449x87", "292x177", "42x878"}),
                         [](const ::testing::TestParamInfo<Layouts>& info) {
                             return std::to_string(info.param.manufacturers) + "Manufacturers";
                         });

TEST_F(PaletteResize, FirstOpeningEndsInTheOneRowLayout)
{
    OpenPalette();
    EXPECT_EQ(PaletteSize(), "439x42");
    for (short item = 1; item <= 13; ++item)
        EXPECT_EQ(Row(item), 0) << item;
}

TEST_F(PaletteResize, EnteringALayoutResizesTwiceThenOnlySnapsAcrossDrags)
{
    OpenPalette();
    size_t before = ProgrammaticResizes();
    ASSERT_EQ(DGHost::UserResize(PaletteId, {{200, 87}, {210, 87}, {220, 87}, {230, 87}}), "");
    EXPECT_EQ(ProgrammaticResizes() - before, 2u);
    EXPECT_EQ(PaletteSize(), "292x87");

    before = ProgrammaticResizes();
    ASSERT_EQ(DGHost::UserResize(PaletteId, {{240, 87}, {250, 87}}), "");
    EXPECT_EQ(ProgrammaticResizes(), before);  // the count went on across the drags
    EXPECT_EQ(PaletteSize(), "292x87");        // the growth is still snapped

    ASSERT_EQ(DGHost::UserResize(PaletteId, {{120, 87}}), "");
    EXPECT_GT(ProgrammaticResizes(), before);  // a new layout is entered
    EXPECT_EQ(PaletteSize(), "42x428");
}

TEST_F(PaletteResize, ResizeNotMadeByTheUserSnapsToTheLayoutOfTheCurrentWidth)
{
    OpenPalette();
    DGSetDialogSize(PaletteId, 0, 300, 300, 1, 1);
    EXPECT_EQ(PaletteSize(), "292x87");
}
