// The dialog's verify list and what fills it, apart from the window: each row is one (signed
// file, signature file) pair in one folder, with a result text that also decides its colour.
// The dialog implements verify_list_view over its list view and controls; tests over records.
#ifndef NOTARIX_VERIFY_LIST_H
#define NOTARIX_VERIFY_LIST_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "verify_job.h"
#include "verify_worker.h"

enum { COLUMN_SIGNED = 0, COLUMN_RESULT = 1, COLUMN_SIGNATURE = 2, COLUMN_FOLDER = 3 };
constexpr int LIST_COLUMN_COUNT = 4;
extern const wchar_t *const kColumnTitles[LIST_COLUMN_COUNT];
constexpr int LIST_COLUMN_WIDTH = 166;

// Characters, terminator included, read of a row's result text and set as the status line.
constexpr int RESULT_TEXT_CHARS = 210;
constexpr int STATUS_TEXT_CHARS = 260;

// Result texts of a new row.
extern const wchar_t kReadyText[];            // "Ready"
extern const wchar_t kNoSignatureText[];      // "[WARN]:Can't find signature file."
extern const wchar_t kNoSignedFileText[];     // "[WARN]:Can't find signed file."
extern const wchar_t kDepthOverloadedText[];  // the walk's path-limit message

// The last row id given; ids start at 1 and are never reused, not even after "Clear".
extern int32_t g_row_counter;
// A folder is being filtered.
extern bool g_filtering;

// What the list logic needs of the dialog.
class verify_list_view {
  public:
    virtual ~verify_list_view() = default;
    virtual int row_count() = 0;
    // Appends a row: signed name, result, signature name, folder; id as its item data.
    virtual void append_row(const wchar_t *const (&cells)[LIST_COLUMN_COUNT], int32_t id) = 0;
    // A cell's text, cut to chars - 1 characters.
    virtual void cell_text(int row, int column, wchar_t *text, int chars) = 0;
    virtual int32_t row_id(int row) = 0;
    // Replaces a row's result text and repaints the list.
    virtual void set_result(int row, const wchar_t *text) = 0;
    virtual void clear_rows() = 0;
    virtual bool window_alive() = 0;
    // Handles the dialog's waiting messages.
    virtual void pump_messages() = 0;
    virtual void set_status_line(const wchar_t *line) = 0;
    // The "Caution" message box.
    virtual void show_caution(const wchar_t *text) = 0;
    virtual void set_progress(int position) = 0;
    virtual void enable_controls(bool enable) = 0;
    // The filtering timer, which steps the progress bar once a second.
    virtual void start_filter_timer() = 0;
    virtual void stop_filter_timer() = 0;
};

// The next row id.
int32_t next_row_id();

// "Ready", or the warning for the missing name (the signature's first).
const wchar_t *new_row_result(const wchar_t *signed_name, const wchar_t *signature_name);

// Colours of a row by the beginning of its result text; unset ones stay the list's own.
struct row_colours {
    bool background_set;
    COLORREF background;
    bool text_set;
    COLORREF text;
};
row_colours colours_for_result(const wchar_t *result);

// "Running status: " and the text, cut to the status line's size.
void show_status(verify_list_view &view, const wchar_t *text);

void add_list_row(verify_list_view &view, const wchar_t *signed_name, const wchar_t *signature_name,
                  const wchar_t *folder);
// One row for a signature file, with its signed file's name when that exists.
void add_signature_row(verify_list_view &view, const wchar_t *path);
// A row per signature file of a signed file (".sig", ".asc", ".pgp"), or one without any.
void add_signed_rows(verify_list_view &view, const wchar_t *path);

enum walk_answer { WALK_GO_ON, WALK_STOP };
// Adds the rows of every file below folder.
walk_answer scan_folder_rows(verify_list_view &view, const wchar_t *folder);
// scan_folder_rows with the status line, the filtering timer and g_filtering around it.
walk_answer filter_folder(verify_list_view &view, const wchar_t *folder);
// The rows of dropped paths, in order: folders are filtered, signature files and signed files
// give their rows; empty and missing paths are skipped, one of 260 characters or more ends it.
void add_dropped_paths(verify_list_view &view, const std::vector<std::wstring> &paths);

// Builds a job from the complete rows, makes it *current (releasing the one before) and starts
// its worker reporting to sink. 0 when the worker runs; -1 with the reason as status.
int start_verify_run(verify_list_view &view, verify_notify_sink *sink, const wchar_t *key_path,
                     verify_job **current);

// The result text of a verified entry: "[PASS]", "[WARN]" or "[FAIL]", then ": " and its message.
void entry_result_text(const verify_entry *entry, wchar_t (&text)[RESULT_TEXT_CHARS]);

// What the dialog does with a WM_VERIFY_NOTIFY.
void handle_verify_notify(verify_list_view &view, WPARAM kind, LPARAM argument);

#endif
