/* Limits and return codes shared by the bounded routines. */
#ifndef NOTARIX_BOUNDS_LIMITS_H
#define NOTARIX_BOUNDS_LIMITS_H

#include <stddef.h>
#include <string.h>

/* Largest destination size accepted: 2^31 - 1. Zero is refused too. */
#define BOUNDS_MAX_DEST_SIZE ((size_t)0x7FFFFFFF)

enum {
    BOUNDS_OK = 0,
    BOUNDS_NULL_DEST = 22, /* destination untouched */
    BOUNDS_BAD_SIZE = 34,  /* destination untouched */
    BOUNDS_NULL_SRC = 150, /* destination reset */
    BOUNDS_NO_FIT = 162,   /* destination reset (memset_s: filled) */
    BOUNDS_OVERLAP = 182   /* destination reset */
};

#ifdef __cplusplus
/* The checks the two block copies share, in their order: size, pointers, fit. BOUNDS_OK lets
 * the copy go on; any other code has already been applied to the destination. */
inline int bounds_check_copy(void *dest, size_t dest_size, const void *src, size_t count) {
    if (dest_size == 0 || dest_size > BOUNDS_MAX_DEST_SIZE) {
        return BOUNDS_BAD_SIZE;
    }
    if (dest == nullptr) {
        return BOUNDS_NULL_DEST;
    }
    if (src == nullptr || count > dest_size) {
        memset(dest, 0, dest_size);
        return src == nullptr ? BOUNDS_NULL_SRC : BOUNDS_NO_FIT;
    }
    return BOUNDS_OK;
}
#endif

#endif
