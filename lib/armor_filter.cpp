#include "armor_filter.h"

#include "pellax_common.h"
#include "pellax_log.h"
#include "pellax_plt_st_check.h"

const char ARMOR_FILTER_NAME[] = "armor";

namespace {

const char kModule[] = "armor_filter";

// Every line is read with this limit: up to 19996 characters before the line feed pass whole.
constexpr PX_UINT32 kLineLimit = 20000;
constexpr PX_UINT32 kLineSlack = 3;         // the line reader keeps room for line feed and zero
constexpr PX_UINT32 kLineBlock = 256;       // the line block grows in these steps
constexpr PX_UINT32 kShortHeaderLine = 14;  // a BEGIN line is longer than this, line feed included
constexpr PX_UINT32 kCapacity = PELLAX_IOBUF_CAPACITY;

// RFC 4880, 6.1: CRC-24 with generator 0x864CFB, initialised with 0xB704CE, computed on the
// data before it is converted to radix-64.
constexpr PX_UINT32 kCrcInit = 0xB704CEu;
constexpr PX_UINT32 kCrcPoly = 0x864CFBu;
constexpr PX_UINT32 kCrcMask = 0xFFFFFFu;

const char kDashes[] = "-----";
constexpr PX_UINT32 kDashCount = 5;

enum BlockType { kMessage = 0, kPublicKey = 1, kSignature = 2, kSignedMessage = 3 };
const char *const head_strings[] = {"BEGIN PGP MESSAGE", "BEGIN PGP PUBLIC KEY BLOCK",
                                    "BEGIN PGP SIGNATURE", "BEGIN PGP SIGNED MESSAGE"};
const char *const armor_tags[] = {"Version", "Comment", "MessageID", "Hash", "Charset"};
const char bintoasc[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr PX_BYTE kNotRadix64 = 0xFF;

// Slicing tables: the CRC register held in the top 24 bits of 32, four bytes per step. Row 0 is
// the byte-wise table shifted left by 8.
struct CrcSlices {
    PX_UINT32 t[4][256];
};

constexpr CrcSlices make_crc_slices() {
    CrcSlices s{};
    for (PX_UINT32 i = 0; i < 256; ++i) {
        PX_UINT32 c = i << 24;
        for (int k = 0; k < 8; ++k) {
            c = (c & 0x80000000u) ? (c << 1) ^ (kCrcPoly << 8) : (c << 1);
        }
        s.t[0][i] = c;
    }
    for (PX_UINT32 i = 0; i < 256; ++i) {
        for (int k = 1; k < 4; ++k) {
            const PX_UINT32 prev = s.t[k - 1][i];
            s.t[k][i] = (prev << 8) ^ s.t[0][prev >> 24];
        }
    }
    return s;
}

constexpr CrcSlices kCrcSlices = make_crc_slices();

// The running CRC over a block of decoded bytes, four at a time.
PX_UINT32 crc24_update(PX_UINT32 crc24, const PX_BYTE *data, PX_UINT32 len) {
    PX_UINT32 c = crc24 << 8;
    const auto &t = kCrcSlices.t;
    while (len >= 4) {
        c ^= (static_cast<PX_UINT32>(data[0]) << 24) | (static_cast<PX_UINT32>(data[1]) << 16) |
             (static_cast<PX_UINT32>(data[2]) << 8) | data[3];
        c = t[3][c >> 24] ^ t[2][(c >> 16) & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[0][c & 0xFF];
        data += 4;
        len -= 4;
    }
    while (len-- != 0) {
        c = (c << 8) ^ t[0][(c >> 24) ^ *data++];
    }
    return c >> 8;
}

inline bool is_blank_char(PX_BYTE c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
}

inline PX_UINT32 unread(const PELLAX_IOBUF *stream) {
    return stream->data_len - stream->read_pos;
}

// How many bytes put would take before it reports the stream full: it compacts only a buffer
// whose last byte is in use.
PX_UINT32 put_capacity(const PELLAX_IOBUF *stream) {
    if (stream->buf == nullptr) {
        return kCapacity;
    }
    if (stream->data_len >= kCapacity) {
        return stream->buf_size - unread(stream);
    }
    return stream->buf_size - stream->data_len;
}

// Appends a block as the same number of puts would: the buffer is created by put (so its
// failure reads as put's), the rest goes in one write.
PELLAX_ERROR_CODE deliver(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, const PX_BYTE *data,
                          PX_UINT32 n) {
    if (n == 0) {
        return PELLAX_OK;
    }
    if (stream->buf == nullptr) {
        int full = 0;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_put(plt, stream, data[0], &full);
        if (rc != PELLAX_OK) {
            return rc;
        }
        ++data;
        --n;
    }
    if (n == 0) {
        return PELLAX_OK;
    }
    return fips_pellax_iobuf_write(plt, stream, data, n);
}

// ---- Lines ----

PELLAX_ERROR_CODE read_source_line(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx,
                                   bool *eof, bool *cut) {
    PX_UINT32 max_len = kLineLimit;
    PX_UINT32 len = 0;
    PELLAX_ERROR_CODE rc =
        fips_pellax_iobuf_read_line(plt, ctx->source, &ctx->line, &len, &ctx->line_size, &max_len);
    if (rc != PELLAX_OK) {
        return rc;
    }
    ctx->line_len = len;
    ctx->line_pos = 0;
    *eof = len == 0;
    *cut = max_len == 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE ensure_line_room(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx,
                                   PX_UINT32 used) {
    if (ctx->line != nullptr && used + kLineSlack <= ctx->line_size) {
        return PELLAX_OK;
    }
    const PX_UINT32 grown =
        ctx->line == nullptr ? kLineBlock : (ctx->line_size & ~(kLineBlock - 1)) + kLineBlock;
    const PX_UINT32 new_size = grown < kLineLimit ? grown : kLineLimit;
    void *block = nullptr;
    PELLAX_ERROR_CODE rc = pellax_common_realloc(plt, ctx->line, used, new_size, &block);
    if (rc != PELLAX_OK) {
        return rc;
    }
    ctx->line = static_cast<PX_BYTE *>(block);
    ctx->line_size = new_size;
    return PELLAX_OK;
}

// The first line, kept exactly as the source holds it: a line that reaches the limit is not cut
// short (its remainder stays in the source) and no line feed is added at the end of the data.
// If the input turns out to be binary, these bytes are replayed unchanged.
PELLAX_ERROR_CODE read_first_line(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx,
                                  bool *eof, bool *at_limit, bool *feed_missing) {
    PX_UINT32 n = 0;
    bool ended = false;
    *at_limit = false;
    for (;;) {
        if (n >= kLineLimit - kLineSlack) {
            *at_limit = true;  // where the line reader would cut
            break;
        }
        PELLAX_ERROR_CODE rc = ensure_line_room(plt, ctx, n);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_common_realloc error.");
            return rc;
        }
        PX_BYTE byte = 0;
        int end = 0;
        rc = fips_pellax_iobuf_get(plt, ctx->source, &byte, &end);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
            return rc;
        }
        if (end) {
            ended = true;
            break;
        }
        ctx->line[n++] = byte;
        if (byte == '\n') {
            break;
        }
    }
    ctx->line[n] = 0;
    ctx->line_len = n;
    ctx->line_pos = 0;
    *eof = ended && n == 0;
    *feed_missing = ended && n != 0;
    if (*eof) {
        PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
    }
    return PELLAX_OK;
}

// A body or checksum line; *eof at the end of the input.
PELLAX_ERROR_CODE load_body_line(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx,
                                 bool *eof) {
    bool cut = false;
    PELLAX_ERROR_CODE rc = read_source_line(plt, ctx, eof, &cut);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_line error.");
        return rc;
    }
    if (*eof) {
        PX_LOG_INFO(plt, PELLAX_OK, "pellax_iobuf_read_line is over.");
        return PELLAX_OK;
    }
    if (cut) {
        // The rest of this line is gone; the checksum will normally tell.
        PX_LOG_WARN(plt, PELLAX_OK, "line truncated.");
        ++ctx->truncated_lines;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE get_char(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx, PX_BYTE *c,
                           bool *eof) {
    *eof = false;
    while (ctx->line_pos >= ctx->line_len) {
        PELLAX_ERROR_CODE rc = load_body_line(plt, ctx, eof);
        if (rc != PELLAX_OK || *eof) {
            return rc;
        }
    }
    *c = ctx->line[ctx->line_pos++];
    return PELLAX_OK;
}

// ---- Header phase ----

// Whether `len` bytes of line start with text (the host compares).
bool starts_with(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *line, PX_UINT32 len,
                 const char *text) {
    const PX_ULONG text_len = pellax_strlen(&plt->sys, text);
    return text_len <= len && pellax_memcmp(&plt->sys, line, text, text_len) == 0;
}

// Index of the first "-----" at or after `from`, or `len` when there is none.
PX_UINT32 find_dashes(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *line, PX_UINT32 from,
                      PX_UINT32 len) {
    for (PX_UINT32 i = from; i + kDashCount <= len; ++i) {
        if (starts_with(plt, line + i, kDashCount, kDashes)) {
            return i;
        }
    }
    return len;
}

// The block type a header line names: 0..3, or -1 with the reason logged.
int find_header_type(const PELLAX_PLT_FUNCS *plt, const PELLAX_ARMORFILTER_CTX *ctx) {
    const PX_BYTE *line = ctx->line;
    const PX_UINT32 len = ctx->line_len;
    if (len <= kShortHeaderLine) {
        PX_LOG_INFO(plt, PELLAX_ERR_HEADER_LINE, "Header line is too short, length: 0x%08x.", len);
        return -1;
    }
    const PX_UINT32 close =
        starts_with(plt, line, len, kDashes) ? find_dashes(plt, line, kDashCount, len) : len;
    if (close == len) {
        PX_LOG_INFO(plt, PELLAX_ERR_HEADER_LINE, "Header line pattern error, headerline: %s.",
                    reinterpret_cast<const char *>(line));
        return -1;
    }
    // The text between the dashes may be any beginning of a known text, even an empty one.
    const PX_UINT32 text_len = close - kDashCount;
    for (int type = 0; type < 4; ++type) {
        const PX_ULONG known_len = pellax_strlen(&plt->sys, head_strings[type]);
        if (text_len <= known_len &&
            pellax_memcmp(&plt->sys, line + kDashCount, head_strings[type], text_len) == 0) {
            return type;
        }
    }
    PX_LOG_INFO(plt, PELLAX_OK, "Invalid head string: %s",
                reinterpret_cast<const char *>(line + kDashCount));
    PX_LOG_INFO(plt, PELLAX_ERR_HEADER_LINE, "find_header_type error.");
    return -1;
}

// Finds the BEGIN line, starting with the first line already in ctx->line.
PELLAX_ERROR_CODE check_armor_data_type(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx,
                                        int *type) {
    for (bool first = true;; first = false) {
        if (!first) {
            bool eof = false, cut = false;
            PELLAX_ERROR_CODE rc = read_source_line(plt, ctx, &eof, &cut);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "Get header line error.");
                return rc;
            }
            if (eof) {
                PX_LOG_ERROR(plt, PELLAX_OK, "Get armor data header line error, data is over.");
                return PELLAX_ERR_FILE_FORMAT;
            }
            if (cut) {
                continue;
            }
        }
        *type = find_header_type(plt, ctx);
        if (*type >= 0) {
            return PELLAX_OK;
        }
    }
}

bool is_blank_line(const PX_BYTE *line, PX_UINT32 len) {
    for (PX_UINT32 i = 0; i < len; ++i) {
        if (!is_blank_char(line[i])) {
            return false;
        }
    }
    return true;
}

bool starts_with_known_tag(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *line, PX_UINT32 len) {
    for (const char *tag : armor_tags) {
        if (starts_with(plt, line, len, tag)) {
            return true;
        }
    }
    return false;
}

// Armor header lines up to the blank line: only known keys, values ignored.
PELLAX_ERROR_CODE parse_signature_or_pubkey(const PELLAX_PLT_FUNCS *plt,
                                            PELLAX_ARMORFILTER_CTX *ctx) {
    for (;;) {
        bool eof = false, cut = false;
        PELLAX_ERROR_CODE rc = read_source_line(plt, ctx, &eof, &cut);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "iobuf_read_line error.");
            return rc;
        }
        if (eof) {
            PX_LOG_ERROR(plt, PELLAX_OK, "signature data is not right.");
            return PELLAX_ERR_FILE_FORMAT;
        }
        if (is_blank_line(ctx->line, ctx->line_len)) {
            return PELLAX_OK;
        }
        if (!starts_with_known_tag(plt, ctx->line, ctx->line_len)) {
            PX_LOG_ERROR(plt, PELLAX_ERR_ARMOR_TAG, "Invalid armor tag, Tag: %s.",
                         reinterpret_cast<const char *>(ctx->line));
            return PELLAX_ERR_ARMOR_TAG;
        }
    }
}

