#include "main_dialog.h"

#include "console.h"

// The window is not part of this build yet: say so instead of opening anything.
int run_main_dialog(HINSTANCE instance) {
    (void)instance;
    console_print("[INFO]:The dialog window is not available in this build.\r\n");
    return 0;
}
