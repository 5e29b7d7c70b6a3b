#include "fuzz_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "armor_filter.h"
#include "free_packet.h"
#include "memcpy_s.h"
#include "memmove_s.h"
#include "memset_s.h"
#include "openssl_callback.h"
#include "parse.h"
#include "plain_slots.h"
#include "strcpy_s.h"
#include "vsnprintf_s.h"

namespace fuzz {
namespace {

long g_live_blocks = 0;
long g_open_files = 0;
const char *g_label = "";
std::string g_file_root;
bool g_files_allowed = false;

void *host_malloc(PX_ULONG size) {
    if (size > kAllocCap) {
        std::fprintf(stderr, "fuzz host: allocation of %lu bytes\n", size);
        fail("allocation above the cap");
    }
    void *p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) {
        ++g_live_blocks;
    }
    return p;
}

void host_free(void *p) {
    if (p != nullptr) {
        --g_live_blocks;
        std::free(p);
    }
}

int host_memset_s(void *dest, PX_ULONG dest_size, int value, PX_ULONG count) {
    return memset_s(dest, dest_size, value, count);
}
int host_memmove_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    return memmove_s(dest, dest_size, src, count);
}
int host_memcpy_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    return memcpy_s(dest, dest_size, src, count);
}
int host_strcpy_s(char *dest, PX_ULONG dest_size, const char *src) {
    return strcpy_s(dest, dest_size, src);
}
int host_vsnprintf_s(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                     va_list args) {
    return vsnprintf_s(dest, dest_size, count, format, args);
}

// Only paths below the root, with no ".." step out of it: a fuzzed digest file names files.
bool allowed_path(const char *path) {
    if (!g_files_allowed) {
        return false;
    }
    const std::string p(path);
    if (p.compare(0, g_file_root.size(), g_file_root) != 0 ||
        (p.size() > g_file_root.size() && p[g_file_root.size()] != '/')) {
        return false;
    }
    for (size_t at = g_file_root.size(); at < p.size();) {
        const size_t next = p.find('/', at + 1);
        const std::string step = p.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        if (step == "..") {
            return false;
        }
        at = next == std::string::npos ? p.size() : next;
    }
    return true;
}

void *host_fopen(const char *path, const char *mode) {
    if (!allowed_path(path)) {
        return nullptr;
    }
    FILE *f = std::fopen(path, mode);
    if (f != nullptr) {
        ++g_open_files;
    }
    return f;
}
int host_fclose(void *handle) {
    --g_open_files;
    return std::fclose(static_cast<FILE *>(handle));
}
int64_t host_utc_time() {
    return kClock;
}

// Reads every line to its end, so that an unterminated or freed message shows under ASan.
void host_log(PELLAX_LOG_TYPE, const char *file, int, PX_ULONG, int64_t, int, const char *message) {
    volatile size_t sink = std::strlen(file) + std::strlen(message);
    (void)sink;
}

PELLAX_CALLBACK_FUNCS make_callbacks() {
    PELLAX_CALLBACK_FUNCS f{};
    f.size = sizeof f;
    f.plt.size = sizeof f.plt;
    // The C library behind the other slots; the bounded ones are the Linux program's own.
    PELLAX_SYS_API &s = f.plt.sys;
    s = plain_sys_api();
    s.malloc = host_malloc;
    s.free = host_free;
    s.memset_s = host_memset_s;
    s.memmove_s = host_memmove_s;
    s.memcpy_s = host_memcpy_s;
    s.strcpy_s = host_strcpy_s;
    s.vsnprintf_s = host_vsnprintf_s;
    s.fopen = host_fopen;
    s.fclose = host_fclose;
    s.get_utc_time = host_utc_time;
    f.plt.log_callback = host_log;
    openssl_fill_callbacks(&f);
    if (openssl_library_init() != 1 || pellax_old_library_initialize(&s) != 0) {
        fail("host setup");
    }
    return f;
}

}  // namespace

