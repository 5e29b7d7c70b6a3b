/* Bounded formatting, variable-argument form. */
#ifndef NOTARIX_SNPRINTF_S_H
#define NOTARIX_SNPRINTF_S_H

#include "vsnprintf_s.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Same rules and results as vsnprintf_s. */
int snprintf_s(char *dest, size_t dest_size, size_t count, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

#ifdef __cplusplus
}
#endif

#endif
