/* Bounded text copy. */
#ifndef NOTARIX_STRCPY_S_H
#define NOTARIX_STRCPY_S_H

#include "bounds_limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copies the text of src with its terminator. 34: dest_size 0 or too large (dest untouched);
 * 22: null dest; 150: null src; 162: text length + 1 above dest_size; 182: the text with its
 * terminator overlaps any of the dest_size destination bytes and src is not dest. After 150, 162
 * and 182 dest holds an empty text. The source is read no further than dest_size bytes. */
int strcpy_s(char *dest, size_t dest_size, const char *src);

#ifdef __cplusplus
}
#endif

#endif
