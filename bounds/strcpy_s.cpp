#include "strcpy_s.h"

#include <stdint.h>
#include <string.h>

namespace {

bool overlaps(const void *a, size_t a_len, const void *b, size_t b_len) {
    const uintptr_t x = reinterpret_cast<uintptr_t>(a);
    const uintptr_t y = reinterpret_cast<uintptr_t>(b);
    return x < y ? y - x < a_len : x - y < b_len;
}

}  // namespace

int strcpy_s(char *dest, size_t dest_size, const char *src) {
    if (dest_size == 0 || dest_size > BOUNDS_MAX_DEST_SIZE) {
        return BOUNDS_BAD_SIZE;
    }
    if (dest == nullptr) {
        return BOUNDS_NULL_DEST;
    }
    if (src == nullptr) {
        dest[0] = '\0';
        return BOUNDS_NULL_SRC;
    }
    // A text that needs more than dest_size bytes is refused without reading all of it.
    const size_t len = strnlen(src, dest_size);
    if (len == dest_size) {
        dest[0] = '\0';
        return BOUNDS_NO_FIT;
    }
    if (src == dest) {
        return BOUNDS_OK;
    }
    if (overlaps(dest, dest_size, src, len + 1)) {
        dest[0] = '\0';
        return BOUNDS_OVERLAP;
    }
    memcpy(dest, src, len + 1);
    return BOUNDS_OK;
}