const PELLAX_CALLBACK_FUNCS &callbacks() {
    static const PELLAX_CALLBACK_FUNCS funcs = make_callbacks();
    return funcs;
}

void set_input_label(const char *label) {
    g_label = label != nullptr ? label : "";
}

void set_file_root(const char *dir) {
    g_files_allowed = dir != nullptr;
    g_file_root = dir != nullptr ? dir : "";
}

void begin_input() {
    (void)callbacks();
    g_live_blocks = 0;
    g_open_files = 0;
}

void end_input() {
    check(g_live_blocks == 0, "host blocks left allocated");
    check(g_open_files == 0, "files left open");
}

void fail(const char *what) {
    std::fprintf(stderr, "fuzz check failed: %s%s%s\n", what, *g_label != '\0' ? ", input: " : "",
                 g_label);
    std::abort();
}

void each_packet(const uint8_t *data, size_t size,
                 void (*visit)(const PELLAX_PACKET &packet, void *user), void *user) {
    const PELLAX_PLT_FUNCS *p = plt();
    MemStream base(data, size);
    PELLAX_IOBUF *armored = nullptr;
    if (size != 0 && pellax_check_data_is_armored(p, data[0]) != 0 &&
        pellax_open_armor_filter(p, base.get(), &armored) != PELLAX_OK) {
        fail("armor filter did not open");
    }
    PELLAX_IOBUF *stream = armored != nullptr ? armored : base.get();
    for (;;) {
        PELLAX_PACKET packet{0, nullptr};
        int end = 0;
        const PELLAX_ERROR_CODE rc = parse_packet(p, stream, &packet, &end);
        if (rc == PELLAX_OK && end == 0) {
            visit(packet, user);
        }
        free_packet(p, &packet);
        if (rc != PELLAX_OK || end != 0) {
            break;
        }
    }
    fips_pellax_iobuf_free(p, armored);
}

void read_file(const char *path, uint8_t **data, size_t *size) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "fuzz host: cannot read %s\n", path);
        fail("fixture missing");
    }
    std::string bytes;
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) != 0;) {
        bytes.append(block, n);
    }
    std::fclose(f);
    *size = bytes.size();
    *data = static_cast<uint8_t *>(std::malloc(bytes.size() + 1));
    check(*data != nullptr, "no memory");
    std::memcpy(*data, bytes.data(), bytes.size());
}

MemStream::MemStream(const uint8_t *data, size_t size, PX_UINT32 chunk)
    : data_(data), size_(size), chunk_(chunk == 0 ? 1 : chunk) {
    if (fips_pellax_iobuf_create_and_init(plt(), filter, this, &stream_) != PELLAX_OK) {
        fail("memory stream");
    }
}

MemStream::~MemStream() {
    fips_pellax_iobuf_free(plt(), stream_);
}

PELLAX_ERROR_CODE MemStream::filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                    int command) {
    MemStream *self = static_cast<MemStream *>(stream->filter_ctx);
    if (command == FILTER_CMD_INIT) {
        stream->filter_name = "fuzz";
        return PELLAX_OK;
    }
    if (command == FILTER_CMD_FREE) {
        stream->filter_ctx = nullptr;
        return PELLAX_OK;
    }
    if (command != FILTER_CMD_UNDERFLOW || self == nullptr) {
        return PELLAX_OK;
    }
    PX_UINT32 space = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
    if (rc != PELLAX_OK) {
        return rc;
    }
    size_t n = self->size_ - self->pos_;
    n = n < space ? n : space;
    n = n < self->chunk_ ? n : self->chunk_;
    if (n == 0) {
        return PELLAX_OK;
    }
    rc = fips_pellax_iobuf_write(plt, stream, self->data_ + self->pos_, static_cast<PX_UINT32>(n));
    if (rc == PELLAX_OK) {
        self->pos_ += n;
    }
    return rc;
}

}  // namespace fuzz
