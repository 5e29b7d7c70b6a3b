#include "pellax_vrf_inner.h"

#include "file_filter.h"
#include "pellax_guard.h"
#include "pellax_log.h"
#include "pellax_plt_st_check.h"
#include "pellax_vrf_internal.h"

namespace {

const char kModule[] = "pellax_vrf_inner";
const char kReadMode[] = "rb";
constexpr PX_ULONG kFingerprintLength = 20;

PELLAX_ERROR_CODE fold(PELLAX_ERROR_CODE code) {
    const bool passes =
        (code >= 1 && code <= 99) || (code >= PELLAX_ERR_PARAM && code <= PELLAX_HOST_CODE_LAST);
    return passes ? code : static_cast<PELLAX_ERROR_CODE>(PELLAX_OK);
}

// Loads a key ring from a stream and puts it in place of the context's old one.
PELLAX_ERROR_CODE load_keyring(PELLAX_VRF_CTX *ctx, PELLAX_IOBUF *stream) {
    const PELLAX_PLT_FUNCS *plt = &ctx->funcs.plt;
    PELLAX_LIST *keyring = nullptr;
    PELLAX_ERROR_CODE rc = pellax_load_key(&ctx->funcs, stream, &keyring);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Load public key ring error.");
        return rc;
    }
    // A later initialization replaces the key ring; the old one must not leak.
    pellax_free_keyring(plt, ctx->keyring);
    ctx->keyring = keyring;
    if (keyring == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_NO_VALID_KEY, "No valid public key to use.");
        return PELLAX_ERR_NO_VALID_KEY;
    }
    return PELLAX_OK;
}

