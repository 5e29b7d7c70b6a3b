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

#include "bench_host.h"
#include "openssl_callback.h"
#include "pellax_vrf_old.h"

namespace {

// The front end's set-up: services, table, provider. Logging stays off, as in a quiet run.
PELLAX_VERIFY_FUNCS set_up() {
    PELLAX_SYS_API s{};
    s = bench_sys_api();
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
