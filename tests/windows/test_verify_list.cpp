// The dialog's list logic without a window: row ids, result texts and colours, the rows of
// dropped files and of a folder walk with its limits, the layout and the dialog's texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "dialog_layout.h"
#include "dialog_texts.h"
#include "fake_dialog.h"
#include "resource.h"
#include "scratch_dir.h"

namespace {

using row_tuple = std::tuple<std::wstring, std::wstring, std::wstring, std::wstring>;

// Rows as (signed name, result, signature name, folder relative to dir), sorted: listing order
// is the file system's.
std::vector<row_tuple> row_set(const fake_view &view, const scratch_dir &dir) {
    std::vector<row_tuple> rows;
    std::wstring base = dir.at(L"");
    for (const fake_row &row : view.rows) {
        std::wstring folder = row.cells[COLUMN_FOLDER];
        folder = folder.compare(0, base.size(), base) == 0 ? folder.substr(base.size()) : folder;
        rows.emplace_back(row.cells[COLUMN_SIGNED], row.cells[COLUMN_RESULT],
                          row.cells[COLUMN_SIGNATURE], folder);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST(RowIds, StartAtOneAndSurviveClear) {
    if (g_row_counter != 0) {
        GTEST_SKIP() << "rows were added earlier in this process";
    }
    fake_view view;
    add_list_row(view, L"a.bin", L"a.bin.sig", L"C:\\d");
    add_list_row(view, L"b.bin", L"b.bin.sig", L"C:\\d");
    view.clear_rows();
    add_list_row(view, L"c.bin", L"c.bin.sig", L"C:\\d");
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].id, 3);
    EXPECT_EQ(g_row_counter, 3);
}

TEST(NewRow, ResultTextAndColours) {
    const struct {
        const wchar_t *signed_name;
        const wchar_t *signature_name;
        const wchar_t *result;
    } cases[] = {
        {L"a.bin", L"a.bin.sig", L"Ready"},
        {L"a.bin", L"", L"[WARN]:Can't find signature file."},
        {L"", L"x.sig", L"[WARN]:Can't find signed file."},
    };
    for (const auto &c : cases) {
        fake_view view;
        add_list_row(view, c.signed_name, c.signature_name, L"C:\\d");
        ASSERT_EQ(view.rows.size(), 1u);
        const fake_row &row = view.rows[0];
        EXPECT_EQ(row.cells[COLUMN_SIGNED], c.signed_name);
        EXPECT_EQ(row.cells[COLUMN_RESULT], c.result);
        EXPECT_EQ(row.cells[COLUMN_SIGNATURE], c.signature_name);
        EXPECT_EQ(row.cells[COLUMN_FOLDER], L"C:\\d");
        EXPECT_GT(row.id, 0);
    }
}

TEST(RowColours, FollowTheResultTextsBeginning) {
    const COLORREF green = RGB(0, 255, 0);
    const COLORREF yellow = RGB(255, 255, 0);
    const COLORREF red = RGB(240, 55, 23);
    const struct {
        const wchar_t *result;
        row_colours colours;
    } cases[] = {
        {L"[PASS]: Good signature, public key fingerprint: 0123", {true, green, false, 0}},
        {L"[WARN]:Can't find signature file.", {true, yellow, false, 0}},
        {L"[FAIL]: Invalid signature.", {true, red, true, yellow}},
        {L"[FAIL]", {true, red, true, yellow}},
        {L"Ready", {false, 0, false, 0}},
        {L"", {false, 0, false, 0}},
        {L"[pass]", {false, 0, false, 0}},
        {L" [PASS]", {false, 0, false, 0}},
        {L"[PAS", {false, 0, false, 0}},
    };
    for (const auto &c : cases) {
        row_colours got = colours_for_result(c.result);
        EXPECT_EQ(got.background_set, c.colours.background_set) << c.result;
        EXPECT_EQ(got.text_set, c.colours.text_set) << c.result;
        if (c.colours.background_set) {
            EXPECT_EQ(got.background, c.colours.background) << c.result;
        }
        if (c.colours.text_set) {
            EXPECT_EQ(got.text, c.colours.text) << c.result;
        }
    }
}

TEST(DroppedFiles, PairedIntoRows) {
    scratch_dir dir;
    for (const wchar_t *name :
         {L"a.bin", L"a.bin.asc", L"a.bin.sig", L"b.bin", L"x.sig", L"d.bin", L"d.bin.pgp",
          L"d.bin.asc", L"d.bin.sig", L"sub\\e.bin", L"sub\\e.bin.sig", L"sub\\f.asc"}) {
        dir.write(name, "x");
    }
    fake_view view;
    add_dropped_paths(view, {dir.at(L"a.bin"), dir.at(L"b.bin"), dir.at(L"x.sig"), L"",
                             dir.at(L"missing.bin"), dir.at(L"d.bin"), dir.at(L"sub")});
    const std::wstring ready = L"Ready";
    const std::wstring no_signature = L"[WARN]:Can't find signature file.";
    const std::wstring no_signed = L"[WARN]:Can't find signed file.";
    // In drop order; a signed file's signatures in suffix order, at most three.
    const std::vector<row_tuple> in_order = {
        {L"a.bin", ready, L"a.bin.sig", L""}, {L"a.bin", ready, L"a.bin.asc", L""},
        {L"b.bin", no_signature, L"", L""},   {L"", no_signed, L"x.sig", L""},
        {L"d.bin", ready, L"d.bin.sig", L""}, {L"d.bin", ready, L"d.bin.asc", L""},
        {L"d.bin", ready, L"d.bin.pgp", L""},
    };
    ASSERT_EQ(view.rows.size(), in_order.size() + 2);
    std::wstring folder = dir.at(L"");
    folder.pop_back();  // no separator at the end
    for (size_t i = 0; i < in_order.size(); ++i) {
        const fake_row &row = view.rows[i];
        EXPECT_EQ(row_tuple(row.cells[COLUMN_SIGNED], row.cells[COLUMN_RESULT],
                            row.cells[COLUMN_SIGNATURE], L""),
                  in_order[i])
            << i;
        EXPECT_EQ(row.cells[COLUMN_FOLDER], folder) << i;
        EXPECT_EQ(row.id, view.rows[0].id + static_cast<int32_t>(i));
    }
    // The folder was walked: its signed file brings its signature, a lone one stands alone.
    std::vector<row_tuple> all = row_set(view, dir);
    EXPECT_NE(std::find(all.begin(), all.end(), row_tuple(L"e.bin", ready, L"e.bin.sig", L"sub")),
              all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), row_tuple(L"", no_signed, L"f.asc", L"sub")),
              all.end());
    EXPECT_EQ(view.timer_starts, 1);
    EXPECT_EQ(view.timer_stops, 1);
}

