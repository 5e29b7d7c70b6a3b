// The library's host side on Windows: the services table over the C runtime, and the program's
// own file stream over Win32 file handles, through which key, signature and signed files reach
// the library.
#ifndef NOTARIX_WIN_HOST_H
#define NOTARIX_WIN_HOST_H

#include <windows.h>

#include "pellax_iobuf.h"

// The provider's code for a failed read, with its text in s_pgp_errs ("Read file error.").
enum { WIN_ERR_READ_FILE = 310 };

// Bytes asked of the file per ReadFile.
constexpr DWORD WIN_FILE_READ_CHUNK = 512;

// The filter context of a file stream, owned by the stream's filter.
struct win_file_ctx {
    PX_UINT32 eof;  // the file has been read to its end
    HANDLE file;
};

// The stream's filter name, set at initialization and checked before release.
extern const char WIN_FILE_FILTER_NAME[];  // "file"

// Fills sys with the Windows services, size tag included.
void fill_host_services(PELLAX_SYS_API *sys);

// Fills the table and initializes the library with it (which drops any callbacks registered
// before). 0, or -1 when the library refuses the table.
int init_host_services();

// A stream reading the file at an ANSI path, or null when the file cannot be opened or the
// stream cannot be made (nothing is left open then). The caller frees it with
// pellax_iobuf_free, which closes the file.
PELLAX_IOBUF *open_file_stream(const char *path);

// The filter of those streams (called without the platform table): 201 without stream,
// context or handle, 310 for a failed read, or the stream's own code.
PELLAX_ERROR_CODE win_file_filter(PELLAX_IOBUF *stream, int command);

#endif
