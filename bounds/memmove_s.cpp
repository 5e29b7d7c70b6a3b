#include "memmove_s.h"

#include <string.h>

int memmove_s(void *dest, size_t dest_size, const void *src, size_t count) {
    if (dest_size == 0 || dest_size > BOUNDS_MAX_DEST_SIZE) {
        return BOUNDS_BAD_SIZE;
    }
    if (dest == nullptr) {
        return BOUNDS_NULL_DEST;
    }
    if (src == nullptr) {
        memset(dest, 0, dest_size);
        return BOUNDS_NULL_SRC;
    }
    if (count > dest_size) {
        memset(dest, 0, dest_size);
        return BOUNDS_NO_FIT;
    }
    if (count != 0 && src != dest) {
        memmove(dest, src, count);
    }
    return BOUNDS_OK;
}
