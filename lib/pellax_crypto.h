/* Crypto call table: registration of the host's callbacks, thin wrappers, completeness checks. */
#ifndef PELLAX_CRYPTO_H
#define PELLAX_CRYPTO_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

/* OpenPGP hash algorithm numbers (RFC 4880, 9.4). */
enum {
    PELLAX_HASH_MD5 = 1,
    PELLAX_HASH_SHA1 = 2,
    PELLAX_HASH_SHA256 = 8,
    PELLAX_HASH_SHA384 = 9,
    PELLAX_HASH_SHA512 = 10,
    PELLAX_HASH_SHA224 = 11
};

/* Registration on the global table; 214 before pellax_old_library_initialize. Null pointers
 * are stored as given: the completeness checks catch them later. */
PELLAX_ERROR_CODE pellax_set_md_callback(PELLAX_MD_CTX_CREATE ctx_create, PELLAX_MD_INIT init,
                                         PELLAX_MD_UPDATE update, PELLAX_MD_FINAL final_,
                                         PELLAX_MD_CTX_DESTORY ctx_destory);
PELLAX_ERROR_CODE pellax_set_vrf_callback(PELLAX_VRF_CTX_CREATE ctx_create, PELLAX_VRF_INIT init,
                                          PELLAX_VRF_UPDATE update, PELLAX_VRF_FINAL final_,
                                          PELLAX_VRF_CTX_DESTORY ctx_destory);
/* No check: a callback set before initialization is wiped by it. */
void pellax_set_log_callback(PELLAX_LOG_CALLBACK log_callback);
void pellax_set_user_def_msg_callback(PELLAX_USER_DEF_MSG_CALLBACK callback);

/* Wrappers over the slots of funcs; they test nothing (entry points check the table). */
PELLAX_ERROR_CODE pellax_crypto_md_ctx_create(const PELLAX_CALLBACK_FUNCS *funcs, void **ctx);
PELLAX_ERROR_CODE pellax_crypto_md_init(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                        int algorithm);
PELLAX_ERROR_CODE pellax_crypto_md_update(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                          const PX_BYTE *data, PX_UINT32 length);
/* Feeds the low 8 bits of value as one byte. */
PELLAX_ERROR_CODE pellax_crypto_md_put(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx, int value);
PELLAX_ERROR_CODE pellax_crypto_md_final(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                         PX_BYTE *output, PX_UINT32 *length);
PELLAX_ERROR_CODE pellax_crypto_md_ctx_destory(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx);
PELLAX_ERROR_CODE pellax_crypto_vrf_ctx_create(const PELLAX_CALLBACK_FUNCS *funcs, void **ctx);
PELLAX_ERROR_CODE pellax_crypto_vrf_init(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                         const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                         int algorithm);
PELLAX_ERROR_CODE pellax_crypto_vrf_update(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                           const PX_BYTE *data, PX_UINT32 length);
PELLAX_ERROR_CODE pellax_crypto_vrf_put(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx, int value);
PELLAX_ERROR_CODE pellax_crypto_vrf_final(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                          const PX_BYTE *signature, PX_UINT32 length, int *verdict);
PELLAX_ERROR_CODE pellax_crypto_vrf_ctx_destory(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx);

/* 1 when funcs is whole. 0 for a null table or wrong size tag (not logged), or after logging
 * 207 for the first empty digest slot (and, for the second check, 208 for the first empty
 * verification slot). */
int pellax_crypto_md_api_valid(const PELLAX_CALLBACK_FUNCS *funcs);
int pellax_crypto_alg_api_valid(const PELLAX_CALLBACK_FUNCS *funcs);

PELLAX_EXTERN_C_END

#endif
