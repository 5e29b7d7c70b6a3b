#include "verify_list.h"

#include <cwchar>

const wchar_t *const kColumnTitles[LIST_COLUMN_COUNT] = {L"Signed File", L"Results",
                                                         L"Signature File", L"Path"};
const wchar_t kReadyText[] = L"Ready";
const wchar_t kNoSignatureText[] = L"[WARN]:Can't find signature file.";
const wchar_t kNoSignedFileText[] = L"[WARN]:Can't find signed file.";
const wchar_t kDepthOverloadedText[] =
    L"May be not all signature added, because the folder's depth is overloaded";

int32_t g_row_counter = 0;
bool g_filtering = false;

namespace {

constexpr wchar_t kStatusPrefix[] = L"Running status: ";
constexpr wchar_t kFilteringText[] = L"Filtering files, please wait...";
constexpr wchar_t kFindFailedText[] = L"Error when start find signature files.";
constexpr wchar_t kEmptyListText[] = L"Empty verify list";
constexpr wchar_t kStartFailedText[] = L"Start verify thread failed.";
constexpr wchar_t kVerifyingText[] = L"Verifing signature, please wait...";

constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kRed = RGB(240, 55, 23);

struct result_tag {
    const wchar_t *text;
    row_colours colours;
};
constexpr result_tag kResultTags[] = {
    {L"[PASS]", {true, kGreen, false, 0}},
    {L"[WARN]", {true, kYellow, false, 0}},
    {L"[FAIL]", {true, kRed, true, kYellow}},
};

// The folder of a path (without its last separator) and the name after it.
void split_path(const wchar_t *path, std::wstring *folder, std::wstring *name) {
    const wchar_t *part = path_name_part(path);
    *name = part;
    *folder = part == path ? std::wstring() : std::wstring(path, part - 1);
}

// A listed signature file is left out when its signed file lies beside it: that one brings it.
void scan_signature(verify_list_view &view, const wchar_t (&path)[JOB_PATH_CHARS]) {
    wchar_t signed_name[JOB_PATH_CHARS];
    if (!find_source_file(path, signed_name)) {
        add_signature_row(view, path);
    }
}

void update_entry_row(verify_list_view &view, const verify_entry *entry) {
    if (entry->id < 0) {
        return;
    }
    int rows = view.row_count();
    for (int row = 0; row < rows; ++row) {
        if (view.row_id(row) != entry->id) {
            continue;
        }
        if (entry->progress == 100) {
            wchar_t text[RESULT_TEXT_CHARS];
            entry_result_text(entry, text);
            view.set_result(row, text);
        }
        return;
    }
}

}  // namespace

int32_t next_row_id() {
    // Ids stay positive; wrapping takes more rows than a session ever shows.
    g_row_counter = g_row_counter == INT32_MAX ? 1 : g_row_counter + 1;
    return g_row_counter;
}

const wchar_t *new_row_result(const wchar_t *signed_name, const wchar_t *signature_name) {
    if (signature_name == nullptr || *signature_name == L'\0') {
        return kNoSignatureText;
    }
    if (signed_name == nullptr || *signed_name == L'\0') {
        return kNoSignedFileText;
    }
    return kReadyText;
}

row_colours colours_for_result(const wchar_t *result) {
    for (const result_tag &tag : kResultTags) {
        if (result != nullptr && std::wcsncmp(result, tag.text, std::wcslen(tag.text)) == 0) {
            return tag.colours;
        }
    }
    return {false, 0, false, 0};
}

void show_status(verify_list_view &view, const wchar_t *text) {
    wchar_t line[STATUS_TEXT_CHARS];
    wcsncpy_s(line, STATUS_TEXT_CHARS, kStatusPrefix, _TRUNCATE);
    wcsncat_s(line, STATUS_TEXT_CHARS, text != nullptr ? text : L"", _TRUNCATE);
    view.set_status_line(line);
}

void add_list_row(verify_list_view &view, const wchar_t *signed_name, const wchar_t *signature_name,
                  const wchar_t *folder) {
    const wchar_t *const cells[LIST_COLUMN_COUNT] = {
        signed_name, new_row_result(signed_name, signature_name), signature_name, folder};
    view.append_row(cells, next_row_id());
}

void add_signature_row(verify_list_view &view, const wchar_t *path) {
    std::wstring folder;
    std::wstring signature_name;
    split_path(path, &folder, &signature_name);
    wchar_t signed_name[JOB_PATH_CHARS];
    find_source_file(path, signed_name);
    add_list_row(view, signed_name, signature_name.c_str(), folder.c_str());
}

void add_signed_rows(verify_list_view &view, const wchar_t *path) {
    std::wstring folder;
    std::wstring signed_name;
    split_path(path, &folder, &signed_name);
    wchar_t names[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS];
    if (!find_signature_files(path, names)) {
        add_list_row(view, signed_name.c_str(), L"", folder.c_str());
        return;
    }
    for (const auto &name : names) {
        if (name[0] != L'\0') {
            add_list_row(view, signed_name.c_str(), name, folder.c_str());
        }
    }
}

