#include "bench_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

size_t g_stdio_buffer = 0;
size_t g_live = 0;
size_t g_peak = 0;

namespace {

// Each block carries its size, so the benchmarks see the library's live and peak bytes.
constexpr size_t kHeader = 16;

void *h_malloc(PX_ULONG n) {
    unsigned char *p = static_cast<unsigned char *>(std::malloc(n + kHeader));
    if (p == nullptr) {
        return nullptr;
    }
    std::memcpy(p, &n, sizeof n);
    g_live += n;
    g_peak = g_live > g_peak ? g_live : g_peak;
    return p + kHeader;
}
void h_free(void *block) {
    if (block != nullptr) {
        unsigned char *p = static_cast<unsigned char *>(block) - kHeader;
        PX_ULONG n = 0;
        std::memcpy(&n, p, sizeof n);
        g_live -= n;
        std::free(p);
    }
}
int h_memset_s(void *d, PX_ULONG ds, int v, PX_ULONG n) {
    if (n > ds) {
        return -1;
    }
    std::memset(d, v, n);
    return 0;
}
int h_memmove_s(void *d, PX_ULONG ds, const void *s, PX_ULONG n) {
    if (n > ds) {
        return -1;
    }
    std::memmove(d, s, n);
    return 0;
}
int h_memcmp(const void *a, const void *b, PX_ULONG n) {
    return std::memcmp(a, b, n);
}
int h_strncmp(const char *a, const char *b, PX_ULONG n) {
    return std::strncmp(a, b, n);
}
char *h_strstr(const char *t, const char *p) {
    return const_cast<char *>(std::strstr(t, p));
}
char *h_strchr(const char *t, int c) {
    return const_cast<char *>(std::strchr(t, c));
}
PX_ULONG h_strlen(const char *t) {
    return std::strlen(t);
}
int h_strcmp(const char *a, const char *b) {
    return std::strcmp(a, b);
}
int h_strcpy_s(char *d, PX_ULONG ds, const char *s) {
    if (std::strlen(s) >= ds) {
        return -1;
    }
    std::strcpy(d, s);
    return 0;
}
int h_vsnprintf_s(char *d, PX_ULONG ds, PX_ULONG n, const char *f, va_list a) {
    if (n >= ds) {
        return -1;
    }
    const int r = std::vsnprintf(d, n + 1, f, a);
    return (r < 0 || static_cast<PX_ULONG>(r) > n) ? -1 : r;
}
struct HostFile {
    FILE *f;
    char *buffer;
};
void *h_fopen(const char *p, const char *m) {
    FILE *f = std::fopen(p, m);
    if (f == nullptr) {
        return nullptr;
    }
    HostFile *h = new HostFile{f, nullptr};
    if (g_stdio_buffer != 0) {
        h->buffer = static_cast<char *>(std::malloc(g_stdio_buffer));
        std::setvbuf(f, h->buffer, _IOFBF, g_stdio_buffer);
    }
    return h;
}
PX_ULONG h_fread(void *b, PX_ULONG n, void *f) {
    return std::fread(b, 1, n, static_cast<HostFile *>(f)->f);
}
int h_fclose(void *f) {
    HostFile *h = static_cast<HostFile *>(f);
    const int rc = std::fclose(h->f);
    std::free(h->buffer);
    delete h;
    return rc;
}
PX_ULONG h_thread() {
    return 1;
}
int64_t h_time() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

PELLAX_SYS_API bench_sys_api() {
    PELLAX_SYS_API s{};
    s.size = sizeof s;
    s.malloc = h_malloc;
    s.memset_s = h_memset_s;
    s.memmove_s = h_memmove_s;
    s.memcpy_s = h_memmove_s;
    s.free = h_free;
    s.memcmp = h_memcmp;
    s.strncmp = h_strncmp;
    s.strstr = h_strstr;
    s.strchr = h_strchr;
    s.strlen = h_strlen;
    s.strcmp = h_strcmp;
    s.strcpy_s = h_strcpy_s;
    s.vsnprintf_s = h_vsnprintf_s;
    s.fopen = h_fopen;
    s.fread = h_fread;
    s.fclose = h_fclose;
    s.get_thread_id = h_thread;
    s.get_utc_time = h_time;
    return s;
}
