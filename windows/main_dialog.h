// The dialog mode of the program: one modeless main dialog with its message loop.
#ifndef NOTARIX_MAIN_DIALOG_H
#define NOTARIX_MAIN_DIALOG_H

#include <windows.h>

// Runs the main dialog until it closes; its message loop's result (0 when it cannot be made).
int run_main_dialog(HINSTANCE instance);

INT_PTR CALLBACK main_dlg_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK list_subclass_proc(HWND list, UINT message, WPARAM wparam, LPARAM lparam);

// Moves every control for a client area of width x height pixels, then fits the "Path" column.
void layout_controls(int width, int height);
void fit_path_column(int list_width);

// The key button, both verify buttons and the list, together.
void enable_controls(bool enable);

// Handles the messages waiting for the dialog, until none is left or the program is to quit.
void pump_dialog_messages();

#endif
