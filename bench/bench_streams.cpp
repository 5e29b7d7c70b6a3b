// Reading a large file through the file filter in 256-byte pieces, and decoding a large
// armored block, over a host made of the C library.
#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "armor_filter.h"
#include "bench_host.h"
#include "file_filter.h"

namespace {

constexpr size_t kFileSize = 256u << 20;
// 64 MiB less one byte: whole groups of three, so the body needs no padding.
constexpr size_t kArmorPayload = (64u << 20) - 1;
constexpr PX_UINT32 kPiece = 256;

PELLAX_PLT_FUNCS make_plt() {
    PELLAX_PLT_FUNCS plt{};
    plt.size = sizeof plt;
    PELLAX_SYS_API &s = plt.sys;
    s = bench_sys_api();
    return plt;  // no log callback: the benchmark measures the streams, not logging
}

const PELLAX_PLT_FUNCS kPlt = make_plt();

std::vector<PX_BYTE> random_bytes(size_t n) {
    std::vector<PX_BYTE> v(n);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        v[i] = static_cast<PX_BYTE>(x);
    }
    return v;
}

const std::string &big_file() {
    static const std::string path = [] {
        const char *dir = std::getenv("TMPDIR");
        std::string p = std::string(dir != nullptr ? dir : "/tmp") + "/notarix_bench_256m.bin";
        const std::vector<PX_BYTE> data = random_bytes(kFileSize);
        FILE *f = std::fopen(p.c_str(), "wb");
        if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
            std::abort();
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_FileFilterRead(benchmark::State &state) {
    g_stdio_buffer = static_cast<size_t>(state.range(0));
    const std::string &path = big_file();
    PX_BYTE piece[kPiece];
    for (auto _ : state) {
        PELLAX_IOBUF *s = nullptr;
        if (pellax_open_file_filter(&kPlt, path.c_str(), "rb", &s) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        size_t total = 0;
        for (;;) {
            PX_UINT32 n = kPiece;
            if (fips_pellax_iobuf_read_noalloc(&kPlt, s, piece, 0, &n) != 0 || n == 0) {
                break;
            }
            total += n;
        }
        benchmark::DoNotOptimize(piece);
        fips_pellax_iobuf_free(&kPlt, s);
        if (total != kFileSize) {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_FileFilterRead)->Arg(0)->Arg(64 << 10)->Unit(benchmark::kMillisecond);

// The armored text: 64-character lines and the checksum line.
const std::string &armored_text() {
    static const std::string text = [] {
        static const char alphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const std::vector<PX_BYTE> data = random_bytes(kArmorPayload);
        std::string t = "-----BEGIN PGP PUBLIC KEY BLOCK-----\nVersion: bench\n\n";
        t.reserve(kArmorPayload / 3 * 4 + kArmorPayload / 48 + 200);
        PX_UINT32 crc = 0xB704CE;
        size_t col = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            crc ^= static_cast<PX_UINT32>(data[i]) << 16;
            for (int k = 0; k < 8; ++k) {
                crc = (crc << 1) ^ ((crc & 0x800000) ? 0x864CFB : 0);
            }
            crc &= 0xFFFFFF;
        }
        for (size_t i = 0; i + 3 <= data.size(); i += 3) {
            const PX_UINT32 g = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
            for (int k = 18; k >= 0; k -= 6) {
                t += alphabet[(g >> k) & 63];
            }
            col += 4;
            if (col == 64) {
                t += '\n';
                col = 0;
            }
        }
        if (col != 0) {
            t += '\n';
        }
        t += '=';
        for (int k = 18; k >= 0; k -= 6) {
            t += alphabet[(crc >> k) & 63];
        }
        t += "\n-----END PGP PUBLIC KEY BLOCK-----\n";
        return t;
    }();
    return text;
}

// The armored text comes from memory, a full buffer per underflow.
struct MemoryText {
    const std::string *text;
    size_t pos;
};

PELLAX_ERROR_CODE memory_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *s, int command) {
    MemoryText *m = static_cast<MemoryText *>(s->filter_ctx);
    if (command != FILTER_CMD_UNDERFLOW) {
        if (command == FILTER_CMD_FREE) {
            fips_pellax_iobuf_clean_buffer(plt, s);
        }
        return 0;
    }
    PX_UINT32 space = 0;
    fips_pellax_iobuf_get_space_size(plt, s, &space);
    size_t n = m->text->size() - m->pos;
    if (n > space) {
        n = space;
    }
    if (n == 0) {
        return 0;
    }
    const PELLAX_ERROR_CODE rc =
        fips_pellax_iobuf_write(plt, s, reinterpret_cast<const PX_BYTE *>(m->text->data()) + m->pos,
                                static_cast<PX_UINT32>(n));
    m->pos += n;
    return rc;
}

void BM_ArmorDecode(benchmark::State &state) {
    const std::string &text = armored_text();
    PX_BYTE piece[kPiece];
    for (auto _ : state) {
        MemoryText m{&text, 0};
        PELLAX_IOBUF *in = nullptr;
        PELLAX_IOBUF *armored = nullptr;
        if (fips_pellax_iobuf_create_and_init(&kPlt, memory_filter, &m, &in) != 0 ||
            pellax_open_armor_filter(&kPlt, in, &armored) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        size_t total = 0;
        PELLAX_ERROR_CODE rc = 0;
        for (;;) {
            PX_UINT32 n = kPiece;
            rc = fips_pellax_iobuf_read_noalloc(&kPlt, armored, piece, 0, &n);
            if (rc != 0 || n == 0) {
                break;
            }
            total += n;
        }
        benchmark::DoNotOptimize(piece);
        fips_pellax_iobuf_free(&kPlt, armored);
        fips_pellax_iobuf_free(&kPlt, in);
        if (rc != 0 || total != kArmorPayload) {
            state.SkipWithError("decoding failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArmorPayload));
}
BENCHMARK(BM_ArmorDecode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