PELLAX_ERROR_CODE check_input_steps(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx) {
    bool eof = false, at_limit = false, feed_missing = false;
    PELLAX_ERROR_CODE rc = read_first_line(plt, ctx, &eof, &at_limit, &feed_missing);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_line error.");
        return rc;
    }
    if (eof) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Data is over.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    if (at_limit || pellax_check_data_is_armored(plt, ctx->line[0]) == 0) {
        ctx->in_body = 1;
        ctx->binary = 1;
        return PELLAX_OK;
    }
    if (feed_missing) {
        // Text lines always end with a line feed; there is room for it and the zero.
        ctx->line[ctx->line_len++] = '\n';
        ctx->line[ctx->line_len] = 0;
    }
    int type = -1;
    rc = check_armor_data_type(plt, ctx, &type);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "check_armor_data_type error.");
        return rc;
    }
    if (type == kMessage) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Invalid pgp standard file header.");
        return PELLAX_ERR_HEADER_LINE;
    }
    if (type == kSignedMessage) {
        PX_LOG_ERROR(plt, PELLAX_ERR_CLEARSIGN, "Clear signature verify is not supported.");
        return PELLAX_ERR_CLEARSIGN;
    }
    rc = parse_signature_or_pubkey(plt, ctx);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "parse_signature_or_pubkey error.");
        return rc;
    }
    ctx->crc = kCrcInit;
    ctx->quad_index = 0;
    ctx->partial = 0;
    ctx->in_body = 1;
    ctx->line_len = 0;  // the blank line is spent
    ctx->line_pos = 0;
    return PELLAX_OK;
}

