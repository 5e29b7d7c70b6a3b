/* Library logging through the host's log callback. */
#ifndef PELLAX_LOG_H
#define PELLAX_LOG_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

/* Formats with the host's vsnprintf_s into a 2048-byte host block and hands the line to
 * plt->log_callback. Never fails visibly: no callback, no memory or no clock degrade as
 * documented ("Get current time error.", "Format log data error."). Pointers are printed with
 * 0x%08x after a cast to unsigned int (see PX_PTR). */
void pellax_log_func(const PELLAX_PLT_FUNCS *plt, PELLAX_LOG_TYPE level, const char *file, int line,
                     PELLAX_ERROR_CODE code, const char *format, ...) PELLAX_PRINTF_FMT(6, 7);

PELLAX_EXTERN_C_END

/* Pointers appear in log lines as their low 32 bits. */
#define PX_PTR(p) ((unsigned int)(uintptr_t)(const void *)(p))

/* Each module defines `static const char kModule[] = "name";` and logs with these. */
#define PX_LOG_ERROR(plt, code, ...) \
    pellax_log_func((plt), PELLAX_LOG_ERROR, kModule, __LINE__, (code), __VA_ARGS__)
#define PX_LOG_WARN(plt, code, ...) \
    pellax_log_func((plt), PELLAX_LOG_WARNING, kModule, __LINE__, (code), __VA_ARGS__)
#define PX_LOG_INFO(plt, code, ...) \
    pellax_log_func((plt), PELLAX_LOG_INFO, kModule, __LINE__, (code), __VA_ARGS__)

#endif