TEST(DroppedFiles, AnOverlongPathEndsTheDrop) {
    scratch_dir dir;
    dir.write(L"a.bin", "x");
    dir.write(L"b.bin", "x");
    fake_view view;
    add_dropped_paths(view, {dir.at(L"a.bin"), std::wstring(260, L'p'), dir.at(L"b.bin")});
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].cells[COLUMN_SIGNED], L"a.bin");
}

TEST(FolderWalk, ASignatureComesWithItsSignedFile) {
    scratch_dir dir;
    dir.write(L"a.bin", "x");
    dir.write(L"a.bin.sig", "x");
    fake_view view;
    EXPECT_EQ(scan_folder_rows(view, dir.at(L"").substr(0, dir.at(L"").size() - 1).c_str()),
              WALK_GO_ON);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].cells[COLUMN_SIGNED], L"a.bin");
    EXPECT_EQ(view.rows[0].cells[COLUMN_SIGNATURE], L"a.bin.sig");
    EXPECT_EQ(view.rows[0].cells[COLUMN_RESULT], L"Ready");
}

TEST(FolderWalk, WholeTreeWithTheDialogServed) {
    scratch_dir dir;
    for (const wchar_t *name :
         {L"top\\a.bin", L"top\\a.bin.asc", L"top\\readme.txt", L"top\\deep\\er\\b.bin",
          L"top\\deep\\er\\b.bin.pgp", L"top\\deep\\lone.sig", L"top\\c.sig\\inside.bin"}) {
        dir.write(name, "x");
    }
    dir.mkdir(L"top\\empty");
    fake_view view;
    int pumps = 0;
    bool filtering_seen = false;
    view.on_pump = [&] {
        ++pumps;
        filtering_seen = filtering_seen || g_filtering;
    };
    EXPECT_EQ(filter_folder(view, dir.at(L"top").c_str()), WALK_GO_ON);
    const std::vector<row_tuple> expected = {
        {L"", L"[WARN]:Can't find signed file.", L"lone.sig", L"top\\deep"},
        {L"a.bin", L"Ready", L"a.bin.asc", L"top"},
        {L"b.bin", L"Ready", L"b.bin.pgp", L"top\\deep\\er"},
        {L"inside.bin", L"[WARN]:Can't find signature file.", L"", L"top\\c.sig"},
        {L"readme.txt", L"[WARN]:Can't find signature file.", L"", L"top"},
    };
    EXPECT_EQ(row_set(view, dir), expected);
    EXPECT_GT(pumps, 0);
    EXPECT_TRUE(filtering_seen);
    EXPECT_FALSE(g_filtering);
    ASSERT_FALSE(view.status_lines.empty());
    EXPECT_EQ(view.status_lines.front(), L"Running status: Filtering files, please wait...");
    EXPECT_EQ(view.timer_starts, 1);
    EXPECT_EQ(view.timer_stops, 1);
}

