/* Inner entry points: they work on an explicit context or callback table and check it. */
#ifndef PELLAX_VRF_INNER_H
#define PELLAX_VRF_INNER_H

#include "pellax_vrf_old.h"

PELLAX_EXTERN_C_BEGIN

typedef PELLAX_ERROR_CODE (*PELLAX_FIPS_VERIFY_CONTEXT_CLEAN_FUNC)(PELLAX_VRF_CTX *ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_FIPS_VERIFY_DIGEST_FILE_FUNC)(const PELLAX_CALLBACK_FUNCS *funcs,
                                                                 const char *digest_file,
                                                                 const char *base_path,
                                                                 const char *separator,
                                                                 int digest_type, int *result);
typedef PELLAX_ERROR_CODE (*PELLAX_FIPS_SET_LOG_CALLBACK_FUNC)(PELLAX_VRF_CTX *ctx,
                                                               PELLAX_LOG_CALLBACK log_callback);
typedef PELLAX_ERROR_CODE (*PELLAX_GET_ERR_MSG_FUNC)(const PELLAX_PLT_FUNCS *plt,
                                                     PELLAX_ERROR_CODE code, const char **text);

/* The caller sets size to sizeof(PELLAX_FIPS_VERIFY_FUNCS) before asking for the table. */
typedef struct PELLAX_FIPS_VERIFY_FUNCS {
    PX_ULONG size;
    PELLAX_VERIFY_INITIALIZE_BY_STREAM_FUNC verify_initialize_by_stream;
    PELLAX_VERIFY_DETACH_SIGNATURE_BY_STREAM_FUNC verify_detach_signature_by_stream;
    PELLAX_VERIFY_INITIALIZE_FUNC verify_initialize;
    PELLAX_VERIFY_DETACH_SIGNATURE_FUNC verify_detach_signature;
    PELLAX_FIPS_VERIFY_CONTEXT_CLEAN_FUNC verify_context_clean;
    PELLAX_FIPS_VERIFY_DIGEST_FILE_FUNC verify_digest_file;
    PELLAX_FIPS_SET_LOG_CALLBACK_FUNC set_log_callback;
    PELLAX_GET_ERR_MSG_FUNC get_err_msg;
    PELLAX_VERSION_FUNC version;
} PELLAX_FIPS_VERIFY_FUNCS;

/* 201: a null pointer; 205: wrong size tag on table; 209: incomplete services in funcs. */
PELLAX_ERROR_CODE fips_pellax_initialize_verify_funcs(const PELLAX_CALLBACK_FUNCS *funcs,
                                                      PELLAX_FIPS_VERIFY_FUNCS *table);

/* Checks every size tag and table of a context: 201, 210, 205, 215, 205, 209, 209, else 0. */
PELLAX_ERROR_CODE pellax_check_vrf_context(const PELLAX_VRF_CTX *ctx);

PELLAX_ERROR_CODE fips_pellax_verify_initialize(PELLAX_VRF_CTX *ctx, const char *key_file);
PELLAX_ERROR_CODE fips_pellax_verify_initialize_by_stream(PELLAX_VRF_CTX *ctx,
                                                          PELLAX_IOBUF *keyring_stream);
PELLAX_ERROR_CODE fips_pellax_verify_detach_signature(PELLAX_VRF_CTX *ctx, const char *source_file,
                                                      const char *signature_file, int *result,
                                                      const PX_BYTE **fingerprint,
                                                      PX_ULONG *fingerprint_len);
PELLAX_ERROR_CODE fips_pellax_verify_detach_signature_by_stream(
    PELLAX_VRF_CTX *ctx, PELLAX_IOBUF *source_stream, PELLAX_IOBUF *signature_stream, int *result,
    const PX_BYTE **fingerprint, PX_ULONG *fingerprint_len);
PELLAX_ERROR_CODE fips_pellax_verify_digest_file(const PELLAX_CALLBACK_FUNCS *funcs,
                                                 const char *digest_file, const char *base_path,
                                                 const char *separator, int digest_type,
                                                 int *result);
/* Releases the key ring and keeps the context. */
PELLAX_ERROR_CODE fips_pellax_verify_context_clean(PELLAX_VRF_CTX *ctx);
/* Replaces the log callback in this context's copy only (until the next front-end call). */
PELLAX_ERROR_CODE fips_pellax_set_log_callback(PELLAX_VRF_CTX *ctx,
                                               PELLAX_LOG_CALLBACK log_callback);

/* Code folding of the verification entry points: 1..99 and 201..399 pass, the rest become 0,
 * so a data-format failure reaches the caller as a negative verdict. */
PELLAX_ERROR_CODE do_with_signature_verify_return(PELLAX_ERROR_CODE code);
PELLAX_ERROR_CODE do_with_digest_verify_result(PELLAX_ERROR_CODE code);

PELLAX_EXTERN_C_END

#endif
