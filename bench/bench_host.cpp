#include "bench_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plain_slots.h"

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

}  // namespace

PELLAX_SYS_API bench_sys_api() {
    PELLAX_SYS_API s = plain_sys_api();
    s.malloc = h_malloc;
    s.free = h_free;
    s.fopen = h_fopen;
    s.fread = h_fread;
    s.fclose = h_fclose;
    return s;
}
