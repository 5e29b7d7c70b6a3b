#include "pellax_iobuf.h"

#include <string.h>

#include "pellax_common.h"
#include "pellax_log.h"
#include "pellax_plt_st_check.h"

// Readers see the stream byte by byte, but bytes move in blocks: a reader takes everything the
// buffer holds up to what it needs (or up to a line feed) with one copy, and asks the filter
// again only where a byte-wise reader would have found the buffer empty. Underflows therefore
// happen at the same points, with the same positions, as for a byte-wise reader.

namespace {

const char kModule[] = "pellax_iobuf";

constexpr PX_UINT32 kCapacity = PELLAX_IOBUF_CAPACITY;
constexpr PX_UINT32 kLineBlock = 256;     // first line block, and the step it grows by
constexpr PX_UINT32 kMinLineLimit = 256;  // smallest line limit a caller may pass
constexpr PX_UINT32 kLineSlack = 3;       // room kept for the line feed and the terminator
constexpr PX_UINT32 kMinLineBlock = 3;
constexpr PX_UINT32 kReadGrowStep = 512;  // appended block reads grow by this
constexpr uint64_t kMaxLength = 0xFFFFFFFFu;

inline PX_UINT32 unread(const PELLAX_IOBUF *stream) {
    return stream->data_len - stream->read_pos;
}

inline PX_UINT32 min_u32(PX_UINT32 a, PX_UINT32 b) {
    return a < b ? a : b;
}

PELLAX_ERROR_CODE call_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command) {
    if (stream->filter_style == 1) {
        return reinterpret_cast<PELLAX_IOBUF_FILTER_NOPLT>(stream->filter)(stream, command);
    }
    return reinterpret_cast<PELLAX_IOBUF_FILTER>(stream->filter)(plt, stream, command);
}

// A host filter works on the public record; a reader must never follow positions it broke.
bool stream_consistent(const PELLAX_IOBUF *stream) {
    return stream->read_pos <= stream->data_len && stream->data_len <= stream->buf_size &&
           stream->buf_size <= kCapacity && (stream->buf != nullptr || stream->buf_size == 0);
}

// No filter means no more data: nothing is appended and that is no failure.
PELLAX_ERROR_CODE underflow(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    if (stream->filter == nullptr) {
        return PELLAX_OK;
    }
    PELLAX_ERROR_CODE rc = call_filter(plt, stream, FILTER_CMD_UNDERFLOW);
    if (rc == PELLAX_OK && !stream_consistent(stream)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_STREAM, "Filter left the stream inconsistent, iobuf: 0x%08x.",
                     PX_PTR(stream));
        rc = PELLAX_ERR_STREAM;
    }
    return rc;
}

// The underflow of get: positions are kept, so a filter that puts appends behind them.
PELLAX_ERROR_CODE refill_keeping_positions(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    PELLAX_ERROR_CODE rc = underflow(plt, stream);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "underflow error.");
    }
    return rc;
}

// The underflow of peek and read_noalloc: an empty buffer starts over at index 0.
PELLAX_ERROR_CODE refill_from_start(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    stream->read_pos = 0;
    stream->data_len = 0;
    return refill_keeping_positions(plt, stream);
}

PELLAX_ERROR_CODE alloc_buffer(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               const char *failure_text) {
    PX_BYTE *buf = static_cast<PX_BYTE *>(pellax_malloc_zeroed(&plt->sys, kCapacity));
    if (buf == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, failure_text, kCapacity);
        return PELLAX_ERR_ALLOC;
    }
    stream->buf = buf;
    stream->buf_size = kCapacity;
    stream->read_pos = 0;
    stream->data_len = 0;
    return PELLAX_OK;
}

// Moves the unread bytes to the front so that appends find the consumed prefix free.
void iobuf_clean_read(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    if (stream->read_pos == 0) {
        return;
    }
    const PX_UINT32 left = unread(stream);
    if (left != 0) {
        pellax_memmove_s(&plt->sys, stream->buf, stream->buf_size, stream->buf + stream->read_pos,
                         left);
    }
    stream->data_len = left;
    stream->read_pos = 0;
}