// ---- Body ----

// The decoded bytes of this call go to the stream and into the CRC.
PELLAX_ERROR_CODE emit(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                       PELLAX_ARMORFILTER_CTX *ctx, const PX_BYTE *out, PX_UINT32 n,
                       const char *put_text, const char *step_text) {
    ctx->crc = crc24_update(ctx->crc, out, n);
    PELLAX_ERROR_CODE rc = deliver(plt, stream, out, n);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "%s", put_text);
        PX_LOG_ERROR(plt, rc, "%s", step_text);
    }
    return rc;
}

PELLAX_ERROR_CODE crc_failure(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE rc) {
    PX_LOG_ERROR(plt, rc, "decode_radix64_crc error.");
    PX_LOG_ERROR(plt, rc, "check_crc error.");
    return rc;
}

// After the "=": the four checksum characters, compared with the CRC of all decoded bytes.
PELLAX_ERROR_CODE check_crc(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx) {
    PX_BYTE c = 0;
    bool eof = false;
    for (;;) {
        PELLAX_ERROR_CODE rc = get_char(plt, ctx, &c, &eof);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "get_char_from_radix64_data error.");
            PX_LOG_ERROR(plt, rc, "get_valid_radix64_char error.");
            return crc_failure(plt, rc);
        }
        if (eof) {
            PX_LOG_INFO(plt, PELLAX_OK, "get_char_from_radix64_data is over.");
            PX_LOG_ERROR(plt, PELLAX_OK, "No CRC.");
            return crc_failure(plt, PELLAX_ERR_CRC);
        }
        if (!is_blank_char(c) && c != '=') {
            break;
        }
    }
    PX_UINT32 value = 0;
    for (int k = 0; k < 4; ++k) {
        if (k != 0) {
            PELLAX_ERROR_CODE rc = get_char(plt, ctx, &c, &eof);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "get_char_from_radix64_data error.");
                return crc_failure(plt, rc);
            }
            if (eof) {
                PX_LOG_INFO(plt, PELLAX_OK, "get_char_from_radix64_data is over.");
                PX_LOG_ERROR(plt, PELLAX_OK, "radix64_read: malformed CRC.");
                return crc_failure(plt, PELLAX_ERR_CRC);
            }
        }
        const PX_BYTE v = ctx->decode_table[c];
        if (v == kNotRadix64) {
            PX_LOG_ERROR(plt, PELLAX_OK, "CRC error.");
            return crc_failure(plt, PELLAX_ERR_BASE64);
        }
        value = (value << 6) | v;
    }
    if (value != ctx->crc) {
        PX_LOG_ERROR(plt, PELLAX_OK, "CRC is not right.");
        PX_LOG_ERROR(plt, PELLAX_ERR_CRC, "check_crc error.");
        return PELLAX_ERR_CRC;
    }
    if (ctx->truncated_lines != 0) {
        PX_LOG_WARN(plt, PELLAX_OK, "line truncated.");
    }
    return PELLAX_OK;
}

