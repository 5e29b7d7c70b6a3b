#include "pellax_vrf_internal.h"

#include "armor_filter.h"
#include "file_filter.h"
#include "mainproc.h"
#include "pellax_common.h"
#include "pellax_crypto.h"
#include "pellax_guard.h"
#include "pellax_log.h"
#include "pellax_vrf_old.h"
#include "verify.h"

namespace {

const char kModule[] = "pellax_vrf_internal";

}  // namespace

/* ---- Key rings and detached signatures ---------------------------------------------------- */

namespace {

// A packet-processing context released on scope exit unless its packets were taken.
class MainprocGuard {
  public:
    explicit MainprocGuard(const PELLAX_CALLBACK_FUNCS *funcs) : funcs_(funcs) {}
    ~MainprocGuard() { mainproc_ctx_free(funcs_, ctx_); }
    MainprocGuard(const MainprocGuard &) = delete;
    MainprocGuard &operator=(const MainprocGuard &) = delete;
    PELLAX_MAINPROC_CTX **out() { return &ctx_; }
    PELLAX_MAINPROC_CTX *get() const { return ctx_; }

  private:
    const PELLAX_CALLBACK_FUNCS *funcs_;
    PELLAX_MAINPROC_CTX *ctx_ = nullptr;
};

// Reads the stream (armored or not, told by its first octet) into ctx's packet list. The armor
// stream, when one is stacked, is released before returning; the base stream stays the caller's.
PELLAX_ERROR_CODE read_packets(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx,
                               PELLAX_IOBUF *stream, bool log_proc_failure) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PX_BYTE first = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_peek(plt, stream, &first);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Peek data from base stream error.");
        return rc;
    }
    PELLAX_IOBUF *armored = nullptr;
    if (pellax_check_data_is_armored(plt, first) != 0) {
        rc = pellax_open_armor_filter(plt, stream, &armored);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Create armor filter error.");
            return rc;
        }
    }
    rc = proc_packets(funcs, ctx, armored != nullptr ? armored : stream);
    ctx->stream = nullptr;
    fips_pellax_iobuf_free(plt, armored);
    if (rc != PELLAX_OK && log_proc_failure) {
        PX_LOG_ERROR(plt, rc, "proc_packets error.");
    }
    return rc;
}

}  // namespace

PELLAX_ERROR_CODE pellax_load_key(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *stream,
                                  PELLAX_LIST **keyring) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    MainprocGuard ctx(funcs);
    PELLAX_ERROR_CODE rc = mainproc_ctx_create(plt, ctx.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "mainproc_ctx_create error.");
        return rc;
    }
    if ((rc = read_packets(funcs, ctx.get(), stream, true)) != PELLAX_OK) {
        return rc;
    }
    int exist = 0;
    rc = pellax_mainproc_is_publickey_exist(plt, ctx.get()->packets, &exist);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_mainproc_is_publickey_exist error.");
        return rc;
    }
    // Without a usable key the packets are of no use: the context releases them.
    *keyring = nullptr;
    if (exist != 0) {
        *keyring = ctx.get()->packets;
        ctx.get()->packets = nullptr;
    }
    return PELLAX_OK;
}

void pellax_free_keyring(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *keyring) {
    if (keyring != nullptr) {
        pellax_list_free(plt, keyring);
    }
}

PELLAX_ERROR_CODE pellax_vrf_verify_detach_signature_internal(
    const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *source_stream, PELLAX_IOBUF *signature_stream,
    PELLAX_LIST *keyring, const PX_BYTE **fingerprint, PX_UINT32 *verdict) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *verdict = 0;
    MainprocGuard ctx(funcs);
    PELLAX_ERROR_CODE rc = mainproc_ctx_create(plt, ctx.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create mainproc_ctx error.");
        return rc;
    }
    if ((rc = read_packets(funcs, ctx.get(), signature_stream, false)) != PELLAX_OK) {
        return rc;
    }
    rc = verify_detach_signature(funcs, ctx.get(), source_stream, keyring, fingerprint, verdict);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Verify detached signature error.");
    }
    if (*verdict == 1) {
        PX_LOG_INFO(plt, PELLAX_OK, "Verify detached signature true.");
    } else {
        PX_LOG_INFO(plt, PELLAX_OK, "Verify detached signature failed.");
    }
    return rc;
}

/* ---- Digest files ------------------------------------------------------------------------- */

