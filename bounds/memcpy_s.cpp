#include "memcpy_s.h"

#include <stdint.h>
#include <string.h>

namespace {

bool overlaps(const void *a, size_t a_len, const void *b, size_t b_len) {
    const uintptr_t x = reinterpret_cast<uintptr_t>(a);
    const uintptr_t y = reinterpret_cast<uintptr_t>(b);
    return x < y ? y - x < a_len : x - y < b_len;
}

}  // namespace

int memcpy_s(void *dest, size_t dest_size, const void *src, size_t count) {
    const int checked = bounds_check_copy(dest, dest_size, src, count);
    if (checked != BOUNDS_OK) {
        return checked;
    }
    if (count == 0 || src == dest) {
        return BOUNDS_OK;
    }
    if (overlaps(dest, count, src, count)) {
        memset(dest, 0, dest_size);
        return BOUNDS_OVERLAP;
    }
    memcpy(dest, src, count);
    return BOUNDS_OK;
}