TEST(FolderWalk, PathLimits) {
    const std::wstring depth =
        L"Running status: May be not all signature added, because the folder's depth is "
        L"overloaded";
    // In a folder of 240 characters an entry's name may have up to 15 characters.
    const struct {
        size_t length;
        const wchar_t *suffix;  // empty: a folder
        walk_answer answer;
        size_t rows;
        std::wstring status;     // the last status line
        const wchar_t *caution;  // null: none
    } cases[] = {
        {15, L".bin", WALK_GO_ON, 1, L"", nullptr},
        {16, L".bin", WALK_STOP, 0, L"", kDepthOverloadedText},
        {15, L".sig", WALK_GO_ON, 1, L"", nullptr},
        {16, L".sig", WALK_GO_ON, 0, L"", nullptr},
        {16, L"", WALK_STOP, 0, depth, nullptr},
    };
    for (const auto &c : cases) {
        scratch_dir dir;
        std::wstring base = dir.at(L"");
        std::wstring folder(240 - base.size(), L'f');
        std::wstring suffix = c.suffix;
        std::wstring name = std::wstring(c.length - suffix.size(), L'n') + suffix;
        if (suffix.empty()) {
            dir.mkdir(folder + L"\\" + name);
        } else {
            dir.write(folder + L"\\" + name, "x");
        }
        fake_view view;
        EXPECT_EQ(scan_folder_rows(view, (base + folder).c_str()), c.answer) << name;
        EXPECT_EQ(view.rows.size(), c.rows) << name;
        EXPECT_EQ(view.status_lines.empty() ? L"" : view.status_lines.back(), c.status) << name;
        ASSERT_EQ(view.cautions.size(), c.caution ? 1u : 0u) << name;
        if (c.caution) {
            EXPECT_EQ(view.cautions[0], c.caution);
        }
    }
}

TEST(FolderWalk, FoldersItCannotOrMayNotList) {
    scratch_dir dir;
    std::wstring base = dir.at(L"");
    // Passed over before it is listed: it need not exist.
    std::wstring too_long = base + std::wstring(257 - base.size(), L'g');
    dir.write(L"here\\a.bin", "x");
    const struct {
        std::wstring folder;
        bool alive;
        walk_answer answer;
        const wchar_t *status;
    } cases[] = {
        {too_long, true, WALK_GO_ON, nullptr},
        {dir.at(L"missing"), true, WALK_STOP,
         L"Running status: Error when start find signature files."},
        {dir.at(L"here"), false, WALK_GO_ON, nullptr},
    };
    for (const auto &c : cases) {
        fake_view view;
        view.alive = c.alive;
        EXPECT_EQ(scan_folder_rows(view, c.folder.c_str()), c.answer);
        EXPECT_TRUE(view.rows.empty());
        EXPECT_EQ(view.status_lines,
                  c.status ? std::vector<std::wstring>{c.status} : std::vector<std::wstring>{});
    }
}

TEST(Notifications, EntryDoneUpdatesItsRowOnly) {
    fake_view view;
    add_list_row(view, L"a.bin", L"a.bin.sig", L"C:\\d");
    add_list_row(view, L"b.bin", L"b.bin.sig", L"C:\\d");
    const struct {
        int32_t id_offset;  // from the first row's id
        int32_t progress;
        int32_t result;
        const wchar_t *message;
        std::vector<std::wstring> results;
    } cases[] = {
        {1, 100, ENTRY_FAILED, L"Invalid signature.", {L"Ready", L"[FAIL]: Invalid signature."}},
        {0, 100, ENTRY_GOOD, L"Good", {L"[PASS]: Good", L"[FAIL]: Invalid signature."}},
        {0, 100, ENTRY_WARNING, L"", {L"[WARN]", L"[FAIL]: Invalid signature."}},
        {0, 100, ENTRY_NOT_DECIDED, L"Why", {L": Why", L"[FAIL]: Invalid signature."}},
        {0, 0, ENTRY_GOOD, L"not yet", {L": Why", L"[FAIL]: Invalid signature."}},
        {5, 100, ENTRY_GOOD, L"no row", {L": Why", L"[FAIL]: Invalid signature."}},
    };
    for (const auto &c : cases) {
        verify_entry entry = {};
        entry.id = view.rows[0].id + c.id_offset;
        entry.progress = c.progress;
        entry.result = c.result;
        wcsncpy_s(entry.message, ENTRY_MESSAGE_CHARS, c.message, _TRUNCATE);
        handle_verify_notify(view, VERIFY_NOTIFY_ENTRY_DONE, reinterpret_cast<LPARAM>(&entry));
        EXPECT_EQ(view.results(), c.results) << c.message;
    }
    verify_entry negative = {};
    negative.id = -1;
    negative.progress = 100;
    handle_verify_notify(view, VERIFY_NOTIFY_ENTRY_DONE, reinterpret_cast<LPARAM>(&negative));
    EXPECT_EQ(view.results(), cases[5].results);
}