namespace {
namespace digest_file {

constexpr PX_UINT32 kLineLimit = 20000;  // what the run hands the line reader, once
constexpr PX_UINT32 kHashPiece = 256;    // bytes taken from the stream per read
constexpr PX_UINT32 kMaxDigestBytes = 64;
const char kReadMode[] = "rb";

struct DigestKind {
    int type;
    PX_UINT32 bytes;
};
constexpr DigestKind kKinds[] = {
    {PELLAX_HASH_MD5, 16},    {PELLAX_HASH_SHA1, 20},   {PELLAX_HASH_SHA256, 32},
    {PELLAX_HASH_SHA384, 48}, {PELLAX_HASH_SHA512, 64}, {PELLAX_HASH_SHA224, 28},
};

// 0 for a type outside the table.
PX_UINT32 digest_bytes(int type) {
    for (const DigestKind &kind : kKinds) {
        if (kind.type == type) {
            return kind.bytes;
        }
    }
    return 0;
}

// A piece of the current line: not terminated, may hold any byte.
struct Slice {
    const char *p;
    PX_UINT32 len;
};

bool is_trimmed(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\0';
}

Slice trim_line(const char *line, PX_UINT32 len) {
    PX_UINT32 start = 0;
    while (start < len && is_trimmed(line[start])) {
        ++start;
    }
    while (len > start && is_trimmed(line[len - 1])) {
        --len;
    }
    return Slice{line + start, len - start};
}

// Index of the first (or last) space, or len when there is none.
PX_UINT32 first_space(Slice s) {
    for (PX_UINT32 i = 0; i < s.len; ++i) {
        if (s.p[i] == ' ') {
            return i;
        }
    }
    return s.len;
}

PX_UINT32 last_space(Slice s) {
    for (PX_UINT32 i = s.len; i > 0; --i) {
        if (s.p[i - 1] == ' ') {
            return i - 1;
        }
    }
    return s.len;
}

Slice skip_marks(Slice s) {
    while (s.len > 0 && (s.p[0] == ' ' || s.p[0] == '*')) {
        ++s.p;
        --s.len;
    }
    return s;
}

bool holds_zero_byte(Slice s) {
    for (PX_UINT32 i = 0; i < s.len; ++i) {
        if (s.p[i] == '\0') {
            return true;
        }
    }
    return false;
}

bool ends_run(PELLAX_ERROR_CODE rc) {
    return rc < 101 || rc > 199;
}

void count(PX_UINT32 *counter) {
    if (*counter != 0xFFFFFFFFu) {  // saturates: a wrapped failure count could read as a pass
        ++*counter;
    }
}

// What a parsed line names: the decoded digest and the file name inside the line.
struct Entry {
    PX_UINT32 digest_len = 0;
    Slice name{nullptr, 0};
};

// Splits one trimmed, non-empty line into digest and name (digest first, else digest last).
// 0 when both were found; a code from 101 to 199 for a line that only counts as a failure (the
// reason is logged); any other code ends the run.
PELLAX_ERROR_CODE parse_line(const PELLAX_PLT_FUNCS *plt, Slice line, int type,
                             HostBlock<PX_BYTE> &digest, Entry &entry) {
    const PX_UINT32 first = first_space(line);
    if (first == line.len) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Can't find line separator.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    PELLAX_ERROR_CODE rc = check_is_digest_string(plt, line.p, first, type);
    if (rc >= PELLAX_ERR_PARAM && rc <= PELLAX_HOST_CODE_LAST) {
        PX_LOG_ERROR(plt, rc, "check_is_digest_string error.");
        return rc;
    }
    if (rc == PELLAX_OK) {
        rc = pellax_common_hexstring_to_hexdata(plt, line.p, first, &entry.digest_len,
                                                digest.slot());
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "hexstring_to_hexdata error.");
            return rc;
        }
        entry.name = skip_marks(Slice{line.p + first + 1, line.len - first - 1});
        if (entry.name.len == 0) {
            PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Parse file name error.");
            digest.reset();
            return PELLAX_ERR_FILE_FORMAT;
        }
    } else {
        const PX_UINT32 last = last_space(line);
        const Slice text{line.p + last + 1, line.len - last - 1};
        rc = check_is_digest_string(plt, text.p, text.len, type);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Check digest data error.");
            return rc;
        }
        rc = pellax_common_hexstring_to_hexdata(plt, text.p, text.len, &entry.digest_len,
                                                digest.slot());
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Digest data error.");
            return rc;
        }
        Slice name = skip_marks(Slice{line.p, last});
        while (name.len > 0 && name.p[name.len - 1] == ' ') {
            --name.len;
        }
        if (name.len == 0) {
            PX_LOG_ERROR(plt, PELLAX_OK, "Can't find file path.");
            digest.reset();
            return PELLAX_ERR_FILE_FORMAT;
        }
        entry.name = name;
    }
    // No file name holds a zero byte: the terminated copy would name another file.
    if (holds_zero_byte(entry.name)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Parse file name error.");
        digest.reset();
        return PELLAX_ERR_FILE_FORMAT;
    }
    return PELLAX_OK;
}

