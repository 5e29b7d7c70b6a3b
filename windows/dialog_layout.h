// Where the main dialog's controls go for a client area of a given size, in pixels.
#ifndef NOTARIX_DIALOG_LAYOUT_H
#define NOTARIX_DIALOG_LAYOUT_H

#include <array>

struct control_place {
    int id;
    int left;
    int top;
    int width;  // never negative: a window narrower than the fixed parts gets empty controls
    int height;
};

constexpr int LAYOUT_CONTROL_COUNT = 10;
// In the order the controls are moved.
std::array<control_place, LAYOUT_CONTROL_COUNT> layout_places(int width, int height);

// The list width the "Path" column is fitted to.
int layout_list_width(int width);

// The narrowest the "Path" column gets.
constexpr int PATH_COLUMN_MIN = 162;
// The "Path" column fills the list after the first three columns, less 4 pixels and a shown
// vertical scroll bar, but keeps PATH_COLUMN_MIN.
int path_column_width(int list_width, int first_three_columns, int scroll_bar_width);

#endif