PELLAX_ERROR_CODE copy_out(const PELLAX_PLT_FUNCS *plt, PX_BYTE *dest, PX_ULONG dest_size,
                           const PX_BYTE *src, PX_UINT32 count) {
    if (count == 0) {
        return PELLAX_OK;
    }
    if (pellax_memcpy_s(&plt->sys, dest, dest_size, src, count) != 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_STREAM, "pellax_memcpy_s error, copy size: 0x%x.", count);
        return PELLAX_ERR_STREAM;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE get_byte(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_BYTE *byte,
                           int *eof) {
    *eof = 0;
    if (stream->read_pos == stream->data_len) {
        PELLAX_ERROR_CODE rc = refill_keeping_positions(plt, stream);
        if (rc != PELLAX_OK) {
            return rc;
        }
    }
    if (stream->read_pos < stream->data_len) {
        *byte = stream->buf[stream->read_pos++];
        return PELLAX_OK;
    }
    *eof = 1;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE get_noend(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_BYTE *byte) {
    int eof = 0;
    PELLAX_ERROR_CODE rc = get_byte(plt, stream, byte, &eof);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
        return rc;
    }
    if (eof) {
        PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
        return PELLAX_ERR_DATA_OVER;
    }
    return PELLAX_OK;
}

// Big-endian integer of `count` bytes; holds the bytes read so far after a failure.
template <typename T>
PELLAX_ERROR_CODE read_be(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, T *value, int count) {
    *value = 0;
    for (int i = 0; i < count; ++i) {
        PX_BYTE byte = 0;
        PELLAX_ERROR_CODE rc = get_noend(plt, stream, &byte);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
            return PELLAX_ERR_TRUNCATED;
        }
        *value = static_cast<T>((*value << 8) | byte);
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE read_noalloc(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_BYTE *buffer,
                               PX_UINT32 *r_len) {
    const PX_UINT32 want = *r_len;
    PX_UINT32 got = 0;
    while (got < want) {
        if (stream->read_pos == stream->data_len) {
            PELLAX_ERROR_CODE rc = refill_from_start(plt, stream);
            if (rc != PELLAX_OK) {
                return rc;
            }
            if (stream->read_pos == stream->data_len) {
                break;
            }
        }
        const PX_UINT32 take = min_u32(unread(stream), want - got);
        PELLAX_ERROR_CODE rc =
            copy_out(plt, buffer + got, want - got, stream->buf + stream->read_pos, take);
        if (rc != PELLAX_OK) {
            return rc;
        }
        stream->read_pos += take;
        got += take;
    }
    *r_len = got;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE check_read_line_parameter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                            PX_BYTE **buffer, PX_UINT32 *len, PX_UINT32 *size,
                                            PX_UINT32 *max_len) {
    PELLAX_ERROR_CODE rc = PELLAX_OK;
    if (stream == nullptr || buffer == nullptr || len == nullptr || size == nullptr ||
        max_len == nullptr) {
        rc = PELLAX_ERR_PARAM;
        PX_LOG_ERROR(
            plt, rc,
            "Parameter error. iobuf: 0x%08x, buffer: 0x%08x, size: 0x%08x, max_len: 0x%08x",
            PX_PTR(stream), PX_PTR(buffer), PX_PTR(size), PX_PTR(max_len));
    } else if (*max_len < kMinLineLimit) {
        rc = PELLAX_ERR_PARAM;
        PX_LOG_ERROR(plt, rc, "Max length is too short. max length: 0x%x.", *max_len);
    } else if (*buffer == nullptr) {
        PX_BYTE *block = static_cast<PX_BYTE *>(pellax_malloc(&plt->sys, kLineBlock));
        if (block == nullptr || pellax_memset_s(&plt->sys, block, kLineBlock, 0, kLineBlock) != 0) {
            if (block != nullptr) {
                pellax_free(&plt->sys, block);
            }
            rc = PELLAX_ERR_ALLOC;
            PX_LOG_ERROR(plt, rc, "pellax_malloc error, Alloc memory size: 0x%x.", kLineBlock);
        } else {
            *buffer = block;
            *size = kLineBlock;
        }
    } else if (*size < kMinLineBlock) {
        rc = PELLAX_ERR_PARAM;
        PX_LOG_ERROR(plt, rc, "size is too short: 0x%x.", *size);
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "check_read_line_parameter error.");
    }
    return rc;
}

// Consumes the rest of an overlong line, its line feed included.
PELLAX_ERROR_CODE skip_current_line(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    for (;;) {
        if (stream->read_pos == stream->data_len) {
            PELLAX_ERROR_CODE rc = refill_keeping_positions(plt, stream);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
                return rc;
            }
            if (stream->read_pos == stream->data_len) {
                return PELLAX_OK;
            }
        }
        const PX_BYTE *start = stream->buf + stream->read_pos;
        const PX_UINT32 avail = unread(stream);
        const void *feed = memchr(start, '\n', avail);
        if (feed != nullptr) {
            stream->read_pos +=
                static_cast<PX_UINT32>(static_cast<const PX_BYTE *>(feed) - start) + 1;
            return PELLAX_OK;
        }
        stream->read_pos += avail;
    }
}

