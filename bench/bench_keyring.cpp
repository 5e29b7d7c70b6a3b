// Key loading and detached-signature verification through the library's front-end table, over
// a host made of the C library and the OpenSSL provider. Driven by keyring-bench.sh, which
// makes the keys, the signed file and the comparison with `openssl dgst`.
//
//   bench_keyring verify <key file> <signed file> <signature> [stdio buffer bytes]
//   bench_keyring load <key file> <repetitions>
#include <sys/resource.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "openssl_callback.h"
#include "pellax_vrf_old.h"

namespace {

size_t g_stdio_buffer = 0;  // 0: the C library's default

void *h_malloc(PX_ULONG n) {
    return std::malloc(n == 0 ? 1 : n);
}
void h_free(void *p) {
    std::free(p);
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

// The front end's set-up: services, table, provider. Logging stays off, as in a quiet run.
PELLAX_VERIFY_FUNCS set_up() {
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
    openssl_library_init();
    PELLAX_VERIFY_FUNCS t{};
    if (pellax_old_library_initialize(&s) != 0 || pellax_initialize_verify_funcs(&t) != 0 ||
        t.set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                          openssl_md_final, openssl_md_ctx_destory) != 0 ||
        t.set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                           openssl_vrf_final, openssl_vrf_ctx_destory) != 0) {
        std::fprintf(stderr, "set-up failed\n");
        std::exit(2);
    }
    return t;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peak_rss_kib() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int verify(const char *keys, const char *data, const char *sig) {
    PELLAX_VERIFY_FUNCS t = set_up();
    PELLAX_VRF_CTX *ctx = nullptr;
    if (t.vrf_ctx_create(&ctx) != 0 || t.verify_initialize(ctx, keys) != 0) {
        std::fprintf(stderr, "loading %s failed\n", keys);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    int result = 0;
    const PX_BYTE *fp = nullptr;
    PX_ULONG fp_len = 0;
    const PELLAX_ERROR_CODE rc = t.verify_detach_signature(ctx, data, sig, &result, &fp, &fp_len);
    const double elapsed = seconds_since(start);
    std::printf("verify code=%u result=%d seconds=%.3f peak_rss_kib=%ld\n", rc, result, elapsed,
                peak_rss_kib());
    t.vrf_ctx_free(ctx);
    return rc == 0 && result == 1 ? 0 : 1;
}

int load(const char *keys, int repetitions) {
    PELLAX_VERIFY_FUNCS t = set_up();
    PELLAX_VRF_CTX *ctx = nullptr;
    if (t.vrf_ctx_create(&ctx) != 0) {
        return 2;
    }
    double best = 1e9;
    double total = 0;
    int kept = 0;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const PELLAX_ERROR_CODE rc = t.verify_initialize(ctx, keys);
        const double elapsed = seconds_since(start);
        if (rc != 0) {
            std::fprintf(stderr, "loading %s failed: %u\n", keys, rc);
            return 2;
        }
        best = elapsed < best ? elapsed : best;
        total += elapsed;
        kept = static_cast<int>(ctx->keyring->count);
    }
    std::printf("load packets=%d best_seconds=%.4f mean_seconds=%.4f\n", kept, best,
                total / repetitions);
    t.vrf_ctx_free(ctx);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 5 && std::strcmp(argv[1], "verify") == 0) {
        if (argc >= 6) {
            g_stdio_buffer = std::strtoul(argv[5], nullptr, 10);
        }
        return verify(argv[2], argv[3], argv[4]);
    }
    if (argc == 4 && std::strcmp(argv[1], "load") == 0) {
        return load(argv[2], std::atoi(argv[3]));
    }
    std::fprintf(stderr,
                 "usage: %s verify <keys> <data> <signature> [stdio buffer]\n"
                 "       %s load <keys> <repetitions>\n",
                 argv[0], argv[0]);
    return 2;
}
