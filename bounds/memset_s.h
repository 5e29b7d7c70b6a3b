/* Bounded fill. */
#ifndef NOTARIX_MEMSET_S_H
#define NOTARIX_MEMSET_S_H

#include "bounds_limits.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fills count bytes with (unsigned char)value. 34: dest_size 0 or too large (dest untouched),
 * except that a dest_size of 0 with a count of 0 passes; 22: null dest; 162: count above
 * dest_size, and then the whole destination holds the value. */
int memset_s(void *dest, size_t dest_size, int value, size_t count);

#ifdef __cplusplus
}
#endif

#endif