PELLAX_ERROR_CODE grow_line_block(const PELLAX_PLT_FUNCS *plt, PX_BYTE **buffer, PX_UINT32 len,
                                  PX_UINT32 *size, PX_UINT32 limit) {
    uint64_t grown =
        (static_cast<uint64_t>(*size) & ~static_cast<uint64_t>(kLineBlock - 1)) + kLineBlock;
    const PX_UINT32 new_size = grown < limit ? static_cast<PX_UINT32>(grown) : limit;
    void *block = nullptr;
    PELLAX_ERROR_CODE rc = pellax_common_realloc(plt, *buffer, len, new_size, &block);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_common_realloc error.");
        return rc;
    }
    *buffer = static_cast<PX_BYTE *>(block);
    *size = new_size;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE read_line(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_BYTE **buffer,
                            PX_UINT32 *len, PX_UINT32 *size, PX_UINT32 *max_len) {
    const PX_UINT32 limit = *max_len;
    PX_UINT32 n = 0;
    *len = 0;
    for (;;) {
        if (n >= limit - kLineSlack) {
            PELLAX_ERROR_CODE rc = skip_current_line(plt, stream);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "skip_current_line error. iobuf: 0x%08x.", PX_PTR(stream));
                return rc;
            }
            (*buffer)[n] = '\n';
            (*buffer)[n + 1] = 0;
            *len = n + 1;
            *max_len = 0;  // tells the caller that the line was cut
            return PELLAX_OK;
        }
        if (n >= *size - kLineSlack) {
            PELLAX_ERROR_CODE rc = grow_line_block(plt, buffer, n, size, limit);
            if (rc != PELLAX_OK) {
                return rc;
            }
        }
        if (stream->read_pos == stream->data_len) {
            PELLAX_ERROR_CODE rc = refill_keeping_positions(plt, stream);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
                return rc;
            }
            if (stream->read_pos == stream->data_len) {
                if (n == 0) {
                    (*buffer)[0] = 0;
                    PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
                    return PELLAX_OK;
                }
                // A last line without a line feed still ends with one.
                (*buffer)[n] = '\n';
                (*buffer)[n + 1] = 0;
                *len = n + 1;
                return PELLAX_OK;
            }
        }
        // Take no more than a byte-wise reader would before its next limit check.
        const PX_UINT32 stop = min_u32(limit, *size) - kLineSlack;
        PX_UINT32 take = min_u32(unread(stream), stop - n);
        const PX_BYTE *start = stream->buf + stream->read_pos;
        const void *feed = memchr(start, '\n', take);
        if (feed != nullptr) {
            take = static_cast<PX_UINT32>(static_cast<const PX_BYTE *>(feed) - start) + 1;
        }
        PELLAX_ERROR_CODE rc = copy_out(plt, *buffer + n, *size - n, start, take);
        if (rc != PELLAX_OK) {
            return rc;
        }
        stream->read_pos += take;
        n += take;
        *len = n;
        if (feed != nullptr) {
            (*buffer)[n] = 0;
            return PELLAX_OK;
        }
    }
}