// The argument checks both detached-signature entries share.
PELLAX_ERROR_CODE check_detach_arguments(const PELLAX_VRF_CTX *ctx, const void *source,
                                         const void *signature, const int *result,
                                         const PX_BYTE **fingerprint,
                                         const PX_ULONG *fingerprint_len) {
    const PELLAX_PLT_FUNCS *plt = &ctx->funcs.plt;
    if (source == nullptr || signature == nullptr || result == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    if (fingerprint != nullptr && fingerprint_len == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "finger_print_len can't be null.");
        return PELLAX_ERR_PARAM;
    }
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE do_with_signature_verify_return(PELLAX_ERROR_CODE code) {
    return fold(code);
}

PELLAX_ERROR_CODE do_with_digest_verify_result(PELLAX_ERROR_CODE code) {
    return fold(code);
}

PELLAX_ERROR_CODE pellax_check_vrf_context(const PELLAX_VRF_CTX *ctx) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (ctx->size != sizeof(PELLAX_VRF_CTX)) {
        return PELLAX_ERR_CTX_SIZE;
    }
    if (ctx->funcs.size != sizeof(PELLAX_CALLBACK_FUNCS)) {
        return PELLAX_ERR_SIZE_TAG;
    }
    if (ctx->funcs.plt.size != sizeof(PELLAX_PLT_FUNCS)) {
        return PELLAX_ERR_PLT_SIZE;
    }
    if (ctx->funcs.plt.sys.size != sizeof(PELLAX_SYS_API)) {
        return PELLAX_ERR_SIZE_TAG;
    }
    if (!pellax_sys_is_all_sys_api_valid(&ctx->funcs.plt.sys) ||
        !pellax_crypto_alg_api_valid(&ctx->funcs)) {
        return PELLAX_ERR_CALLBACKS_INCOMPLETE;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_initialize_verify_funcs(const PELLAX_CALLBACK_FUNCS *funcs,
                                                      PELLAX_FIPS_VERIFY_FUNCS *table) {
    if (funcs == nullptr || table == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (table->size != sizeof(PELLAX_FIPS_VERIFY_FUNCS)) {
        return PELLAX_ERR_SIZE_TAG;
    }
    if (!pellax_sys_is_all_sys_api_valid(&funcs->plt.sys)) {
        return PELLAX_ERR_CALLBACKS_INCOMPLETE;
    }
    table->verify_initialize_by_stream = fips_pellax_verify_initialize_by_stream;
    table->verify_detach_signature_by_stream = fips_pellax_verify_detach_signature_by_stream;
    table->verify_initialize = fips_pellax_verify_initialize;
    table->verify_detach_signature = fips_pellax_verify_detach_signature;
    table->verify_context_clean = fips_pellax_verify_context_clean;
    table->verify_digest_file = fips_pellax_verify_digest_file;
    table->set_log_callback = fips_pellax_set_log_callback;
    table->get_err_msg = pellax_get_err_msg;
    table->version = fips_pellax_version;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_verify_initialize(PELLAX_VRF_CTX *ctx, const char *key_file) {
    PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc != PELLAX_OK) {
        return rc;
    }
    const PELLAX_PLT_FUNCS *plt = &ctx->funcs.plt;
    if (key_file == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    PX_LOG_INFO(plt, PELLAX_OK, "Load key file: %s.", key_file);
    StreamGuard stream(plt);
    rc = pellax_open_file_filter(plt, key_file, kReadMode, stream.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Open public key ring file error.");
        return rc;
    }
    return load_keyring(ctx, stream.get());
}

PELLAX_ERROR_CODE fips_pellax_verify_initialize_by_stream(PELLAX_VRF_CTX *ctx,
                                                          PELLAX_IOBUF *keyring_stream) {
    PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (keyring_stream == nullptr) {
        PX_LOG_ERROR(&ctx->funcs.plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    return load_keyring(ctx, keyring_stream);
}

PELLAX_ERROR_CODE fips_pellax_verify_detach_signature(PELLAX_VRF_CTX *ctx, const char *source_file,
                                                      const char *signature_file, int *result,
                                                      const PX_BYTE **fingerprint,
                                                      PX_ULONG *fingerprint_len) {
    PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc == PELLAX_OK) {
        rc = check_detach_arguments(ctx, source_file, signature_file, result, fingerprint,
                                    fingerprint_len);
    }
    if (rc != PELLAX_OK) {
        return rc;
    }
    const PELLAX_PLT_FUNCS *plt = &ctx->funcs.plt;
    if (ctx->keyring == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_BAD_LOGIC,
                     "Pellax verify context havn't bean initialized successfully.");
        return PELLAX_ERR_BAD_LOGIC;
    }
    StreamGuard source(plt);
    rc = pellax_open_file_filter(plt, source_file, kReadMode, source.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Open source file error.");
        return fold(rc);
    }
    StreamGuard signature(plt);
    rc = pellax_open_file_filter(plt, signature_file, kReadMode, signature.out());
    if (rc != PELLAX_OK || signature.get() == nullptr) {
        if (rc == PELLAX_OK) {
            rc = PELLAX_ERR_OPEN_FILE;
        }
        PX_LOG_ERROR(plt, rc, "Open signature file error.");
        return fold(rc);
    }
    const PX_BYTE *signer = nullptr;
    PX_UINT32 verdict = 0;
    rc = pellax_vrf_verify_detach_signature_internal(&ctx->funcs, source.get(), signature.get(),
                                                     ctx->keyring, &signer, &verdict);
    PX_LOG_INFO(plt, rc, "pellax_vrf_verify_detach_signature_internal.");
    rc = fold(rc);
    if (rc != PELLAX_OK || verdict == 0) {
        *result = 0;
        return rc;
    }
    if (fingerprint != nullptr && fingerprint_len != nullptr && signer != nullptr) {
        *fingerprint = signer;
        *fingerprint_len = kFingerprintLength;
    }
    *result = 1;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_verify_detach_signature_by_stream(
    PELLAX_VRF_CTX *ctx, PELLAX_IOBUF *source_stream, PELLAX_IOBUF *signature_stream, int *result,
    const PX_BYTE **fingerprint, PX_ULONG *fingerprint_len) {
    PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc == PELLAX_OK) {
        rc = check_detach_arguments(ctx, source_stream, signature_stream, result, fingerprint,
                                    fingerprint_len);
    }
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (ctx->keyring == nullptr) {
        PX_LOG_ERROR(&ctx->funcs.plt, PELLAX_ERR_FULL,
                     "Pellax verify context have not bean initialized successfully.");
        return PELLAX_ERR_BAD_LOGIC;
    }
    *result = 0;
    PX_UINT32 verdict = 0;
    rc = pellax_vrf_verify_detach_signature_internal(&ctx->funcs, source_stream, signature_stream,
                                                     ctx->keyring, fingerprint, &verdict);
    if (rc != PELLAX_OK) {
        return fold(rc);
    }
    if (verdict == 0) {
        return PELLAX_OK;
    }
    if (fingerprint != nullptr) {
        *fingerprint_len = kFingerprintLength;
    }
    *result = 1;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_verify_digest_file(const PELLAX_CALLBACK_FUNCS *funcs,
                                                 const char *digest_file, const char *base_path,
                                                 const char *separator, int digest_type,
                                                 int *result) {
    if (funcs == nullptr || !pellax_sys_is_all_sys_api_valid(&funcs->plt.sys) ||
        !pellax_crypto_alg_api_valid(funcs)) {
        return PELLAX_ERR_CALLBACKS_INCOMPLETE;
    }
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    if (digest_file == nullptr || base_path == nullptr || separator == nullptr ||
        result == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error.");
        return PELLAX_ERR_PARAM;
    }
    *result = 0;
    StreamGuard stream(plt);
    PELLAX_ERROR_CODE rc = pellax_open_file_filter(plt, digest_file, kReadMode, stream.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Can't open digest file, digest file path: %s.", digest_file);
        return fold(rc);
    }
    rc = pellax_verify_digest_file_internal(funcs, stream.get(), base_path, separator, digest_type,
                                            result);
    return fold(rc);
}

PELLAX_ERROR_CODE fips_pellax_verify_context_clean(PELLAX_VRF_CTX *ctx) {
    const PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (ctx->keyring != nullptr) {
        pellax_free_keyring(&ctx->funcs.plt, ctx->keyring);
        ctx->keyring = nullptr;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fips_pellax_set_log_callback(PELLAX_VRF_CTX *ctx,
                                               PELLAX_LOG_CALLBACK log_callback) {
    const PELLAX_ERROR_CODE rc = pellax_check_vrf_context(ctx);
    if (rc == PELLAX_OK) {
        ctx->funcs.plt.log_callback = log_callback;
    }
    return rc;
}