// base, then separator unless base already ends with it, then name; a terminated host block.
PELLAX_ERROR_CODE format_full_path(const PELLAX_PLT_FUNCS *plt, const char *base, PX_ULONG base_len,
                                   const char *separator, PX_ULONG sep_len, const char *name,
                                   PX_ULONG name_len, HostBlock<char> &path) {
    const PX_ULONG most = ~static_cast<PX_ULONG>(0);
    if (base_len > most - sep_len || base_len + sep_len > most - name_len - 1) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TOO_LONG, "Path is too long.");
        return PELLAX_ERR_TOO_LONG;
    }
    const PX_ULONG length = base_len + sep_len + name_len;
    if (!path.allocate(length + 1)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, full_path_length: 0x%08x.",
                     static_cast<unsigned>(length));
        return PELLAX_ERR_ALLOC;
    }
    const bool has_separator =
        base_len >= sep_len &&
        pellax_memcmp(&plt->sys, base + (base_len - sep_len), separator, sep_len) == 0;
    struct Part {
        const char *p;
        PX_ULONG len;
    };
    const Part parts[] = {
        {base, base_len}, {separator, has_separator ? 0 : sep_len}, {name, name_len}};
    char *out = path.get();
    PX_ULONG used = 0;
    for (const Part &part : parts) {
        if (part.len != 0 &&
            pellax_memcpy_s(&plt->sys, out + used, length + 1 - used, part.p, part.len) != 0) {
            PX_LOG_ERROR(plt, PELLAX_ERR_BAD_LOGIC, "pellax_memcpy_s error, copy size: 0x%x.",
                         static_cast<unsigned>(part.len));
            return PELLAX_ERR_BAD_LOGIC;
        }
        used += part.len;
    }
    out[used] = '\0';
    return PELLAX_OK;
}

// Hashes the stream to its end and compares; hashed tells how many bytes the stream gave.
PELLAX_ERROR_CODE compare_stream_digest(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *stream,
                                        const PX_BYTE *digest, PX_UINT32 digest_length, int type,
                                        int *outcome, uint64_t *hashed) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *outcome = 0;
    *hashed = 0;
    PellaxMdCtxGuard md(funcs);
    PELLAX_ERROR_CODE rc = pellax_crypto_md_ctx_create(funcs, md.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create message digest context error.");
        return rc;
    }
    rc = pellax_crypto_md_init(funcs, md.get(), type);
    if (rc != PELLAX_OK) {
        md.reset();
        PX_LOG_ERROR(plt, rc, "Initialize message digest error.");
        return rc;
    }
    PX_BYTE piece[kHashPiece];
    for (;;) {
        PX_UINT32 got = sizeof piece;
        rc = fips_pellax_iobuf_read_noalloc(plt, stream, piece, 0, &got);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_noalloc parameter error.");
            return rc;
        }
        if (got == 0) {
            break;
        }
        rc = pellax_crypto_md_update(funcs, md.get(), piece, got);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_crypto_md_update error.");
            return rc;
        }
        *hashed += got;
    }
    PX_BYTE mine[kMaxDigestBytes];
    PX_UINT32 mine_length = sizeof mine;
    rc = pellax_crypto_md_final(funcs, md.get(), mine, &mine_length);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_md_final error.");
        return rc;
    }
    md.reset();
    if (mine_length != digest_length) {
        PX_LOG_INFO(plt, PELLAX_OK,
                    "Digest data is not right, my_digest_length: 0x%08x, digest_length: 0x%08x.",
                    mine_length, digest_length);
        return PELLAX_OK;
    }
    if (pellax_memcmp(&plt->sys, mine, digest, digest_length) != 0) {
        PX_LOG_INFO(plt, PELLAX_OK, "Digest data is not right, my_digest: %08x, digest: %08x.",
                    PX_PTR(mine), PX_PTR(digest));
        return PELLAX_OK;
    }
    *outcome = 1;
    return PELLAX_OK;
}