PELLAX_ERROR_CODE read_block(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_BYTE **buffer,
                             PX_UINT32 offset, PX_UINT32 *size, PX_UINT32 *r_len) {
    const PX_UINT32 want = *r_len;
    PX_BYTE *tmp = nullptr;
    if (want != 0) {
        tmp = static_cast<PX_BYTE *>(pellax_malloc(&plt->sys, want));
        if (tmp == nullptr || pellax_memset_s(&plt->sys, tmp, want, 0, want) != 0) {
            if (tmp != nullptr) {
                pellax_free(&plt->sys, tmp);
            }
            PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc size: 0x%x.", want);
            return PELLAX_ERR_ALLOC;
        }
    }
    PX_UINT32 got = want;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read_noalloc(plt, stream, tmp, 0, &got);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_noalloc error, read size: 0x%x.", want);
        if (tmp != nullptr) {
            pellax_free(&plt->sys, tmp);
        }
        return rc;
    }
    if (got == 0) {
        *r_len = 0;
        pellax_free(&plt->sys, tmp);
        return PELLAX_OK;
    }
    if (offset == 0) {
        if (*buffer != nullptr) {
            pellax_free(&plt->sys, *buffer);
        }
        *buffer = tmp;
        *size = want;
        *r_len = got;
        return PELLAX_OK;
    }
    const uint64_t total = static_cast<uint64_t>(offset) + got;
    const uint64_t grown = (total & ~static_cast<uint64_t>(kReadGrowStep - 1)) + kReadGrowStep;
    if (total > kMaxLength || (total >= *size && grown > kMaxLength)) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Data is too long. offset: 0x%x, len: 0x%x.", offset, got);
        pellax_free(&plt->sys, tmp);
        return PELLAX_ERR_TOO_LONG;
    }
    if (total >= *size) {
        void *block = nullptr;
        rc = pellax_common_realloc(plt, *buffer, offset, static_cast<PX_UINT32>(grown), &block);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_common_realloc error.");
            pellax_free(&plt->sys, tmp);
            return rc;
        }
        *buffer = static_cast<PX_BYTE *>(block);
        *size = static_cast<PX_UINT32>(grown);
    }
    rc = copy_out(plt, *buffer + offset, *size - offset, tmp, got);
    pellax_free(&plt->sys, tmp);
    if (rc != PELLAX_OK) {
        return rc;
    }
    *r_len = static_cast<PX_UINT32>(total);
    return PELLAX_OK;
}

PELLAX_ERROR_CODE create_and_init(const PELLAX_PLT_FUNCS *plt, void *filter, PX_UINT32 style,
                                  void *filter_ctx, PELLAX_IOBUF **stream) {
    if (filter == nullptr || filter_ctx == nullptr || stream == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Parameter error, f: 0x%08x, ctx: 0x%08x, newIOBUF: 0x%08x.", PX_PTR(filter),
                     PX_PTR(filter_ctx), PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    *stream = nullptr;
    PELLAX_IOBUF *created = nullptr;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_create(plt, &created);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_create error.");
        return rc;
    }
    created->filter_ctx = filter_ctx;
    created->filter_style = style;
    created->filter = filter;
    rc = call_filter(plt, created, FILTER_CMD_INIT);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Initialize stream error.");
        fips_pellax_iobuf_free(plt, created);
        return rc;
    }
    *stream = created;
    return PELLAX_OK;
}

// The public forms run on the global table once it is initialized and whole.
PELLAX_ERROR_CODE global_plt(const PELLAX_PLT_FUNCS **plt) {
    if (!pellax_global_table_ready()) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    if (!pellax_sys_is_all_sys_api_valid(&s_kitCallbackFuncs.plt.sys)) {
        return PELLAX_ERR_SYS_API;
    }
    *plt = &s_kitCallbackFuncs.plt;
    return PELLAX_OK;
}

}  // namespace

// ---- Lifecycle ----

