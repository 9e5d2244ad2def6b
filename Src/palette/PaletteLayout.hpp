// The arithmetic of the palette's four layouts: which one a proposed width snaps to, how
// many rows a height holds and where the flow puts each item.
#pragma once

#include <vector>

namespace PaletteLayout {

enum Layout : short { OneRow = 0, TwoRows = 1, Narrow = 2, OneColumn = 3 };

struct Choice {
    Layout layout;
    int width;
    int height;
};

// Width of a row of n manufacturer buttons (-5 when there are none).
int Extra(int shownManufacturers);

Choice Choose(int shownManufacturers, int proposedWidth);

int RowCapacity(int height);

// Width at or above which the first opening's grow by 1000 snaps to one row.
int FirstOpeningThreshold(int shownManufacturers);

struct Size {
    int width;
    int height;
};
struct Position {
    int x;
    int y;
};

// Item positions (item 1 first) for a palette of the given size.
std::vector<Position> Flow(const std::vector<Size>& items, int width, int height);

// Separators stand upright in row layouts and lie flat in the one-column layout.
Size SeparatorSize(int paletteWidth);

}  // namespace PaletteLayout
