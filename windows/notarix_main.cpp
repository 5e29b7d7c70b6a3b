// Program entry: started from the desktop shell (the console was made for this process alone)
// it is a dialog window, started from a console it is a command-line tool.
#include <windows.h>

#include <openssl/err.h>

#include <clocale>

#include "cmd_line.h"
#include "console.h"
#include "main_dialog.h"

namespace {

bool console_is_our_own() {
    HWND console = GetConsoleWindow();
    if (console == nullptr) {
        return false;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(console, &owner);
    return owner == GetCurrentProcessId();
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    console_init();
    int exit_code = -1;
    if (console_is_our_own()) {
        ShowWindow(GetConsoleWindow(), SW_HIDE);
        HINSTANCE instance = GetModuleHandleW(nullptr);
        if (instance == nullptr) {
            console_print("[FAIL]:GetModuleHandle error.\n");
        } else {
            exit_code = run_main_dialog(instance);
        }
    } else {
        std::setlocale(LC_ALL, "");
        if (run_cmd_line(argc, argv, &exit_code) == CMD_DIALOG) {
            HINSTANCE instance = GetModuleHandleW(nullptr);
            if (instance != nullptr) {
                exit_code = run_main_dialog(instance);
            }
        }
    }
    ERR_clear_error();
    return exit_code;
}
