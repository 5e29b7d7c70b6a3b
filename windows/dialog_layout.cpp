#include "dialog_layout.h"

#include <algorithm>

#include "resource.h"

namespace {

constexpr int kColumnSlack = 4;

control_place place(int id, int left, int top, int width, int height) {
    return {id, left, top, std::max(width, 0), std::max(height, 0)};
}

}  // namespace

std::array<control_place, LAYOUT_CONTROL_COUNT> layout_places(int w, int h) {
    return {{
        place(IDC_KEY_GROUP, 10, 10, w - 20, 70),
        place(IDC_KEY_PATH, 30, 40, w - 200, 25),
        place(IDC_SELECT_KEY, w - 150, 40, 120, 25),
        place(IDC_LIST_GROUP, 10, 90, w - 20, h - 180),
        place(IDC_VERIFY_LIST, 25, 120, layout_list_width(w), h - 250),
        place(IDC_SINGLE_VERIFY, w - 240, h - 125, 100, 25),
        place(IDC_MULTIPLE_VERIFY, w - 130, h - 125, 100, 25),
        place(IDC_STATUS_GROUP, 10, h - 80, w - 20, 70),
        place(IDC_STATUS, 30, h - 60, w - 60, 20),
        place(IDC_PROGRESS, 30, h - 40, w - 60, 20),
    }};
}

int layout_list_width(int width) {
    return width - 50;
}

int path_column_width(int list_width, int first_three_columns, int scroll_bar_width) {
    return std::max(list_width - first_three_columns - kColumnSlack - scroll_bar_width,
                    PATH_COLUMN_MIN);
}