// A POSIX host opens a directory like a file and then reads nothing from it, which would pass
// for empty data. "<path>/." opens only when the path is a directory. Windows runtimes refuse
// to open directories, and their path rules would fold "<path>/." back into the file itself.
PELLAX_ERROR_CODE refuse_directory(const PELLAX_PLT_FUNCS *plt, const char *path) {
#ifdef _WIN32
    (void)plt;
    (void)path;
    return PELLAX_OK;
#else
    static const char kSelf[] = "/.";
    const PX_ULONG path_len = pellax_strlen(&plt->sys, path);
    HostBlock<char> probe(plt);
    if (path_len > ~static_cast<PX_ULONG>(0) - sizeof kSelf ||
        !probe.allocate(path_len + sizeof kSelf)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     static_cast<unsigned>(path_len + sizeof kSelf));
        return PELLAX_ERR_ALLOC;
    }
    if (pellax_memcpy_s(&plt->sys, probe.get(), path_len + sizeof kSelf, path, path_len) != 0 ||
        pellax_memcpy_s(&plt->sys, probe.get() + path_len, sizeof kSelf, kSelf, sizeof kSelf) !=
            0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_BAD_LOGIC, "pellax_memcpy_s error, copy size: 0x%x.",
                     static_cast<unsigned>(path_len + sizeof kSelf));
        return PELLAX_ERR_BAD_LOGIC;
    }
    void *handle = pellax_fopen(&plt->sys, probe.get(), kReadMode);
    if (handle == nullptr) {
        return PELLAX_OK;
    }
    pellax_fclose(&plt->sys, handle);
    PX_LOG_ERROR(plt, PELLAX_ERR_OPEN_FILE, "Path is a directory, full path: %s.", path);
    return PELLAX_ERR_OPEN_FILE;
#endif
}

struct Run {
    const PELLAX_CALLBACK_FUNCS *funcs;
    const char *base;
    PX_ULONG base_len;
    const char *separator;
    PX_ULONG sep_len;
    int type;
    PX_UINT32 passed;
    PX_UINT32 failed;
};

// Checks the file one trimmed line names. 0 once the line is counted; otherwise the code that
// ends the run.
PELLAX_ERROR_CODE check_line(Run &run, Slice line) {
    const PELLAX_PLT_FUNCS *plt = &run.funcs->plt;
    HostBlock<PX_BYTE> digest(plt);
    Entry entry;
    PELLAX_ERROR_CODE rc = parse_line(plt, line, run.type, digest, entry);
    if (rc != PELLAX_OK && !ends_run(rc)) {
        count(&run.failed);
        return PELLAX_OK;
    }
    HostBlock<char> name(plt);
    if (rc == PELLAX_OK && !name.allocate(static_cast<PX_ULONG>(entry.name.len) + 1)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     entry.name.len + 1);
        rc = PELLAX_ERR_ALLOC;
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "parse_file_path_and_digest error.");
        return rc;
    }
    if (pellax_memcpy_s(&plt->sys, name.get(), entry.name.len + 1, entry.name.p, entry.name.len) !=
        0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_BAD_LOGIC, "pellax_memcpy_s error, copy size: 0x%x.",
                     entry.name.len);
        return PELLAX_ERR_BAD_LOGIC;
    }
    name.get()[entry.name.len] = '\0';

    HostBlock<char> path(plt);
    rc = format_full_path(plt, run.base, run.base_len, run.separator, run.sep_len, name.get(),
                          entry.name.len, path);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc,
                     "format_full_path error, base_path: %s, separator: %s, file_name: %s.",
                     run.base, run.separator, name.get());
        return rc;
    }
    name.reset();

    PX_LOG_INFO(plt, PELLAX_OK, "Verify file digest, full path: %s.", path.get());
    StreamGuard stream(plt);
    rc = pellax_open_file_filter(plt, path.get(), kReadMode, stream.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Open file error, full path: %s.", path.get());
        return rc;
    }
    int outcome = 0;
    uint64_t hashed = 0;
    rc = compare_stream_digest(run.funcs, stream.get(), digest.get(), entry.digest_len, run.type,
                               &outcome, &hashed);
    if (rc != PELLAX_OK) {
        // The stream goes with the run: its file would stay open otherwise.
        PX_LOG_ERROR(plt, rc,
                     "verify_file_digest error, source_file_iobuf: 0x%08x, digest: 0x%08x, "
                     "digest_length: 0x%x, digest_type: %d.",
                     PX_PTR(stream.get()), PX_PTR(digest.get()), entry.digest_len, run.type);
        return rc;
    }
    digest.reset();
    stream.reset();
    if (hashed == 0) {
        rc = refuse_directory(plt, path.get());
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Open file error, full path: %s.", path.get());
            return rc;
        }
    }
    count(outcome == 1 ? &run.passed : &run.failed);
    return PELLAX_OK;
}

}  // namespace digest_file
}  // namespace

