/* Bounded formatting with our own formatter. */
#ifndef NOTARIX_VSNPRINTF_S_H
#define NOTARIX_VSNPRINTF_S_H

#include <stdarg.h>

#include "bounds_limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* "As much as fits": a count of all ones lets the destination size alone limit the text. */
#define BOUNDS_COUNT_ALL ((size_t)-1)

/* Formats at most count characters into dest and returns the text length without the
 * terminator, or -1 on any failure.
 * - Null dest or format, dest_size 0 or above BOUNDS_MAX_DEST_SIZE, or a count of
 *   BOUNDS_MAX_DEST_SIZE or more other than BOUNDS_COUNT_ALL: -1; dest[0] is cleared when dest
 *   and dest_size are usable.
 * - count below dest_size: a longer text keeps its first count characters, terminated, and
 *   gives -1.
 * - otherwise at most dest_size - 1 characters fit; a longer text leaves dest empty and gives -1.
 * - A bad format (%n, floating point, unknown or incomplete conversion, a width or precision
 *   above INT_MAX) leaves dest empty and gives -1.
 * Conversions: d i u o x X c s p %, flags - + space # 0, width and precision (also *), length
 * hh h l ll z j t. A null %s prints "(null)", a null %p "(nil)". Nothing is ever written past
 * the room these rules give; bytes of dest after the terminator's place are not touched. */
int vsnprintf_s(char *dest, size_t dest_size, size_t count, const char *format, va_list args);

#ifdef __cplusplus
}
#endif

#endif
