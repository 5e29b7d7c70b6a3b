#include "pellax_vrf_internal.h"

#include "pellax_log.h"

namespace {

const char kModule[] = "pellax_vrf_internal";

}  // namespace

/* ---- Key rings and detached signatures ---------------------------------------------------- */

#include "armor_filter.h"
#include "mainproc.h"
#include "verify.h"

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
