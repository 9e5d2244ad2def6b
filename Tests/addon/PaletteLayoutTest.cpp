#include "PaletteLayout.hpp"

#include <gtest/gtest.h>

using namespace PaletteLayout;

TEST(PaletteLayout, ProposedWidthSnapsToTheLayoutOfItsRange)
{
    struct Case {
        int manufacturers;
        int proposedWidth;
        Layout layout;
        int width;
        int height;
    };
    const Case cases[] = {
        // No manufacturer shown: one row from 431, two rows from 360, one column below 167.
        {0, 431, OneRow, 439, 42},
        {0, 430, TwoRows, 433, 87},
        {0, 360, TwoRows, 433, 87},
        {0, 359, Narrow, 292, 87},
        {0, 170, Narrow, 292, 87},
        {0, 167, Narrow, 292, 87},
        {0, 166, OneColumn, 42, 428},
        // Ten manufacturers: the manufacturers' row is wider than the fixed items.
        {10, 439, OneRow, 889, 42},
        {10, 438, TwoRows, 449, 87},
        {10, 368, TwoRows, 449, 87},
        {10, 367, Narrow, 292, 177},
        {10, 100, OneColumn, 42, 878},
        // The narrow block grows one row per six manufacturers.
        {1, 200, Narrow, 292, 132},
        {6, 200, Narrow, 292, 132},
        {7, 200, Narrow, 292, 177},
    };
    for (const auto& c : cases) {
        const Choice choice = Choose(c.manufacturers, c.proposedWidth);
        EXPECT_EQ(choice.layout, c.layout) << c.manufacturers << " manufacturers, width " << c.proposedWidth;
        EXPECT_EQ(choice.width, c.width) << c.manufacturers << " manufacturers, width " << c.proposedWidth;
        EXPECT_EQ(choice.height, c.height) << c.manufacturers << " manufacturers, width " << c.proposedWidth;
    }
}

TEST(PaletteLayout, RowCapacityFollowsTheHeightSteps)
{
    const std::pair<int, int> cases[] = {{42, 1}, {43, 2}, {87, 2}, {88, 3}, {132, 3}, {177, 4}, {178, 1000}};
    for (const auto& [height, rows] : cases)
        EXPECT_EQ(RowCapacity(height), rows) << height;
}

namespace {
std::vector<Size> PaletteItems()
{
    std::vector<Size> items;
    for (int item = 1; item <= 23; ++item) {
        const bool separator = item == 4 || item == 7 || item == 9 || item == 13;
        items.push_back(separator ? Size {2, 40} : Size {40, 40});
    }
    return items;
}
}  // namespace

TEST(PaletteLayout, OneRowEndsTheFixedItemsAt429)
{
    const auto positions = Flow(PaletteItems(), 439, 42);
    EXPECT_EQ(positions[12].x + 2, 429);
    for (size_t item = 0; item < 13; ++item)
        EXPECT_EQ(positions[item].y, 1) << item + 1;
}

TEST(PaletteLayout, NarrowFlowBreaksAfterItem8AndItem13)
{
    const auto positions = Flow(PaletteItems(), 292, 177);
    auto row = [&](int item) { return (positions[static_cast<size_t>(item) - 1].y - 1) / 45; };
    for (int item = 1; item <= 8; ++item)
        EXPECT_EQ(row(item), 0) << item;
    for (int item = 9; item <= 13; ++item)
        EXPECT_EQ(row(item), 1) << item;
    for (int item = 14; item <= 19; ++item)
        EXPECT_EQ(row(item), 2) << item;
    for (int item = 20; item <= 23; ++item)
        EXPECT_EQ(row(item), 3) << item;
}

TEST(PaletteLayout, NarrowFlowWithTwoRowsKeepsItem9OnTheFirstRow)
{
    const auto positions = Flow(PaletteItems(), 292, 87);
    EXPECT_EQ(positions[8].y, 1);    // item 9
    EXPECT_EQ(positions[9].y, 46);   // item 10
    EXPECT_EQ(positions[12].y, 46);  // item 13
}

TEST(PaletteLayout, SeparatorsLieFlatOnlyInTheOneColumnLayout)
{
    EXPECT_EQ(SeparatorSize(80).width, 2);
    EXPECT_EQ(SeparatorSize(80).height, 40);
    EXPECT_EQ(SeparatorSize(79).width, 40);
    EXPECT_EQ(SeparatorSize(42).height, 2);
}
