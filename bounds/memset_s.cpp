#include "memset_s.h"

#include <string.h>

int memset_s(void *dest, size_t dest_size, int value, size_t count) {
    // An empty fill of an empty area asks for nothing, so it is not a size fault.
    const bool empty_request = dest_size == 0 && count == 0;
    if ((dest_size == 0 && !empty_request) || dest_size > BOUNDS_MAX_DEST_SIZE) {
        return BOUNDS_BAD_SIZE;
    }
    if (dest == nullptr) {
        return BOUNDS_NULL_DEST;
    }
    if (count > dest_size) {
        memset(dest, value, dest_size);
        return BOUNDS_NO_FIT;
    }
    memset(dest, value, count);
    return BOUNDS_OK;
}
