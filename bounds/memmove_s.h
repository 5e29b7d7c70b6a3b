/* Bounded copy that allows the two blocks to overlap. */
#ifndef NOTARIX_MEMMOVE_S_H
#define NOTARIX_MEMMOVE_S_H

#include "bounds_limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copies count bytes as if through a temporary, so overlapping blocks succeed. 34: dest_size 0
 * or too large (dest untouched); 22: null dest; 150: null src, also with a zero count (dest
 * cleared); 162: count above dest_size (dest cleared). A zero count or src equal to dest
 * succeeds without copying. */
int memmove_s(void *dest, size_t dest_size, const void *src, size_t count);

#ifdef __cplusplus
}
#endif

#endif
