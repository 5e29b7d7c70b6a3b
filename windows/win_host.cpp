#include "win_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "pellax_types.h"

const char WIN_FILE_FILTER_NAME[] = "file";

namespace {

// The run-time's codes for a refused bounded operation.
constexpr int kCrtInvalid = 22;  // EINVAL
constexpr int kCrtRange = 34;    // ERANGE

void *host_malloc(PX_ULONG size) {
    return std::malloc(size);
}

int host_memset_s(void *dest, PX_ULONG dest_size, int value, PX_ULONG count) {
    if (dest == nullptr || count > dest_size) {
        return -1;
    }
    std::memset(dest, value, count);
    return 0;
}

int host_memmove_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    return memmove_s(dest, dest_size, src, count);
}

int host_memcpy_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    return memcpy_s(dest, dest_size, src, count);
}

void host_free(void *block) {
    std::free(block);
}

int host_memcmp(const void *first, const void *second, PX_ULONG count) {
    return std::memcmp(first, second, count);
}

int host_strncmp(const char *first, const char *second, PX_ULONG count) {
    return std::strncmp(first, second, count);
}

char *host_strstr(const char *text, const char *pattern) {
    return const_cast<char *>(std::strstr(text, pattern));
}

char *host_strchr(const char *text, int character) {
    return const_cast<char *>(std::strchr(text, character));
}

PX_ULONG host_strlen(const char *text) {
    return static_cast<PX_ULONG>(std::strlen(text));
}

int host_strcmp(const char *first, const char *second) {
    return std::strcmp(first, second);
}

int host_strcpy_s(char *dest, PX_ULONG dest_size, const char *src) {
    return strcpy_s(dest, dest_size, src);
}

// The run-time's bounded formatter. It is only asked for a count below the buffer size: that
// way an over-long text is cut and reported with -1 instead of reaching the run-time's
// invalid-parameter handler, which ends the process.
int host_vsnprintf_s(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                     va_list args) {
    if (dest == nullptr || format == nullptr || dest_size == 0) {
        return -1;
    }
    if (count >= dest_size) {
        dest[0] = '\0';
        return -1;
    }
    int written = _vsnprintf_s(dest, dest_size, count, format, args);
    return written < 0 ? -1 : written;
}

void *host_fopen(const char *path, const char *mode) {
    FILE *file = nullptr;
    if (fopen_s(&file, path, mode) != 0) {
        return nullptr;
    }
    return file;
}

PX_ULONG host_fread(void *buffer, PX_ULONG length, void *handle) {
    return static_cast<PX_ULONG>(std::fread(buffer, 1, length, static_cast<FILE *>(handle)));
}

int host_fclose(void *handle) {
    return std::fclose(static_cast<FILE *>(handle));
}

PX_ULONG host_thread_id() {
    return GetCurrentThreadId();
}

int64_t host_utc_time() {
    return _time64(nullptr);
}

}  // namespace

void fill_host_services(PELLAX_SYS_API *sys) {
    std::memset(sys, 0, sizeof *sys);
    sys->size = sizeof *sys;
    sys->malloc = host_malloc;
    sys->memset_s = host_memset_s;
    sys->memmove_s = host_memmove_s;
    sys->memcpy_s = host_memcpy_s;
    sys->free = host_free;
    sys->memcmp = host_memcmp;
    sys->strncmp = host_strncmp;
    sys->strstr = host_strstr;
    sys->strchr = host_strchr;
    sys->strlen = host_strlen;
    sys->strcmp = host_strcmp;
    sys->strcpy_s = host_strcpy_s;
    sys->vsnprintf_s = host_vsnprintf_s;
    sys->fopen = host_fopen;
    sys->fread = host_fread;
    sys->fclose = host_fclose;
    sys->get_thread_id = host_thread_id;
    sys->get_utc_time = host_utc_time;
}

int init_host_services() {
    PELLAX_SYS_API sys;
    fill_host_services(&sys);
    return pellax_old_library_initialize(&sys) == PELLAX_OK ? 0 : -1;
}

namespace {

void close_file_ctx(win_file_ctx *ctx) {
    if (ctx->file != INVALID_HANDLE_VALUE && ctx->file != nullptr) {
        CloseHandle(ctx->file);
    }
    std::free(ctx);
}

// Appends to the stream what the file gives, in reads of at most 512 bytes, until the stream's
// free space is used up or the file ends (a read of nothing).
PELLAX_ERROR_CODE on_underflow(PELLAX_IOBUF *stream, win_file_ctx *ctx) {
    if (ctx->eof) {
        return PELLAX_OK;
    }
    PX_UINT32 space = 0;
    PELLAX_ERROR_CODE rc = pellax_iobuf_get_space_size(stream, &space);
    if (rc != PELLAX_OK || space == 0) {
        return rc;
    }
    PX_BYTE *chunk = static_cast<PX_BYTE *>(std::malloc(WIN_FILE_READ_CHUNK));
    if (chunk == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    while (rc == PELLAX_OK && space > 0) {
        DWORD want = space < WIN_FILE_READ_CHUNK ? space : WIN_FILE_READ_CHUNK;
        DWORD got = 0;
        if (!ReadFile(ctx->file, chunk, want, &got, nullptr)) {
            rc = WIN_ERR_READ_FILE;
        } else if (got == 0) {
            ctx->eof = 1;
            break;
        } else {
            rc = pellax_iobuf_write(stream, chunk, got);
            space -= got;
        }
    }
    std::free(chunk);
    return rc;
}

PELLAX_ERROR_CODE on_free(PELLAX_IOBUF *stream, win_file_ctx *ctx) {
    if (stream->filter_name == nullptr || std::strcmp(stream->filter_name, WIN_FILE_FILTER_NAME)) {
        return PELLAX_ERR_PARAM;
    }
    if (ctx != nullptr) {
        close_file_ctx(ctx);
    }
    stream->filter_ctx = nullptr;
    stream->filter_name = nullptr;
    pellax_iobuf_clean_buffer(stream);
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE win_file_filter(PELLAX_IOBUF *stream, int command) {
    win_file_ctx *ctx =
        stream != nullptr ? static_cast<win_file_ctx *>(stream->filter_ctx) : nullptr;
    switch (command) {
        case FILTER_CMD_INIT:
            if (stream == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            stream->filter_name = WIN_FILE_FILTER_NAME;
            return PELLAX_OK;
        case FILTER_CMD_UNDERFLOW:
            if (ctx == nullptr || ctx->file == INVALID_HANDLE_VALUE || ctx->file == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            return on_underflow(stream, ctx);
        case FILTER_CMD_FREE:
            if (stream == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            return on_free(stream, ctx);
        default:
            return PELLAX_OK;
    }
}

PELLAX_IOBUF *open_file_stream(const char *path) {
    if (path == nullptr) {
        return nullptr;
    }
    win_file_ctx *ctx = static_cast<win_file_ctx *>(std::calloc(1, sizeof(win_file_ctx)));
    if (ctx == nullptr) {
        return nullptr;
    }
    ctx->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ctx->file == INVALID_HANDLE_VALUE) {
        std::free(ctx);
        return nullptr;
    }
    PELLAX_IOBUF *stream = nullptr;
    if (pellax_iobuf_create_and_init(win_file_filter, ctx, &stream) != PELLAX_OK) {
        // Our initialization cannot fail, so the stream never took the context: release it
        // here, or the file would stay open.
        close_file_ctx(ctx);
        return nullptr;
    }
    return stream;
}
