// Verifying a job's entries: a verification context on the public key file, one entry at a
// time, and where messages for the user go.
#ifndef NOTARIX_VERIFY_RUN_H
#define NOTARIX_VERIFY_RUN_H

#include <windows.h>

#include "pellax_vrf_old.h"
#include "verify_job.h"

// The one message through which verification reports to the dialog; the first parameter is
// one of the kinds below.
constexpr UINT WM_VERIFY_NOTIFY = WM_USER + 128;
enum {
    VERIFY_NOTIFY_PROGRESS = 1,
    VERIFY_NOTIFY_ENTRY_DONE = 2,
    VERIFY_NOTIFY_PUMP = 3,
    VERIFY_NOTIFY_STATUS = 4,  // second parameter: a wide text
    VERIFY_NOTIFY_FINISHED = 5
};

// The window report_message shows its texts in; null (the command line) means the console.
void set_report_window(HWND window);

// Shows a text where the user sees it: the dialog's status line while the dialog window exists,
// otherwise standard output followed by "\r\n".
void report_message(const wchar_t *text);

// Fills funcs, registers the message lookup, the log callback (while a log file is open) and
// the crypto callbacks, creates a context and loads the key ring from the ANSI key path.
// 0 with *ctx owned by the caller (free with funcs->vrf_ctx_free); the library's code when the
// table or a registration fails; -1 after reporting "Create pellax context error.",
// "Open public key file error." or "Initialize public key error." (no context survives).
int open_verify_context(PELLAX_VRF_CTX **ctx, PELLAX_VERIFY_FUNCS *funcs, const char *key_path);

// Verifies one entry and fills its result, fingerprint and message. 0 when a verdict was
// reached (result 1 good, 3 invalid); -1 when a file could not be opened (result stays 0) or
// the library failed (result 3). progress is left alone.
int verify_one_entry(PELLAX_VRF_CTX *ctx, const PELLAX_VERIFY_FUNCS *funcs, verify_entry *entry);

// 0 when a verification context can be opened on the key file, else -1.
int validate_key_file(const wchar_t *path);

#endif
