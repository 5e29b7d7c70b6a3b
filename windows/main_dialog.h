// The dialog mode of the program.
#ifndef NOTARIX_MAIN_DIALOG_H
#define NOTARIX_MAIN_DIALOG_H

#include <windows.h>

// Runs the main dialog until it closes; its message loop's result.
int run_main_dialog(HINSTANCE instance);

#endif