// Decodes into the stream's free space, resuming where the last call stopped.
PELLAX_ERROR_CODE radix64_read(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               PELLAX_ARMORFILTER_CTX *ctx) {
    PX_UINT32 space = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
    if (rc != PELLAX_OK) {
        PX_LOG_INFO(plt, rc, "pellax_iobuf_get_space_size error.");
        return rc;
    }
    const PX_UINT32 cap = put_capacity(stream);
    const PX_UINT32 limit = space < cap ? space : cap;
    PX_BYTE out[kCapacity];
    PX_UINT32 produced = 0;
    const PX_BYTE *dec = ctx->decode_table;
    const char *const put_text = "iobuf_put error.";
    const char *const step_text = "do_with_radix64_data error.";

    while (produced < limit) {
        if (ctx->line_pos >= ctx->line_len) {
            bool eof = false;
            rc = load_body_line(plt, ctx, &eof);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "get_char_from_radix64_data error, pctx: 0x%08x.",
                             PX_PTR(ctx));
                emit(plt, stream, ctx, out, produced, put_text, step_text);
                return rc;
            }
            if (eof) {
                // Input that stops after the body ends the data without a checksum.
                PX_LOG_INFO(plt, PELLAX_OK, "get_char_from_radix64_data is over.");
                return emit(plt, stream, ctx, out, produced, put_text, step_text);
            }
            continue;
        }
        const PX_BYTE *p = ctx->line + ctx->line_pos;
        const PX_BYTE *const end = ctx->line + ctx->line_len;
        PX_UINT32 q = static_cast<PX_UINT32>(ctx->quad_index);
        PX_BYTE partial = ctx->partial;
        PX_BYTE stop_char = 0;
        bool stopped = false;
        while (p < end && produced < limit) {
            // Whole groups of four valid characters, three bytes each.
            if (q == 0 && end - p >= 4 && limit - produced >= 3) {
                const PX_UINT32 v0 = dec[p[0]], v1 = dec[p[1]], v2 = dec[p[2]], v3 = dec[p[3]];
                if ((v0 | v1 | v2 | v3) < 64) {
                    const PX_UINT32 group = (v0 << 18) | (v1 << 12) | (v2 << 6) | v3;
                    out[produced] = static_cast<PX_BYTE>(group >> 16);
                    out[produced + 1] = static_cast<PX_BYTE>(group >> 8);
                    out[produced + 2] = static_cast<PX_BYTE>(group);
                    produced += 3;
                    p += 4;
                    continue;
                }
            }
            const PX_BYTE c = *p++;
            const PX_BYTE v = dec[c];
            if (v == kNotRadix64) {
                if (is_blank_char(c)) {
                    continue;
                }
                stop_char = c;
                stopped = true;
                break;
            }
            switch (q) {
                case 0:
                    partial = static_cast<PX_BYTE>(v << 2);
                    break;
                case 1:
                    out[produced++] = static_cast<PX_BYTE>(partial | ((v >> 4) & 0x03));
                    partial = static_cast<PX_BYTE>(v << 4);
                    break;
                case 2:
                    out[produced++] = static_cast<PX_BYTE>(partial | ((v >> 2) & 0x0F));
                    partial = static_cast<PX_BYTE>(v << 6);
                    break;
                default:
                    out[produced++] = static_cast<PX_BYTE>(partial | v);
                    partial = 0;
                    break;
            }
            q = (q + 1) & 3;
        }
        ctx->line_pos = static_cast<PX_UINT32>(p - ctx->line);
        ctx->quad_index = static_cast<int32_t>(q);
        ctx->partial = partial;
        if (!stopped) {
            continue;
        }
        if (stop_char != '=') {
            PX_LOG_ERROR(plt, PELLAX_ERR_BASE64, "invalid radix64 character.");
            emit(plt, stream, ctx, out, produced, put_text, step_text);
            return PELLAX_ERR_BASE64;
        }
        rc = emit(plt, stream, ctx, out, produced, put_text, step_text);
        if (rc != PELLAX_OK) {
            return rc;
        }
        // A group cut after one character still carries its six bits as one byte.
        if (q == 1) {
            rc = emit(plt, stream, ctx, &partial, 1, "pellax_iobuf_put error.", "check_crc error.");
            if (rc != PELLAX_OK) {
                return rc;
            }
        }
        ctx->crc_done = 1;
        ctx->in_body = 0;
        return check_crc(plt, ctx);
    }
    return emit(plt, stream, ctx, out, produced, put_text, step_text);
}