TEST(Notifications, StatusLineIsCutToItsSize) {
    fake_view view;
    std::wstring text(300, L's');
    handle_verify_notify(view, VERIFY_NOTIFY_STATUS, reinterpret_cast<LPARAM>(text.c_str()));
    ASSERT_EQ(view.status_lines.size(), 1u);
    EXPECT_EQ(view.status_lines[0],
              L"Running status: " + std::wstring(STATUS_TEXT_CHARS - 1 - 16, L's'));
    handle_verify_notify(view, VERIFY_NOTIFY_FINISHED, 0);
    EXPECT_EQ(view.enabled, std::vector<bool>{true});
}

TEST(Layout, EveryControlMovedAndThePathColumnKeepsItsWidth) {
    auto places = layout_places(800, 600);
    const control_place expected[] = {
        {IDC_KEY_GROUP, 10, 10, 780, 70},         {IDC_KEY_PATH, 30, 40, 600, 25},
        {IDC_SELECT_KEY, 650, 40, 120, 25},       {IDC_LIST_GROUP, 10, 90, 780, 420},
        {IDC_VERIFY_LIST, 25, 120, 750, 350},     {IDC_SINGLE_VERIFY, 560, 475, 100, 25},
        {IDC_MULTIPLE_VERIFY, 670, 475, 100, 25}, {IDC_STATUS_GROUP, 10, 520, 780, 70},
        {IDC_STATUS, 30, 540, 740, 20},           {IDC_PROGRESS, 30, 560, 740, 20},
    };
    for (size_t i = 0; i < places.size(); ++i) {
        EXPECT_EQ(std::tie(places[i].id, places[i].left, places[i].top, places[i].width,
                           places[i].height),
                  std::tie(expected[i].id, expected[i].left, expected[i].top, expected[i].width,
                           expected[i].height))
            << i;
    }
    for (const control_place &place : layout_places(40, 30)) {
        EXPECT_GE(place.width, 0) << place.id;
        EXPECT_GE(place.height, 0) << place.id;
    }
    const struct {
        int list_width;
        int scroll_bar;
        int path;
    } columns[] = {{750, 0, 248}, {750, 17, 231}, {600, 0, 162}, {-10, 17, 162}};
    for (const auto &c : columns) {
        EXPECT_EQ(path_column_width(c.list_width, 3 * LIST_COLUMN_WIDTH, c.scroll_bar), c.path)
            << c.list_width;
    }
}

// The texts of a file filter: pairs up to the empty text.
std::vector<std::wstring> filter_texts(const wchar_t *filter) {
    std::vector<std::wstring> texts;
    for (; *filter != L'\0'; filter += texts.back().size() + 1) {
        texts.emplace_back(filter);
    }
    return texts;
}

TEST(DialogTexts, WideTextsAreRight) {
    // The Chinese texts, code unit by code unit.
    const struct {
        const wchar_t *filter;
        std::vector<std::wstring> texts;
    } filters[] = {
        {kKeyFileFilter, {L"KEY\u6587\u4ef6(*.*)", L"*.*"}},
        {kSignatureFileFilter, {L"PGP\u7b7e\u540d(*.sig;*.asc)", L"*.sig;*.asc"}},
        {kLogFileFilter, {L"LOG\u6587\u4ef6(*.*)", L"*.*"}},
    };
    for (const auto &f : filters) {
        EXPECT_EQ(filter_texts(f.filter), f.texts);
    }
    EXPECT_EQ(std::wstring(kFolderDialogTitle), L"\u9009\u62e9PGP\u7b7e\u540d\u6587\u4ef6\u5939");
}

}  // namespace