PELLAX_ERROR_CODE check_is_digest_string(const PELLAX_PLT_FUNCS *plt, const char *text,
                                         PX_UINT32 length, int digest_type) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (text == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    for (PX_UINT32 i = 0; i < length; ++i) {
        int hex = 0;
        if (pellax_common_isxdigist(plt, static_cast<unsigned char>(text[i]), &hex) != PELLAX_OK ||
            hex == 0) {
            PX_LOG_ERROR(plt, PELLAX_ERR_DIGEST_STRING, "Digest string is not valid.");
            return PELLAX_ERR_DIGEST_STRING;
        }
    }
    const PX_UINT32 bytes = digest_file::digest_bytes(digest_type);
    if (bytes == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_DIGEST_TYPE_STRING, "Hash type is not valid, digest type: %u.",
                     static_cast<unsigned>(digest_type));
        return PELLAX_ERR_DIGEST_PARAM;
    }
    if (length != 2 * bytes) {
        PX_LOG_ERROR(plt, PELLAX_ERR_DIGEST_LENGTH, "Digest data length is not right");
        return PELLAX_ERR_DIGEST_LENGTH;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE verify_file_digest(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *stream,
                                     const PX_BYTE *digest, PX_UINT32 digest_length,
                                     int digest_type, int *outcome) {
    if (funcs == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (stream == nullptr || digest == nullptr || outcome == nullptr) {
        PX_LOG_ERROR(&funcs->plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    uint64_t hashed = 0;
    return digest_file::compare_stream_digest(funcs, stream, digest, digest_length, digest_type,
                                              outcome, &hashed);
}

PELLAX_ERROR_CODE pellax_verify_digest_file_internal(const PELLAX_CALLBACK_FUNCS *funcs,
                                                     PELLAX_IOBUF *digest_stream,
                                                     const char *base_path, const char *separator,
                                                     int digest_type, int *result) {
    using namespace digest_file;
    if (funcs == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    if (digest_stream == nullptr || base_path == nullptr || separator == nullptr ||
        result == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    Run run{funcs,
            base_path,
            pellax_strlen(&plt->sys, base_path),
            separator,
            pellax_strlen(&plt->sys, separator),
            digest_type,
            0,
            0};
    // One limit for the whole run: after a cut line the reader refuses to go on (201).
    PX_UINT32 max_len = kLineLimit;
    HostBlock<PX_BYTE> line(plt);
    PX_UINT32 size = 0;
    for (;;) {
        PX_UINT32 len = 0;
        PELLAX_ERROR_CODE rc =
            fips_pellax_iobuf_read_line(plt, digest_stream, line.slot(), &len, &size, &max_len);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_line error.");
            return rc;
        }
        if (len == 0) {
            break;
        }
        const Slice text = trim_line(reinterpret_cast<const char *>(line.get()), len);
        if (text.len == 0) {
            continue;
        }
        rc = check_line(run, text);
        if (rc != PELLAX_OK) {
            return rc;
        }
    }
    line.reset();
    PX_LOG_INFO(plt, PELLAX_OK, "Verify file digest, success count: 0x%08x, fail count: 0x%08x.",
                run.passed, run.failed);
    if (run.passed == 0 && run.failed == 0) {
        return PELLAX_ERR_NO_DIGEST_DATA;
    }
    if (run.passed == 0) {
        *result = DIGEST_RESULT_ALL_FAILED;
    } else if (run.failed == 0) {
        *result = DIGEST_RESULT_ALL_PASSED;
    } else {
        *result = DIGEST_RESULT_PARTIAL;
    }
    return PELLAX_OK;
}
