// The main dialog: the window around the verify list (verify_list), its worker runs
// (verify_worker), the key box with its stored setting, the log file and the About box.
#include "main_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dialog_layout.h"
#include "dialog_texts.h"
#include "pellax_err.h"
#include "resource.h"
#include "verify_list.h"
#include "verify_run.h"
#include "verify_worker.h"
#include "win_host.h"
#include "win_log.h"
#include "win_settings.h"

namespace {

HINSTANCE g_instance = nullptr;
HWND g_dialog = nullptr;
verify_job *g_job = nullptr;
WNDPROC g_list_proc = nullptr;

constexpr int kTitleChars = 100;
constexpr int kProgressMax = 100;
constexpr UINT kFilterPeriodMs = 1000;
constexpr DWORD kListStyles =
    LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_LABELTIP;

HWND control(int id) {
    return GetDlgItem(g_dialog, id);
}

void message_box(const wchar_t *text, const wchar_t *caption, UINT icon) {
    MessageBoxW(g_dialog, text, caption, icon | MB_OK);
}

// The verify list and the dialog's other controls, as the list logic sees them.
class dialog_view : public verify_list_view {
  public:
    int row_count() override {
        return static_cast<int>(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0));
    }
    void append_row(const wchar_t *const (&cells)[LIST_COLUMN_COUNT], int32_t id) override {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row_count();
        item.pszText = const_cast<wchar_t *>(cells[COLUMN_SIGNED]);
        item.lParam = id;
        int row = static_cast<int>(
            SendMessageW(list(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) {
            return;
        }
        for (int column = 1; column < LIST_COLUMN_COUNT; ++column) {
            set_cell(row, column, cells[column]);
        }
    }
    void cell_text(int row, int column, wchar_t *text, int chars) override {
        text[0] = L'\0';
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = chars;
        SendMessageW(list(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
    int32_t row_id(int row) override {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!SendMessageW(list(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
            return -1;
        }
        return static_cast<int32_t>(item.lParam);
    }
    void set_result(int row, const wchar_t *text) override {
        set_cell(row, COLUMN_RESULT, text);
        InvalidateRect(list(), nullptr, TRUE);
        UpdateWindow(list());
    }
    void clear_rows() override { SendMessageW(list(), LVM_DELETEALLITEMS, 0, 0); }
    bool window_alive() override { return g_dialog != nullptr && IsWindow(g_dialog); }
    void pump_messages() override { pump_dialog_messages(); }
    void set_status_line(const wchar_t *line) override {
        SetDlgItemTextW(g_dialog, IDC_STATUS, line);
    }
    void show_caution(const wchar_t *text) override {
        message_box(text, kCautionCaption, MB_ICONWARNING);
    }
    void set_progress(int position) override {
        SendMessageW(control(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void enable_controls(bool enable) override { ::enable_controls(enable); }
    void start_filter_timer() override {
        SetTimer(g_dialog, IDT_FILTERING, kFilterPeriodMs, nullptr);
    }
    void stop_filter_timer() override { KillTimer(g_dialog, IDT_FILTERING); }

  private:
    static HWND list() { return control(IDC_VERIFY_LIST); }
    static void set_cell(int row, int column, const wchar_t *text) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t *>(text);
        SendMessageW(list(), LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
};

dialog_view g_view;

// The worker's notifications reach the dialog as WM_VERIFY_NOTIFY, handled before the worker
// goes on.
class dialog_sink : public verify_notify_sink {
  public:
    void notify(WPARAM kind, LPARAM argument) override {
        SendMessageW(g_dialog, WM_VERIFY_NOTIFY, kind, argument);
    }
    void worker_hung() override { message_box(kWorkerHungText, kWarningCaption, MB_ICONWARNING); }
};

dialog_sink g_sink;

// The current job is taken out of the dialog before it is released: the release serves
// messages, and none of them may reach the job on its way out.
void release_current_job() {
    verify_job *job = std::exchange(g_job, nullptr);
    release_verify_job(job);
}

void key_box_text(wchar_t (&key)[JOB_PATH_CHARS]) {
    key[0] = L'\0';
    GetDlgItemTextW(g_dialog, IDC_KEY_PATH, key, JOB_PATH_CHARS);
}

// Starts a run over the list with the key box's file; the controls come back when it cannot.
void start_run_or_enable() {
    wchar_t key[JOB_PATH_CHARS];
    key_box_text(key);
    if (start_verify_run(g_view, &g_sink, key, &g_job) != 0) {
        enable_controls(true);
    }
}

bool key_box_empty() {
    wchar_t key[JOB_PATH_CHARS];
    key_box_text(key);
    if (key[0] != L'\0') {
        return false;
    }
    message_box(kSelectKeyFirst, kOopsCaption, MB_ICONERROR);
    return true;
}

void take_key_file(const wchar_t *path) {
    if (validate_key_file(path) != 0) {
        message_box(kInvalidKeyFile, kErrorCaption, MB_ICONERROR);
        return;
    }
    SetDlgItemTextW(g_dialog, IDC_KEY_PATH, path);
    save_key_setting(g_dialog);
}

// An open or save dialog for a path of at most 259 characters; false when cancelled.
bool choose_file(const wchar_t *filter, DWORD flags, bool save, wchar_t (&path)[JOB_PATH_CHARS]) {
    path[0] = L'\0';
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = g_dialog;
    choice.lpstrFilter = filter;
    choice.nFilterIndex = 1;
    choice.lpstrFile = path;
    choice.nMaxFile = JOB_PATH_CHARS;
    choice.Flags = flags;
    return save ? GetSaveFileNameW(&choice) != FALSE : GetOpenFileNameW(&choice) != FALSE;
}

void on_init_dialog(HWND dialog) {
    g_dialog = dialog;
    wchar_t title[kTitleChars + 1] = L"";
    LoadStringW(g_instance, IDS_APP_TITLE, title, kTitleChars);
    SetWindowTextW(dialog, title);
    HANDLE icon = LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    HMENU system_menu = GetSystemMenu(dialog, FALSE);
    AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system_menu, MF_STRING, IDM_SET_LOG, kMenuSetLog);
    AppendMenuW(system_menu, MF_STRING, IDM_ABOUT, kMenuAbout);

    HWND list = control(IDC_VERIFY_LIST);
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        LVCOLUMNW header = {};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.cx = LIST_COLUMN_WIDTH;
        header.pszText = const_cast<wchar_t *>(kColumnTitles[column]);
        header.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&header));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyles, kListStyles);
    g_list_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list_subclass_proc)));

    HWND progress = control(IDC_PROGRESS);
    SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
    SendMessageW(progress, PBM_SETSTEP, 1, 0);

    set_report_window(dialog);
    if (init_host_services() != 0) {
        SetDlgItemTextW(dialog, IDC_STATUS, kLibraryInitError);
    }
    load_key_setting(dialog);

    RECT client;
    GetClientRect(dialog, &client);
    layout_controls(client.right, client.bottom);
}

void on_select_key() {
    wchar_t path[JOB_PATH_CHARS];
    if (choose_file(kKeyFileFilter, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOLONGNAMES, false,
                    path)) {
        take_key_file(path);
    }
}

void on_single_verify() {
    if (key_box_empty()) {
        return;
    }
    SendMessageW(control(IDC_PROGRESS), PBM_SETPOS, 0, 0);
    wchar_t path[JOB_PATH_CHARS];
    if (!choose_file(kSignatureFileFilter, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, false, path)) {
        return;
    }
    release_current_job();
    if (!g_view.window_alive()) {
        return;
    }
    g_view.clear_rows();
    add_signature_row(g_view, path);
    enable_controls(false);
    start_run_or_enable();
}

void on_multiple_verify() {
    if (key_box_empty()) {
        return;
    }
    SendMessageW(control(IDC_PROGRESS), PBM_SETPOS, 0, 0);
    wchar_t name[JOB_PATH_CHARS] = L"";
    BROWSEINFOW browse = {};
    browse.hwndOwner = g_dialog;
    browse.pszDisplayName = name;
    browse.lpszTitle = kFolderDialogTitle;
    // No BIF_BROWSEFORCOMPUTER: it greys out OK for everything but a computer, so no folder
    // could ever be chosen.
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_EDITBOX |
                     BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    wchar_t folder[JOB_PATH_CHARS] = L"";
    if (chosen != nullptr) {
        release_current_job();
        if (!SHGetPathFromIDListW(chosen, folder)) {
            folder[0] = L'\0';
        }
        CoTaskMemFree(chosen);
    }
    if (folder[0] == L'\0' || !g_view.window_alive()) {
        return;
    }
    g_view.clear_rows();
    enable_controls(false);
    if (filter_folder(g_view, folder) == WALK_STOP) {
        enable_controls(true);
        return;
    }
    // The window may have been closed while the walk served its messages.
    if (g_view.window_alive()) {
        start_run_or_enable();
    }
}

std::vector<std::wstring> dropped_paths(HDROP drop) {
    std::vector<std::wstring> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        UINT copied = DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(copied);
        paths.push_back(path);
    }
    return paths;
}

void on_drop_files(HDROP drop) {
    POINT point = {};
    DragQueryPoint(drop, &point);
    ClientToScreen(g_dialog, &point);
    HWND target = WindowFromPoint(point);
    std::vector<std::wstring> paths = dropped_paths(drop);
    DragFinish(drop);
    if (target == control(IDC_KEY_PATH)) {
        if (!paths.empty()) {
            take_key_file(paths[0].c_str());
        }
        return;
    }
    if (key_box_empty()) {
        return;
    }
    // A folder walk in progress owns the list until it is done.
    if (paths.empty() || g_filtering) {
        return;
    }
    release_current_job();
    if (!g_view.window_alive()) {
        return;
    }
    g_view.clear_rows();
    enable_controls(false);
    add_dropped_paths(g_view, paths);
    if (g_view.window_alive()) {
        start_run_or_enable();
    }
}

void delete_selected_rows(HWND list) {
    for (;;) {
        LRESULT row = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
        if (row < 0) {
            return;
        }
        SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    }
}

LRESULT custom_draw(NMLVCUSTOMDRAW *draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            wchar_t result[RESULT_TEXT_CHARS];
            g_view.cell_text(static_cast<int>(draw->nmcd.dwItemSpec), COLUMN_RESULT, result,
                             RESULT_TEXT_CHARS);
            row_colours colours = colours_for_result(result);
            // Every cell gets its colours: the list keeps the last ones for the next cell.
            draw->clrTextBk =
                colours.background_set ? colours.background : GetSysColor(COLOR_WINDOW);
            draw->clrText = colours.text_set ? colours.text : GetSysColor(COLOR_WINDOWTEXT);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

// Handled list notifications give true, with *result for the list.
bool on_list_notify(NMHDR *header, LRESULT *result) {
    if (header->code == NM_RCLICK) {
        POINT point = reinterpret_cast<NMITEMACTIVATE *>(header)->ptAction;
        ClientToScreen(header->hwndFrom, &point);
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, IDM_DELETE_ROWS, kMenuDelete);
        AppendMenuW(menu, MF_STRING, IDM_CLEAR_ROWS, kMenuClear);
        TrackPopupMenu(menu, TPM_RIGHTBUTTON, point.x, point.y, 0, header->hwndFrom, nullptr);
        DestroyMenu(menu);
        *result = 0;
        return true;
    }
    if (header->code == NM_CUSTOMDRAW) {
        *result = custom_draw(reinterpret_cast<NMLVCUSTOMDRAW *>(header));
        return true;
    }
    return false;
}

void on_set_log() {
    wchar_t path[JOB_PATH_CHARS];
    if (!choose_file(kLogFileFilter,
                     OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOLONGNAMES,
                     true, path)) {
        return;
    }
    // The chosen file is appended to, the open one closed first (open_log_file does both); a
    // worker's line goes whole to the old file or the new.
    if (!open_log_file(path)) {
        message_box(kCreateLogError, kLogErrorCaption, MB_ICONERROR);
    }
}

INT_PTR CALLBACK about_proc(HWND about, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            char version[ABOUT_VERSION_CHARS];
            std::snprintf(version, sizeof version, kAboutVersionFormat, PELLAX_VERSION_TEXT);
            SetDlgItemTextA(about, IDC_VERSION, version);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(about, LOWORD(wparam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void on_close_request() {
    if (MessageBoxW(g_dialog, kCloseQuestion, kClosingCaption, MB_ICONQUESTION | MB_YESNO) !=
        IDYES) {
        return;
    }
    release_current_job();
    close_log_file();
    DestroyWindow(g_dialog);
}

void on_verify_notify(HWND dialog, WPARAM kind, LPARAM argument) {
    if (!IsWindow(dialog)) {
        return;
    }
    handle_verify_notify(g_view, kind, argument);
}

void set_message_result(HWND dialog, LRESULT result) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
}

}  // namespace

void layout_controls(int width, int height) {
    for (const control_place &place : layout_places(width, height)) {
        MoveWindow(control(place.id), place.left, place.top, place.width, place.height, TRUE);
    }
    fit_path_column(layout_list_width(width));
}

void fit_path_column(int list_width) {
    HWND list = control(IDC_VERIFY_LIST);
    int first_three = 0;
    for (int column = 0; column < COLUMN_FOLDER; ++column) {
        first_three += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
    }
    bool scroll_bar = (GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    int width =
        path_column_width(list_width, first_three, scroll_bar ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, COLUMN_FOLDER, MAKELPARAM(width, 0));
}

void enable_controls(bool enable) {
    for (int id : {IDC_SELECT_KEY, IDC_MULTIPLE_VERIFY, IDC_SINGLE_VERIFY, IDC_VERIFY_LIST}) {
        EnableWindow(control(id), enable ? TRUE : FALSE);
    }
}

void pump_dialog_messages() {
    MSG message;
    while (g_dialog != nullptr && PeekMessageW(&message, g_dialog, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The program's own loop must still see it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK list_subclass_proc(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND) {
        if (LOWORD(wparam) == IDM_DELETE_ROWS) {
            delete_selected_rows(list);
        } else if (LOWORD(wparam) == IDM_CLEAR_ROWS) {
            SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        }
    }
    return CallWindowProcW(g_list_proc, list, message, wparam, lparam);
}

INT_PTR CALLBACK main_dlg_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            on_init_dialog(dialog);
            return TRUE;
        case WM_SIZE:
            layout_controls(LOWORD(lparam), HIWORD(lparam));
            return TRUE;
        case WM_PAINT:
            if (IsWindow(dialog)) {
                PAINTSTRUCT paint;
                BeginPaint(dialog, &paint);
                EndPaint(dialog, &paint);
            }
            return TRUE;
        case WM_CLOSE:
            on_close_request();
            return TRUE;
        case WM_DESTROY:
            set_report_window(nullptr);
            PostQuitMessage(0);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_SELECT_KEY:
                    on_select_key();
                    return TRUE;
                case IDC_SINGLE_VERIFY:
                    on_single_verify();
                    return TRUE;
                case IDC_MULTIPLE_VERIFY:
                    on_multiple_verify();
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_SYSCOMMAND:
            if (wparam == IDM_ABOUT) {
                DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT_DIALOG), dialog, about_proc,
                                0);
                return TRUE;
            }
            if (wparam == IDM_SET_LOG) {
                on_set_log();
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (wparam == IDT_FILTERING) {
                SendMessageW(control(IDC_PROGRESS), PBM_STEPIT, 0, 0);
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            NMHDR *header = reinterpret_cast<NMHDR *>(lparam);
            LRESULT result = 0;
            if (header->idFrom == IDC_VERIFY_LIST && on_list_notify(header, &result)) {
                set_message_result(dialog, result);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DROPFILES:
            on_drop_files(reinterpret_cast<HDROP>(wparam));
            return TRUE;
        case WM_VERIFY_NOTIFY:
            on_verify_notify(dialog, wparam, lparam);
            return TRUE;
        default:
            return FALSE;
    }
}

int run_main_dialog(HINSTANCE instance) {
    g_instance = instance;
    InitCommonControls();
    // The folder dialog's new style needs COM on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HWND dialog =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), nullptr, main_dlg_proc, 0);
    int result = 0;
    if (dialog != nullptr) {
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        result = static_cast<int>(message.wParam);
    }
    g_dialog = nullptr;
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return result;
}
