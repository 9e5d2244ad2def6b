#include "PaletteLayout.hpp"

#include <algorithm>
#include <cmath>

namespace PaletteLayout {

namespace {
constexpr int FixedRowEnd = 429;  // x where a row of items 1 to 13 ends
constexpr int Gap = 5;
constexpr int Margin = 1;
}  // namespace

int Extra(int shownManufacturers)
{
    return 45 * shownManufacturers - 5;
}

Choice Choose(int shownManufacturers, int proposedWidth)
{
    const int extra = Extra(shownManufacturers);
    const int m = std::max(extra, FixedRowEnd);
    if (proposedWidth >= (m + 433) / 2)
        return {OneRow, extra + 444, 42};
    if (proposedWidth >= (m + 292) / 2)
        return {TwoRows, m + 4, 87};
    if (proposedWidth < 167)
        return {OneColumn, 42, extra + 433};
    const int rows = shownManufacturers > 0 ? static_cast<int>(std::ceil(extra / 288.0)) : 0;
    return {Narrow, 292, 87 + 45 * rows};
}

int RowCapacity(int height)
{
    if (height <= 42)
        return 1;
    if (height <= 87)
        return 2;
    if (height <= 132)
        return 3;
    if (height <= 177)
        return 4;
    return 1000;
}

int FirstOpeningThreshold(int shownManufacturers)
{
    const int extra = Extra(shownManufacturers);
    return (extra + std::max(extra, FixedRowEnd) + 433) / 2;
}

std::vector<Position> Flow(const std::vector<Size>& items, int width, int height)
{
    const int rows = RowCapacity(height);
    std::vector<Position> positions;
    int x = Margin;
    int y = Margin;
    for (size_t index = 0; index < items.size(); ++index) {
        positions.push_back({x, y});
        if (index + 1 == items.size())
            break;
        const int item = static_cast<int>(index) + 1;
        const int wi = items[index].width;
        const int wn = items[index + 1].width;
        if (x + wi + Gap + wn > width || (rows > 1 && item == 13) || (rows > 2 && item == 8)) {
            y += items[index].height + Gap;
            x = Margin;
        } else {
            x += wi + Gap;
        }
    }
    return positions;
}

Size SeparatorSize(int paletteWidth)
{
    return paletteWidth > 79 ? Size {2, 40} : Size {40, 2};
}

}  // namespace PaletteLayout