PELLAX_ERROR_CODE fips_pellax_iobuf_create(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF **stream) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (stream == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, r_iobuf: 0x%08x.", PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    PELLAX_IOBUF *created =
        static_cast<PELLAX_IOBUF *>(pellax_malloc_zeroed(&plt->sys, sizeof *created));
    if (created == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     static_cast<unsigned>(sizeof *created));
        return PELLAX_ERR_ALLOC;
    }
    *stream = created;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_create_and_init(const PELLAX_PLT_FUNCS *plt,
                                                    PELLAX_IOBUF_FILTER filter, void *filter_ctx,
                                                    PELLAX_IOBUF **stream) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    return create_and_init(plt, reinterpret_cast<void *>(filter), 0, filter_ctx, stream);
}

void fips_pellax_iobuf_free(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    if (plt == nullptr || stream == nullptr) {
        return;
    }
    if (stream->filter != nullptr) {
        PELLAX_ERROR_CODE rc = call_filter(plt, stream, FILTER_CMD_FREE);
        if (rc != PELLAX_OK) {
            PX_LOG_WARN(plt, rc, "Destory filter error, iobuf: 0x%08x.", PX_PTR(stream));
        }
    }
    if (stream->buf != nullptr) {
        pellax_free(&plt->sys, stream->buf);
    }
    pellax_free(&plt->sys, stream);
}

void fips_pellax_iobuf_clean_buffer(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
    if (plt == nullptr || stream == nullptr) {
        return;
    }
    if (stream->buf != nullptr) {
        pellax_free(&plt->sys, stream->buf);
    }
    stream->buf = nullptr;
    stream->buf_size = 0;
    stream->read_pos = 0;
    stream->data_len = 0;
}

// ---- Reading ----

PELLAX_ERROR_CODE fips_pellax_iobuf_peek(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                         PX_BYTE *byte) {
    if (plt == nullptr || stream == nullptr || byte == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream->read_pos == stream->data_len) {
        PELLAX_ERROR_CODE rc = refill_from_start(plt, stream);
        if (rc != PELLAX_OK) {
            return rc;
        }
        if (stream->read_pos == stream->data_len) {
            PX_LOG_ERROR(plt, PELLAX_ERR_TRUNCATED, "No more data.");
            return PELLAX_ERR_TRUNCATED;
        }
    }
    *byte = stream->buf[stream->read_pos];
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_get(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                        PX_BYTE *byte, int *eof) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || byte == nullptr || eof == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    return get_byte(plt, stream, byte, eof);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_get_noend(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              PX_BYTE *byte) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || byte == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "pellax_iobuf_get error.");
        return PELLAX_ERR_PARAM;
    }
    return get_noend(plt, stream, byte);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_skip_rest(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              uint64_t count) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, iobuf: 0x%08x.", PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    while (count != 0) {
        const PX_UINT32 avail = unread(stream);
        if (avail != 0) {
            const PX_UINT32 take = count < avail ? static_cast<PX_UINT32>(count) : avail;
            stream->read_pos += take;
            count -= take;
            continue;
        }
        // Empty: one byte through get_noend asks the filter exactly as a byte-wise skip would.
        PX_BYTE byte = 0;
        PELLAX_ERROR_CODE rc = get_noend(plt, stream, &byte);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
            return PELLAX_ERR_TRUNCATED;
        }
        --count;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_read_16(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                            uint16_t *value) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || value == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, iobuf: 0x%08x.", PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    return read_be(plt, stream, value, 2);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_read_32(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                            PX_UINT32 *value) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || value == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, iobuf: 0x%08x, data: 0x%08x.",
                     PX_PTR(stream), PX_PTR(value));
        return PELLAX_ERR_PARAM;
    }
    return read_be(plt, stream, value, 4);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_read_noalloc(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                                 PX_BYTE *buffer, PX_UINT32 offset,
                                                 PX_UINT32 *r_len) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || buffer == nullptr || r_len == nullptr || *r_len == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Parameter error, iobuf: 0x%08x, buffer: 0x%08x, offset: 0x%08x, in_r_len: "
                     "0x%08x.",
                     PX_PTR(stream), PX_PTR(buffer), offset, PX_PTR(r_len));
        return PELLAX_ERR_PARAM;
    }
    return read_noalloc(plt, stream, buffer + offset, r_len);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_read(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                         PX_BYTE **buffer, PX_UINT32 offset, PX_UINT32 *size,
                                         PX_UINT32 *r_len) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    // An offset past the caller's block would make the append read beyond it.
    if (buffer == nullptr || r_len == nullptr || stream == nullptr || size == nullptr ||
        (offset != 0 && *buffer != nullptr && offset > *size)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Parameter error, iobuf: 0x%08x, buffer: 0x%08x, offset: 0x%08x, size: "
                     "0x%08x, in_r_len: 0x%08x.",
                     PX_PTR(stream), PX_PTR(buffer), offset, PX_PTR(size), PX_PTR(r_len));
        return PELLAX_ERR_PARAM;
    }
    if (offset != 0 && *buffer == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Offset is not zero, but buffer is null, this is a mistake");
        return PELLAX_ERR_PARAM;
    }
    return read_block(plt, stream, buffer, offset, size, r_len);
}

