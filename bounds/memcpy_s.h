/* Bounded copy of non-overlapping blocks. */
#ifndef NOTARIX_MEMCPY_S_H
#define NOTARIX_MEMCPY_S_H

#include "bounds_limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copies count bytes. 34: dest_size 0 or too large (dest untouched); 22: null dest; 150: null
 * src, also with a zero count (dest cleared); 162: count above dest_size (dest cleared); 182:
 * overlap (dest cleared). A zero count or src equal to dest succeeds without copying. */
int memcpy_s(void *dest, size_t dest_size, const void *src, size_t count);

#ifdef __cplusplus
}
#endif

#endif