walk_answer scan_folder_rows(verify_list_view &view, const wchar_t *folder) {
    if (std::wcslen(folder) >= WALK_FOLDER_LIMIT) {
        return WALK_GO_ON;
    }
    std::wstring pattern = std::wstring(folder) + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        show_status(view, kFindFailedText);
        return WALK_STOP;
    }
    find_guard close_find(find);
    do {
        if (!view.window_alive()) {
            return WALK_GO_ON;
        }
        view.pump_messages();
        wchar_t path[JOB_PATH_CHARS];
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (is_dot_entry(found.cFileName)) {
                continue;
            }
            if (join_path(folder, found.cFileName, path) != 0) {
                show_status(view, kDepthOverloadedText);
                return WALK_STOP;
            }
            if (scan_folder_rows(view, path) == WALK_STOP) {
                return WALK_STOP;
            }
        } else if (is_signature_file_w(found.cFileName)) {
            if (join_path(folder, found.cFileName, path) != 0) {
                return WALK_GO_ON;
            }
            scan_signature(view, path);
        } else {
            if (join_path(folder, found.cFileName, path) != 0) {
                view.show_caution(kDepthOverloadedText);
                return WALK_STOP;
            }
            add_signed_rows(view, path);
        }
    } while (FindNextFileW(find, &found));
    return WALK_GO_ON;
}

walk_answer filter_folder(verify_list_view &view, const wchar_t *folder) {
    show_status(view, kFilteringText);
    view.start_filter_timer();
    bool was_filtering = g_filtering;
    g_filtering = true;
    walk_answer answer = scan_folder_rows(view, folder);
    view.stop_filter_timer();
    g_filtering = was_filtering;
    return answer;
}

void add_dropped_paths(verify_list_view &view, const std::vector<std::wstring> &paths) {
    for (const std::wstring &path : paths) {
        if (!view.window_alive()) {
            return;
        }
        if (path.empty()) {
            continue;
        }
        if (path.size() >= JOB_PATH_CHARS) {
            return;
        }
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            filter_folder(view, path.c_str());
        } else if (is_signature_file_w(path.c_str())) {
            add_signature_row(view, path.c_str());
        } else {
            add_signed_rows(view, path.c_str());
        }
    }
}

int start_verify_run(verify_list_view &view, verify_notify_sink *sink, const wchar_t *key_path,
                     verify_job **current) {
    int rows = view.row_count();
    if (rows == 0) {
        show_status(view, kEmptyListText);
        return -1;
    }
    // One job and one worker at a time.
    verify_job *previous = *current;
    *current = nullptr;
    release_verify_job(previous);
    verify_job *job = create_verify_job(key_path);
    if (job == nullptr) {
        return -1;
    }
    *current = job;
    for (int row = 0; row < rows; ++row) {
        wchar_t folder[JOB_PATH_CHARS];
        wchar_t name[JOB_PATH_CHARS];
        wchar_t source[JOB_PATH_CHARS];
        wchar_t signature[JOB_PATH_CHARS];
        view.cell_text(row, COLUMN_FOLDER, folder, JOB_PATH_CHARS);
        view.cell_text(row, COLUMN_SIGNED, name, JOB_PATH_CHARS);
        if (name[0] == L'\0') {
            continue;
        }
        join_path(folder, name, source);
        view.cell_text(row, COLUMN_SIGNATURE, name, JOB_PATH_CHARS);
        if (name[0] == L'\0') {
            continue;
        }
        join_path(folder, name, signature);
        int32_t id = view.row_id(row);
        job_lock_guard hold(job);
        add_verify_entry(job, id, source, signature);
    }
    if (start_verify_worker(job, sink) != 0) {
        show_status(view, kStartFailedText);
        return -1;
    }
    show_status(view, kVerifyingText);
    return 0;
}

void entry_result_text(const verify_entry *entry, wchar_t (&text)[RESULT_TEXT_CHARS]) {
    text[0] = L'\0';
    switch (entry->result) {
        case ENTRY_GOOD:
            wcsncpy_s(text, RESULT_TEXT_CHARS, L"[PASS]", _TRUNCATE);
            break;
        case ENTRY_WARNING:
            wcsncpy_s(text, RESULT_TEXT_CHARS, L"[WARN]", _TRUNCATE);
            break;
        case ENTRY_FAILED:
            wcsncpy_s(text, RESULT_TEXT_CHARS, L"[FAIL]", _TRUNCATE);
            break;
        default:
            break;
    }
    if (entry->message[0] != L'\0') {
        wcsncat_s(text, RESULT_TEXT_CHARS, L": ", _TRUNCATE);
        wcsncat_s(text, RESULT_TEXT_CHARS, entry->message, _TRUNCATE);
    }
}

void handle_verify_notify(verify_list_view &view, WPARAM kind, LPARAM argument) {
    switch (kind) {
        case VERIFY_NOTIFY_PROGRESS:
            view.set_progress(progress_position(argument));
            break;
        case VERIFY_NOTIFY_ENTRY_DONE:
            update_entry_row(view, reinterpret_cast<const verify_entry *>(argument));
            break;
        case VERIFY_NOTIFY_PUMP:
            view.pump_messages();
            break;
        case VERIFY_NOTIFY_STATUS:
            show_status(view, reinterpret_cast<const wchar_t *>(argument));
            break;
        case VERIFY_NOTIFY_FINISHED:
            view.enable_controls(true);
            break;
        default:
            break;
    }
}