// ---- Pass-through ----

PELLAX_ERROR_CODE read_binary_data(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                   PELLAX_ARMORFILTER_CTX *ctx) {
    // read_from_ctx: the first line's bytes, exactly as they came.
    if (ctx->line_pos < ctx->line_len) {
        const PX_UINT32 left = ctx->line_len - ctx->line_pos;
        const PX_UINT32 cap = put_capacity(stream);
        const PX_UINT32 n = left < cap ? left : cap;
        PELLAX_ERROR_CODE rc = deliver(plt, stream, ctx->line + ctx->line_pos, n);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_put error.");
            PX_LOG_ERROR(plt, rc, "read_from_ctx error.");
            return rc;
        }
        ctx->line_pos += n;
        if (ctx->line_pos == ctx->line_len) {
            ctx->line_len = 0;
            ctx->line_pos = 0;
        }
    }
    // read_from_lastbuf: then straight from the source.
    PX_UINT32 space = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_space_size error, error code: %d.",
                     static_cast<int>(rc));
        PX_LOG_ERROR(plt, rc, "read_from_lastbuf error.");
        return rc;
    }
    const PX_UINT32 cap = put_capacity(stream);
    const PX_UINT32 limit = space < cap ? space : cap;
    PX_BYTE out[kCapacity];
    PX_UINT32 produced = 0;
    PELLAX_ERROR_CODE read_rc = PELLAX_OK;
    while (produced < limit) {
        const PX_UINT32 avail = unread(ctx->source);
        if (avail != 0) {
            // What the source holds is taken at once; it is asked for more only when empty.
            PX_UINT32 n = limit - produced < avail ? limit - produced : avail;
            read_rc = fips_pellax_iobuf_read_noalloc(plt, ctx->source, out, produced, &n);
            if (read_rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, read_rc, "pellax_iobuf_read_noalloc error.");
                break;
            }
            produced += n;
            continue;
        }
        PX_BYTE byte = 0;
        int eof = 0;
        read_rc = fips_pellax_iobuf_get(plt, ctx->source, &byte, &eof);
        if (read_rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, read_rc, "pellax_iobuf_get error.");
            break;
        }
        if (eof) {
            PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
            break;
        }
        out[produced++] = byte;
    }
    rc = deliver(plt, stream, out, produced);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_put error, error code: %d", static_cast<int>(rc));
        PX_LOG_ERROR(plt, rc, "read_from_lastbuf error.");
        return rc;
    }
    if (read_rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, read_rc, "read_from_lastbuf error.");
        return read_rc;
    }
    if (unread(stream) == 0) {
        ctx->all_over = 1;
    }
    return PELLAX_OK;
}

