#include "plain_slots.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

void *plain_malloc(PX_ULONG size) {
    return std::malloc(size == 0 ? 1 : size);
}
void plain_free(void *p) {
    std::free(p);
}
int plain_memset_s(void *dest, PX_ULONG dest_size, int value, PX_ULONG count) {
    if (dest == nullptr || count > dest_size) {
        return -1;
    }
    std::memset(dest, value, count);
    return 0;
}
int plain_memmove_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    if (dest == nullptr || src == nullptr || count > dest_size) {
        return -1;
    }
    std::memmove(dest, src, count);
    return 0;
}
int plain_memcmp(const void *a, const void *b, PX_ULONG n) {
    return std::memcmp(a, b, n);
}
int plain_strncmp(const char *a, const char *b, PX_ULONG n) {
    return std::strncmp(a, b, n);
}
char *plain_strstr(const char *t, const char *p) {
    return const_cast<char *>(std::strstr(t, p));
}
char *plain_strchr(const char *t, int c) {
    return const_cast<char *>(std::strchr(t, c));
}
PX_ULONG plain_strlen(const char *t) {
    return std::strlen(t);
}
int plain_strcmp(const char *a, const char *b) {
    return std::strcmp(a, b);
}
int plain_strcpy_s(char *dest, PX_ULONG dest_size, const char *src) {
    if (dest == nullptr || src == nullptr || std::strlen(src) >= dest_size) {
        return -1;
    }
    std::memcpy(dest, src, std::strlen(src) + 1);
    return 0;
}
// At most count characters, count below the size; a text that would be cut fails.
int plain_vsnprintf_s(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                      va_list args) {
    if (dest == nullptr || format == nullptr || count >= dest_size) {
        return -1;
    }
    const int n = std::vsnprintf(dest, count + 1, format, args);
    return (n < 0 || static_cast<PX_ULONG>(n) > count) ? -1 : n;
}
void *plain_fopen(const char *path, const char *mode) {
    return std::fopen(path, mode);
}
PX_ULONG plain_fread(void *buffer, PX_ULONG length, void *handle) {
    return std::fread(buffer, 1, length, static_cast<FILE *>(handle));
}
int plain_fclose(void *handle) {
    return std::fclose(static_cast<FILE *>(handle));
}
PX_ULONG plain_thread_id() {
    return 1;
}
int64_t plain_utc_time() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

PELLAX_SYS_API plain_sys_api() {
    PELLAX_SYS_API s{};
    s.size = sizeof s;
    s.malloc = plain_malloc;
    s.memset_s = plain_memset_s;
    s.memmove_s = plain_memmove_s;
    s.memcpy_s = plain_memmove_s;
    s.free = plain_free;
    s.memcmp = plain_memcmp;
    s.strncmp = plain_strncmp;
    s.strstr = plain_strstr;
    s.strchr = plain_strchr;
    s.strlen = plain_strlen;
    s.strcmp = plain_strcmp;
    s.strcpy_s = plain_strcpy_s;
    s.vsnprintf_s = plain_vsnprintf_s;
    s.fopen = plain_fopen;
    s.fread = plain_fread;
    s.fclose = plain_fclose;
    s.get_thread_id = plain_thread_id;
    s.get_utc_time = plain_utc_time;
    return s;
}
