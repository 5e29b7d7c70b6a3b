// The log file and the library's log callback on Windows. One process-wide log file; lines are
// appended. The handle is only used under a lock, so the dialog may replace or close the file
// while a worker thread logs: a line goes whole to the file that is open when it is written,
// never to a closed handle.
#ifndef NOTARIX_WIN_LOG_H
#define NOTARIX_WIN_LOG_H

#include <cstdint>

#include "pellax_sys.h"

// Longest line written, in characters; a longer line is dropped.
constexpr int WIN_LOG_LINE_MAX = 2047;

// Opens or creates the file for appending; it replaces (and closes) the file open before.
// false when it cannot be opened: logging is then off and GetLastError tells why.
bool open_log_file(const wchar_t *path);

// Closes the log file when one is open.
void close_log_file();

bool log_file_is_open();

// The library's log callback: one line
// "\r\n[<asctime text>]:[<level>]:[<thread id>]:[<source base name>:<line>]:[0x<code>]:<message>"
// per call, written with one WriteFile while a log file is open; a time of 0 means now.
void win_log_callback(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG thread_id,
                      int64_t utc_time, int code, const char *message);

#endif
