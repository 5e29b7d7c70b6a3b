/* Limits and return codes shared by the bounded routines. */
#ifndef NOTARIX_BOUNDS_LIMITS_H
#define NOTARIX_BOUNDS_LIMITS_H

#include <stddef.h>

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

#endif