PELLAX_ERROR_CODE fips_pellax_iobuf_read_line(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              PX_BYTE **buffer, PX_UINT32 *len, PX_UINT32 *size,
                                              PX_UINT32 *max_len) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    PELLAX_ERROR_CODE rc = check_read_line_parameter(plt, stream, buffer, len, size, max_len);
    if (rc != PELLAX_OK) {
        return rc;
    }
    return read_line(plt, stream, buffer, len, size, max_len);
}

// ---- Writing ----

PELLAX_ERROR_CODE fips_pellax_iobuf_get_space_size(const PELLAX_PLT_FUNCS *plt,
                                                   PELLAX_IOBUF *stream, PX_UINT32 *space) {
    if (plt == nullptr || stream == nullptr || space == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    *space = kCapacity - unread(stream);
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_write(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                          const PX_BYTE *data, PX_UINT32 len) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || data == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Parameter error, iobuf: 0x%08x, buffer: 0x%08x, len: 0x%x.", PX_PTR(stream),
                     PX_PTR(data), len);
        return PELLAX_ERR_PARAM;
    }
    PX_UINT32 space = 0;
    if (stream->buf == nullptr) {
        PELLAX_ERROR_CODE rc = alloc_buffer(plt, stream, "pellax_malloc error, alloc size: 0x%x.");
        if (rc != PELLAX_OK) {
            return rc;
        }
        space = kCapacity;
    } else {
        iobuf_clean_read(plt, stream);
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc,
                         "pellax_iobuf_get_space_size error, iobuf: 0x%08x, &space_size: 0x%08x.",
                         PX_PTR(stream), PX_PTR(&space));
            return rc;
        }
    }
    if (len > space || len > stream->buf_size - stream->data_len) {
        PX_LOG_ERROR(plt, PELLAX_ERR_STREAM,
                     "Can't put all data into buffer, space size: 0x%x, put data length: 0x%x",
                     space, len);
        return PELLAX_ERR_STREAM;
    }
    PELLAX_ERROR_CODE rc = copy_out(plt, stream->buf + stream->data_len,
                                    stream->buf_size - stream->data_len, data, len);
    if (rc != PELLAX_OK) {
        return rc;
    }
    stream->data_len += len;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_put(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                        PX_BYTE byte, int *full) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || full == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    if (stream->buf == nullptr) {
        PELLAX_ERROR_CODE rc = alloc_buffer(plt, stream, "Alloc memory error, alloc size: 0x%x.");
        if (rc != PELLAX_OK) {
            return rc;
        }
    } else if (stream->data_len >= kCapacity) {
        iobuf_clean_read(plt, stream);
    }
    if (stream->data_len >= stream->buf_size) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Can't put data into buffer any more.");
        return PELLAX_ERR_STREAM;
    }
    stream->buf[stream->data_len++] = byte;
    *full = stream->data_len == stream->buf_size ? 1 : 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_iobuf_put_nofull(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_BYTE byte) {
    int full = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_put(plt, stream, byte, &full);
    if (rc != PELLAX_OK) {
        return rc;
    }
    return full ? PELLAX_ERR_FULL : PELLAX_OK;
}