// ---- Filter ----

PELLAX_ERROR_CODE check_data_type_and_read(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                           PELLAX_ARMORFILTER_CTX *ctx) {
    PELLAX_ERROR_CODE rc = check_input_steps(plt, ctx);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "check_input error.");
    } else if (ctx->binary) {
        rc = read_binary_data(plt, stream, ctx);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "read_binary_data error.");
        }
    } else {
        rc = radix64_read(plt, stream, ctx);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "radix64_read error.");
        }
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "check_data_type_and_read error.");
    }
    return rc;
}

PELLAX_ERROR_CODE on_underflow(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               PELLAX_ARMORFILTER_CTX *ctx) {
    if (ctx->all_over) {
        PX_LOG_INFO(plt, PELLAX_OK, "armor data is over.");
        return PELLAX_OK;
    }
    if (ctx->binary) {
        PELLAX_ERROR_CODE rc = read_binary_data(plt, stream, ctx);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "read_binary_data error.");
        }
        return rc;
    }
    if (ctx->in_body) {
        PELLAX_ERROR_CODE rc = radix64_read(plt, stream, ctx);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "radix64_read error.");
        }
        return rc;
    }
    if (ctx->crc_done) {
        PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
        ctx->all_over = 1;
        return PELLAX_OK;
    }
    return check_data_type_and_read(plt, stream, ctx);
}

