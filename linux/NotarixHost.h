// Host side of the library for the Linux program: the services table over the C library and
// the bounded routines, and the log callback that writes the -l file.
#ifndef NOTARIX_HOST_H
#define NOTARIX_HOST_H

#include <cstdio>

#include "pellax_sys.h"

// The -l file; null unless one was opened. Closed by the command processor's destructor.
extern FILE *s_logfile;
extern const char *const log_level_str[4];

// Fills a services table and initializes the library with it (the result is not passed on).
void init_kit_sysapi_callback_funcs();

int memset_s_callback(void *dest, PX_ULONG dest_size, int value, PX_ULONG count);
int memmove_s_callback(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count);
int memcpy_s_callback(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count);
int strcpy_s_callback(char *dest, PX_ULONG dest_size, const char *src);
int vsnprintf_s_callback(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                         va_list args);
char *strstr_callback(const char *text, const char *pattern);
char *strchr_callback(const char *text, int character);
// Applies the path rule (too long, too short) and prints its message for a refused path.
void *fopen_callback(const char *path, const char *mode);
PX_ULONG fread_callback(void *buffer, PX_ULONG length, void *handle);
int fclose_callback(void *handle);
PX_ULONG get_thread_id_callback();
int64_t get_utc_time_callback();

void notarix_log(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG thread_id,
                 int64_t utc_time, int code, const char *message);

#endif
