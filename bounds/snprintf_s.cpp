#include "snprintf_s.h"

int snprintf_s(char *dest, size_t dest_size, size_t count, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int rc = vsnprintf_s(dest, dest_size, count, format, args);
    va_end(args);
    return rc;
}
