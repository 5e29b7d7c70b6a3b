#include "pellax_vrf_old.h"

#include "pellax_log.h"
#include "pellax_plt_st_check.h"
#include "pellax_vrf_inner.h"

namespace {

const char kModule[] = "pellax_vrf_old";

// Refreshes the context's copy of the global table, so callbacks registered after the context
// was created reach it at its next call.
PELLAX_ERROR_CODE pellax_initialize_vrf_ctx_funcs(PELLAX_VRF_CTX *ctx) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (!pellax_global_table_ready()) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    const PELLAX_SYS_API *sys = &s_kitCallbackFuncs.plt.sys;
    if (!pellax_sys_is_all_sys_api_valid(sys)) {
        return PELLAX_ERR_SYS_API;
    }
    if (!pellax_crypto_alg_api_valid(&s_kitCallbackFuncs)) {
        return PELLAX_ERR_VRF_CALLBACK;
    }
    if (pellax_memcpy_s(sys, &ctx->funcs, sizeof ctx->funcs, &s_kitCallbackFuncs,
                        sizeof s_kitCallbackFuncs) != 0) {
        return PELLAX_ERR_BAD_LOGIC;
    }
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE pellax_initialize_verify_funcs(PELLAX_VERIFY_FUNCS *table) {
    if (table == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    table->vrf_ctx_create = pellax_vrf_ctx_create;
    table->verify_initialize_by_stream = pellax_verify_initialize_by_stream;
    table->verify_detach_signature_by_stream = pellax_verify_detach_signature_by_stream;
    table->verify_initialize = pellax_verify_initialize;
    table->verify_detach_signature = pellax_verify_detach_signature;
    table->verify_digest_file = pellax_verify_digest_file;
    table->vrf_ctx_free = pellax_vrf_ctx_free;
    table->set_md_callback = pellax_set_md_callback;
    table->set_vrf_callback = pellax_set_vrf_callback;
    table->version = pellax_version;
    table->set_log_callback = pellax_set_log_callback;
    table->set_user_def_msg_callback = pellax_set_user_def_msg_callback;
    table->get_error_string_from_error_code = pellax_get_error_string_from_error_code;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_vrf_ctx_create(PELLAX_VRF_CTX **ctx) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    const PELLAX_SYS_API *sys = &s_kitCallbackFuncs.plt.sys;
    if (!pellax_sys_is_all_sys_api_valid(sys)) {
        return PELLAX_ERR_SYS_API;
    }
    PELLAX_VRF_CTX *created = static_cast<PELLAX_VRF_CTX *>(pellax_malloc(sys, sizeof *created));
    if (created == nullptr) {
        PX_LOG_ERROR(&s_kitCallbackFuncs.plt, PELLAX_ERR_ALLOC,
                     "Alloc memory error, alloc size: %x", static_cast<unsigned>(sizeof *created));
        return PELLAX_ERR_ALLOC;
    }
    pellax_memset_s(sys, created, sizeof *created, 0, sizeof *created);
    pellax_memcpy_s(sys, &created->funcs, sizeof created->funcs, &s_kitCallbackFuncs,
                    sizeof s_kitCallbackFuncs);
    created->size = sizeof(PELLAX_VRF_CTX);
    *ctx = created;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_verify_initialize_by_stream(PELLAX_VRF_CTX *ctx,
                                                     PELLAX_IOBUF *keyring_stream) {
    const PELLAX_ERROR_CODE rc = pellax_initialize_vrf_ctx_funcs(ctx);
    return rc != PELLAX_OK ? rc : fips_pellax_verify_initialize_by_stream(ctx, keyring_stream);
}

PELLAX_ERROR_CODE pellax_verify_detach_signature_by_stream(PELLAX_VRF_CTX *ctx,
                                                           PELLAX_IOBUF *source_stream,
                                                           PELLAX_IOBUF *signature_stream,
                                                           int *result, const PX_BYTE **fingerprint,
                                                           PX_ULONG *fingerprint_len) {
    const PELLAX_ERROR_CODE rc = pellax_initialize_vrf_ctx_funcs(ctx);
    return rc != PELLAX_OK
               ? rc
               : fips_pellax_verify_detach_signature_by_stream(
                     ctx, source_stream, signature_stream, result, fingerprint, fingerprint_len);
}

PELLAX_ERROR_CODE pellax_verify_initialize(PELLAX_VRF_CTX *ctx, const char *key_file) {
    const PELLAX_ERROR_CODE rc = pellax_initialize_vrf_ctx_funcs(ctx);
    return rc != PELLAX_OK ? rc : fips_pellax_verify_initialize(ctx, key_file);
}

PELLAX_ERROR_CODE pellax_verify_detach_signature(PELLAX_VRF_CTX *ctx, const char *source_file,
                                                 const char *signature_file, int *result,
                                                 const PX_BYTE **fingerprint,
                                                 PX_ULONG *fingerprint_len) {
    const PELLAX_ERROR_CODE rc = pellax_initialize_vrf_ctx_funcs(ctx);
    return rc != PELLAX_OK
               ? rc
               : fips_pellax_verify_detach_signature(ctx, source_file, signature_file, result,
                                                     fingerprint, fingerprint_len);
}

PELLAX_ERROR_CODE pellax_verify_digest_file(const char *digest_file, const char *base_path,
                                            const char *separator, int digest_type, int *result) {
    if (!pellax_global_table_ready()) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    if (!pellax_sys_is_all_sys_api_valid(&s_kitCallbackFuncs.plt.sys)) {
        return PELLAX_ERR_SYS_API;
    }
    if (!pellax_crypto_md_api_valid(&s_kitCallbackFuncs)) {
        return PELLAX_ERR_VRF_CALLBACK;
    }
    return fips_pellax_verify_digest_file(&s_kitCallbackFuncs, digest_file, base_path, separator,
                                          digest_type, result);
}

PELLAX_ERROR_CODE pellax_vrf_ctx_free(PELLAX_VRF_CTX *ctx) {
    PELLAX_ERROR_CODE rc = pellax_initialize_vrf_ctx_funcs(ctx);
    if (rc == PELLAX_OK) {
        rc = fips_pellax_verify_context_clean(ctx);
    }
    if (rc != PELLAX_OK) {
        return rc;  // the context stays allocated: the caller may fix its tables and retry
    }
    pellax_free(&s_kitCallbackFuncs.plt.sys, ctx);
    return PELLAX_OK;
}