void on_init(PELLAX_IOBUF *stream, PELLAX_ARMORFILTER_CTX *ctx) {
    stream->filter_name = ARMOR_FILTER_NAME;
    for (PX_UINT32 i = 0; i < 256; ++i) {
        ctx->crc_table[i] = kCrcSlices.t[0][i] >> 8;
        ctx->decode_table[i] = kNotRadix64;
    }
    for (PX_BYTE i = 0; i < 64; ++i) {
        ctx->decode_table[static_cast<PX_BYTE>(bintoasc[i])] = i;
    }
}

}  // namespace

int pellax_check_data_is_armored(const PELLAX_PLT_FUNCS *, PX_BYTE byte) {
    if ((byte & 0x80) == 0) {
        return 1;  // text
    }
    const int type = (byte & 0x40) ? (byte & 0x3F) : ((byte >> 2) & 0x0F);
    switch (type) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 8:
        case 9:
        case 10:
        case 11:
        case 16:
        case 61:
            return 0;
        default:
            return 1;
    }
}

PELLAX_ERROR_CODE pellax_open_armor_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *source,
                                           PELLAX_IOBUF **stream) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (source == nullptr || stream == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, source: 0x%08x, iobuf: 0x%08x.",
                     PX_PTR(source), PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    *stream = nullptr;
    PELLAX_ARMORFILTER_CTX *ctx =
        static_cast<PELLAX_ARMORFILTER_CTX *>(pellax_malloc_zeroed(&plt->sys, sizeof *ctx));
    if (ctx == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x",
                     static_cast<unsigned>(sizeof *ctx));
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "armorfilter_ctx_create error.");
        return PELLAX_ERR_ALLOC;
    }
    ctx->crc = kCrcInit;
    ctx->source = source;
    // The filter's initialisation cannot fail, so a failure here comes before it owns ctx.
    rc = fips_pellax_iobuf_create_and_init(plt, armor_filter, ctx, stream);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_create_and_init error.");
        armorfilter_ctx_free(plt, ctx);
        return rc;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE armor_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command) {
    if (plt == nullptr || stream == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    PELLAX_ARMORFILTER_CTX *ctx = static_cast<PELLAX_ARMORFILTER_CTX *>(stream->filter_ctx);
    switch (command) {
        case FILTER_CMD_INIT:
            if (ctx == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            on_init(stream, ctx);
            return PELLAX_OK;
        case FILTER_CMD_UNDERFLOW:
            if (ctx == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            return on_underflow(plt, stream, ctx);
        case FILTER_CMD_FREE:
            armorfilter_ctx_free(plt, ctx);
            stream->filter_ctx = nullptr;
            stream->filter_name = nullptr;
            fips_pellax_iobuf_clean_buffer(plt, stream);
            return PELLAX_OK;
        default:
            return PELLAX_OK;
    }
}

void armorfilter_ctx_free(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx) {
    if (plt == nullptr || ctx == nullptr) {
        return;
    }
    if (ctx->line != nullptr) {
        pellax_free(&plt->sys, ctx->line);
    }
    pellax_free(&plt->sys, ctx);
}
