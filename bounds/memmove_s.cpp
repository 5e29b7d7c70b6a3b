#include "memmove_s.h"

#include <string.h>

int memmove_s(void *dest, size_t dest_size, const void *src, size_t count) {
    const int checked = bounds_check_copy(dest, dest_size, src, count);
    if (checked != BOUNDS_OK) {
        return checked;
    }
    if (count != 0 && src != dest) {
        memmove(dest, src, count);
    }
    return BOUNDS_OK;
}