// ---- Public forms on the global table ----

PELLAX_ERROR_CODE pellax_iobuf_create(PELLAX_IOBUF **stream) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_create(plt, stream);
}

PELLAX_ERROR_CODE pellax_iobuf_create_and_init(PELLAX_IOBUF_FILTER_NOPLT filter, void *filter_ctx,
                                               PELLAX_IOBUF **stream) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK
               ? rc
               : create_and_init(plt, reinterpret_cast<void *>(filter), 1, filter_ctx, stream);
}

PELLAX_ERROR_CODE pellax_iobuf_free(PELLAX_IOBUF *stream) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    if (rc == PELLAX_OK) {
        fips_pellax_iobuf_free(plt, stream);
    }
    return rc;
}

PELLAX_ERROR_CODE pellax_iobuf_clean_buffer(PELLAX_IOBUF *stream) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    if (rc == PELLAX_OK) {
        fips_pellax_iobuf_clean_buffer(plt, stream);
    }
    return rc;
}

PELLAX_ERROR_CODE pellax_iobuf_get_space_size(PELLAX_IOBUF *stream, PX_UINT32 *space) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_get_space_size(plt, stream, space);
}

PELLAX_ERROR_CODE pellax_iobuf_peek(PELLAX_IOBUF *stream, PX_BYTE *byte) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_peek(plt, stream, byte);
}

PELLAX_ERROR_CODE pellax_iobuf_get(PELLAX_IOBUF *stream, PX_BYTE *byte, int *eof) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_get(plt, stream, byte, eof);
}

PELLAX_ERROR_CODE pellax_iobuf_get_noend(PELLAX_IOBUF *stream, PX_BYTE *byte) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_get_noend(plt, stream, byte);
}

PELLAX_ERROR_CODE pellax_iobuf_skip_rest(PELLAX_IOBUF *stream, uint64_t count) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_skip_rest(plt, stream, count);
}

PELLAX_ERROR_CODE pellax_iobuf_read_16(PELLAX_IOBUF *stream, uint16_t *value) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_read_16(plt, stream, value);
}

PELLAX_ERROR_CODE pellax_iobuf_read_32(PELLAX_IOBUF *stream, PX_UINT32 *value) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_read_32(plt, stream, value);
}

PELLAX_ERROR_CODE pellax_iobuf_read_noalloc(PELLAX_IOBUF *stream, PX_BYTE *buffer, PX_UINT32 offset,
                                            PX_UINT32 *r_len) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc
                           : fips_pellax_iobuf_read_noalloc(plt, stream, buffer, offset, r_len);
}

PELLAX_ERROR_CODE pellax_iobuf_read(PELLAX_IOBUF *stream, PX_BYTE **buffer, PX_UINT32 offset,
                                    PX_UINT32 *size, PX_UINT32 *r_len) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_read(plt, stream, buffer, offset, size, r_len);
}

PELLAX_ERROR_CODE pellax_iobuf_read_line(PELLAX_IOBUF *stream, PX_BYTE **buffer, PX_UINT32 *len,
                                         PX_UINT32 *size, PX_UINT32 *max_len) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc
                           : fips_pellax_iobuf_read_line(plt, stream, buffer, len, size, max_len);
}

PELLAX_ERROR_CODE pellax_iobuf_write(PELLAX_IOBUF *stream, const PX_BYTE *data, PX_UINT32 len) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_write(plt, stream, data, len);
}

PELLAX_ERROR_CODE pellax_iobuf_put(PELLAX_IOBUF *stream, PX_BYTE byte, int *full) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_put(plt, stream, byte, full);
}

PELLAX_ERROR_CODE pellax_iobuf_put_nofull(PELLAX_IOBUF *stream, PX_BYTE byte) {
    const PELLAX_PLT_FUNCS *plt = nullptr;
    PELLAX_ERROR_CODE rc = global_plt(&plt);
    return rc != PELLAX_OK ? rc : fips_pellax_iobuf_put_nofull(plt, stream, byte);
}
