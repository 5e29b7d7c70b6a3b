// Reads the running dialog from outside for the end-to-end test: where its controls are on the
// screen, its status line, progress, list rows and the texts of its other windows. It only reads;
// the test drives the window with the X server's mouse and keyboard.
//
//   dialog_probe wait-status TEXT SECONDS [ROWS]
//                                           until the status line reads TEXT (and the list has
//                                           ROWS rows); exit 1 on timeout
//   dialog_probe place ID                   "left top width height" of a control, screen pixels
//   dialog_probe progress                   the progress bar's position
//   dialog_probe rows                       "top bottom|signed|result|signature|folder" per row
//   dialog_probe text TITLE ID              the text of control ID in the window titled TITLE
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int kStatusId = 1007;
constexpr int kProgressId = 1006;
constexpr int kListId = 1003;
constexpr int kColumns = 4;
constexpr int kCellChars = 512;

HWND main_dialog() {
    return FindWindowW(L"#32770", L"Notarix");
}

std::wstring window_text(HWND window) {
    wchar_t text[kCellChars] = L"";
    GetWindowTextW(window, text, kCellChars);
    return text;
}

void print_line(const std::wstring &text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    std::printf("%s\n", out.c_str());
}

int wait_status(const wchar_t *expected, int seconds, int rows) {
    std::wstring seen;
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(seconds) * 1000;) {
        HWND dialog = main_dialog();
        seen = dialog ? window_text(GetDlgItem(dialog, kStatusId)) : L"(no dialog)";
        if (seen == expected &&
            (rows < 0 || SendDlgItemMessageW(dialog, kListId, LVM_GETITEMCOUNT, 0, 0) == rows)) {
            return 0;
        }
        Sleep(100);
    }
    print_line(L"status: " + seen);
    return 1;
}

int place(int id) {
    HWND dialog = main_dialog();
    HWND window = dialog && id != 0 ? GetDlgItem(dialog, id) : dialog;
    RECT rect;
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        return 1;
    }
    // The dialog itself: its client area, which is what the X window shows.
    if (id == 0) {
        GetClientRect(dialog, &rect);
        MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT *>(&rect), 2);
    }
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    return 0;
}

int progress() {
    HWND dialog = main_dialog();
    if (dialog == nullptr) {
        return 1;
    }
    std::printf("%ld\n",
                static_cast<long>(SendDlgItemMessageW(dialog, kProgressId, PBM_GETPOS, 0, 0)));
    return 0;
}

// List view messages take pointers in the dialog's process: the probe lends it a block there.
class remote_block {
  public:
    explicit remote_block(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_ != nullptr) {
            base_ = static_cast<char *>(
                VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        }
    }
    ~remote_block() {
        if (base_ != nullptr) {
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        }
        if (process_ != nullptr) {
            CloseHandle(process_);
        }
    }
    remote_block(const remote_block &) = delete;
    remote_block &operator=(const remote_block &) = delete;
    bool ok() const { return base_ != nullptr; }
    char *at(size_t offset) const { return base_ + offset; }
    bool put(size_t offset, const void *data, size_t size) const {
        return WriteProcessMemory(process_, base_ + offset, data, size, nullptr) != FALSE;
    }
    bool get(size_t offset, void *data, size_t size) const {
        return ReadProcessMemory(process_, base_ + offset, data, size, nullptr) != FALSE;
    }

  private:
    static constexpr size_t kSize = 4096;
    HANDLE process_ = nullptr;
    char *base_ = nullptr;
};

int rows() {
    HWND dialog = main_dialog();
    HWND list = dialog ? GetDlgItem(dialog, kListId) : nullptr;
    remote_block block(list);
    if (list == nullptr || !block.ok()) {
        return 1;
    }
    const size_t item_at = 0;
    const size_t text_at = 256;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        RECT rect = {LVIR_BOUNDS, 0, 0, 0};
        block.put(item_at, &rect, sizeof rect);
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(block.at(item_at)));
        block.get(item_at, &rect, sizeof rect);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT *>(&rect), 2);
        std::wstring line = std::to_wstring(rect.top) + L" " + std::to_wstring(rect.bottom);
        for (int column = 0; column < kColumns; ++column) {
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t *>(block.at(text_at));
            item.cchTextMax = kCellChars;
            block.put(item_at, &item, sizeof item);
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(block.at(item_at)));
            wchar_t text[kCellChars] = L"";
            block.get(text_at, text, sizeof text - sizeof(wchar_t));
            line += L"|" + std::wstring(text);
        }
        print_line(line);
    }
    return 0;
}

int text(const wchar_t *title, int id) {
    HWND window = FindWindowW(nullptr, title);
    HWND item = window ? GetDlgItem(window, id) : nullptr;
    if (item == nullptr) {
        return 1;
    }
    print_line(window_text(item));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"wait-status" && (argc == 4 || argc == 5)) {
        return wait_status(argv[2], _wtoi(argv[3]), argc == 5 ? _wtoi(argv[4]) : -1);
    }
    if (command == L"place" && argc == 3) {
        return place(_wtoi(argv[2]));
    }
    if (command == L"progress") {
        return progress();
    }
    if (command == L"rows") {
        return rows();
    }
    if (command == L"text" && argc == 4) {
        return text(argv[2], _wtoi(argv[3]));
    }
    std::fprintf(stderr, "usage: dialog_probe wait-status|place|progress|rows|text ...\n");
    return 2;
}
