/* The library's front door for hosts: a table of thirteen entry points working on the global
 * table, and the verification context they create. */
#ifndef PELLAX_VRF_OLD_H
#define PELLAX_VRF_OLD_H

#include "pellax_crypto.h"
#include "pellax_err.h"
#include "pellax_iobuf.h"
#include "pellax_list.h"

PELLAX_EXTERN_C_BEGIN

/* Owned by the caller from create to free. The key ring is a packet list owned by the context. */
typedef struct PELLAX_VRF_CTX {
    PX_ULONG size;
    PELLAX_CALLBACK_FUNCS funcs; /* a copy of the global table, refreshed by every entry */
    PELLAX_LIST *keyring;        /* null until an initialization succeeds */
} PELLAX_VRF_CTX;

/* Digest types of the digest-file check (OpenPGP hash numbers) and its three results. */
enum { DIGEST_RESULT_ALL_FAILED = 0, DIGEST_RESULT_PARTIAL = 1, DIGEST_RESULT_ALL_PASSED = 2 };

typedef PELLAX_ERROR_CODE (*PELLAX_VRF_CTX_CREATE_FUNC)(PELLAX_VRF_CTX **ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_VERIFY_INITIALIZE_BY_STREAM_FUNC)(PELLAX_VRF_CTX *ctx,
                                                                     PELLAX_IOBUF *keyring_stream);
typedef PELLAX_ERROR_CODE (*PELLAX_VERIFY_DETACH_SIGNATURE_BY_STREAM_FUNC)(
    PELLAX_VRF_CTX *ctx, PELLAX_IOBUF *source_stream, PELLAX_IOBUF *signature_stream, int *result,
    const PX_BYTE **fingerprint, PX_ULONG *fingerprint_len);
typedef PELLAX_ERROR_CODE (*PELLAX_VERIFY_INITIALIZE_FUNC)(PELLAX_VRF_CTX *ctx,
                                                           const char *key_file);
typedef PELLAX_ERROR_CODE (*PELLAX_VERIFY_DETACH_SIGNATURE_FUNC)(
    PELLAX_VRF_CTX *ctx, const char *source_file, const char *signature_file, int *result,
    const PX_BYTE **fingerprint, PX_ULONG *fingerprint_len);
typedef PELLAX_ERROR_CODE (*PELLAX_VERIFY_DIGEST_FILE_FUNC)(const char *digest_file,
                                                            const char *base_path,
                                                            const char *separator, int digest_type,
                                                            int *result);
typedef PELLAX_ERROR_CODE (*PELLAX_VRF_CTX_FREE_FUNC)(PELLAX_VRF_CTX *ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_SET_MD_CALLBACK_FUNC)(PELLAX_MD_CTX_CREATE, PELLAX_MD_INIT,
                                                         PELLAX_MD_UPDATE, PELLAX_MD_FINAL,
                                                         PELLAX_MD_CTX_DESTORY);
typedef PELLAX_ERROR_CODE (*PELLAX_SET_VRF_CALLBACK_FUNC)(PELLAX_VRF_CTX_CREATE, PELLAX_VRF_INIT,
                                                          PELLAX_VRF_UPDATE, PELLAX_VRF_FINAL,
                                                          PELLAX_VRF_CTX_DESTORY);
typedef const char *(*PELLAX_VERSION_FUNC)(void);
typedef void (*PELLAX_SET_LOG_CALLBACK_FUNC)(PELLAX_LOG_CALLBACK);
typedef void (*PELLAX_SET_USER_DEF_MSG_CALLBACK_FUNC)(PELLAX_USER_DEF_MSG_CALLBACK);
typedef PELLAX_ERROR_CODE (*PELLAX_GET_ERROR_STRING_FUNC)(PELLAX_ERROR_CODE code,
                                                          const char **text);

/* Thirteen slots, no size field, in this order. */
typedef struct PELLAX_VERIFY_FUNCS {
    PELLAX_VRF_CTX_CREATE_FUNC vrf_ctx_create;
    PELLAX_VERIFY_INITIALIZE_BY_STREAM_FUNC verify_initialize_by_stream;
    PELLAX_VERIFY_DETACH_SIGNATURE_BY_STREAM_FUNC verify_detach_signature_by_stream;
    PELLAX_VERIFY_INITIALIZE_FUNC verify_initialize;
    PELLAX_VERIFY_DETACH_SIGNATURE_FUNC verify_detach_signature;
    PELLAX_VERIFY_DIGEST_FILE_FUNC verify_digest_file;
    PELLAX_VRF_CTX_FREE_FUNC vrf_ctx_free;
    PELLAX_SET_MD_CALLBACK_FUNC set_md_callback;
    PELLAX_SET_VRF_CALLBACK_FUNC set_vrf_callback;
    PELLAX_VERSION_FUNC version;
    PELLAX_SET_LOG_CALLBACK_FUNC set_log_callback;
    PELLAX_SET_USER_DEF_MSG_CALLBACK_FUNC set_user_def_msg_callback;
    PELLAX_GET_ERROR_STRING_FUNC get_error_string_from_error_code;
} PELLAX_VERIFY_FUNCS;

/* 201 for a null table; needs no initialized library. */
PELLAX_ERROR_CODE pellax_initialize_verify_funcs(PELLAX_VERIFY_FUNCS *table);

PELLAX_ERROR_CODE pellax_vrf_ctx_create(PELLAX_VRF_CTX **ctx);
PELLAX_ERROR_CODE pellax_verify_initialize_by_stream(PELLAX_VRF_CTX *ctx,
                                                     PELLAX_IOBUF *keyring_stream);
PELLAX_ERROR_CODE pellax_verify_detach_signature_by_stream(PELLAX_VRF_CTX *ctx,
                                                           PELLAX_IOBUF *source_stream,
                                                           PELLAX_IOBUF *signature_stream,
                                                           int *result, const PX_BYTE **fingerprint,
                                                           PX_ULONG *fingerprint_len);
PELLAX_ERROR_CODE pellax_verify_initialize(PELLAX_VRF_CTX *ctx, const char *key_file);
/* Returns 0 with result 1 for a good signature (and the signer's 20-octet fingerprint, owned by
 * the key ring), 0 with result 0 for a bad or unknown one, or an error code. */
PELLAX_ERROR_CODE pellax_verify_detach_signature(PELLAX_VRF_CTX *ctx, const char *source_file,
                                                 const char *signature_file, int *result,
                                                 const PX_BYTE **fingerprint,
                                                 PX_ULONG *fingerprint_len);
PELLAX_ERROR_CODE pellax_verify_digest_file(const char *digest_file, const char *base_path,
                                            const char *separator, int digest_type, int *result);
PELLAX_ERROR_CODE pellax_vrf_ctx_free(PELLAX_VRF_CTX *ctx);

PELLAX_EXTERN_C_END

#endif
