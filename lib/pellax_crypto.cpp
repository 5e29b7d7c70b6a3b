#include "pellax_crypto.h"

#include "pellax_log.h"
#include "pellax_plt_st_check.h"

namespace {

const char kModule[] = "pellax_crypto";

bool table_tagged(const PELLAX_CALLBACK_FUNCS *funcs) {
    return funcs != nullptr && funcs->size == sizeof(PELLAX_CALLBACK_FUNCS);
}

bool md_slots_set(const PELLAX_CALLBACK_FUNCS *funcs) {
    return funcs->crypto_md_ctx_create != nullptr && funcs->crypto_md_init != nullptr &&
           funcs->crypto_md_update != nullptr && funcs->crypto_md_final != nullptr &&
           funcs->crypto_md_ctx_destory != nullptr;
}

bool vrf_slots_set(const PELLAX_CALLBACK_FUNCS *funcs) {
    return funcs->crypto_vrf_ctx_create != nullptr && funcs->crypto_vrf_init != nullptr &&
           funcs->crypto_vrf_update != nullptr && funcs->crypto_vrf_final != nullptr &&
           funcs->crypto_vrf_ctx_destory != nullptr;
}

// Checks digest slots and logs the one line a failed check owes.
bool md_slots_valid(const PELLAX_CALLBACK_FUNCS *funcs) {
    if (!md_slots_set(funcs)) {
        PX_LOG_ERROR(&funcs->plt, PELLAX_ERR_MD_CALLBACK,
                     "Message digest functions are not valid.");
        return false;
    }
    return true;
}

}  // namespace

PELLAX_ERROR_CODE pellax_set_md_callback(PELLAX_MD_CTX_CREATE ctx_create, PELLAX_MD_INIT init,
                                         PELLAX_MD_UPDATE update, PELLAX_MD_FINAL final_,
                                         PELLAX_MD_CTX_DESTORY ctx_destory) {
    if (s_kitCallbackFuncs.size != sizeof(PELLAX_CALLBACK_FUNCS)) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    s_kitCallbackFuncs.crypto_md_ctx_create = ctx_create;
    s_kitCallbackFuncs.crypto_md_init = init;
    s_kitCallbackFuncs.crypto_md_update = update;
    s_kitCallbackFuncs.crypto_md_final = final_;
    s_kitCallbackFuncs.crypto_md_ctx_destory = ctx_destory;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_set_vrf_callback(PELLAX_VRF_CTX_CREATE ctx_create, PELLAX_VRF_INIT init,
                                          PELLAX_VRF_UPDATE update, PELLAX_VRF_FINAL final_,
                                          PELLAX_VRF_CTX_DESTORY ctx_destory) {
    if (s_kitCallbackFuncs.size != sizeof(PELLAX_CALLBACK_FUNCS)) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    s_kitCallbackFuncs.crypto_vrf_ctx_create = ctx_create;
    s_kitCallbackFuncs.crypto_vrf_init = init;
    s_kitCallbackFuncs.crypto_vrf_update = update;
    s_kitCallbackFuncs.crypto_vrf_final = final_;
    s_kitCallbackFuncs.crypto_vrf_ctx_destory = ctx_destory;
    return PELLAX_OK;
}

void pellax_set_log_callback(PELLAX_LOG_CALLBACK log_callback) {
    s_kitCallbackFuncs.plt.log_callback = log_callback;
}

void pellax_set_user_def_msg_callback(PELLAX_USER_DEF_MSG_CALLBACK callback) {
    s_kitCallbackFuncs.plt.user_def_msg_callback = callback;
}

PELLAX_ERROR_CODE pellax_crypto_md_ctx_create(const PELLAX_CALLBACK_FUNCS *funcs, void **ctx) {
    return funcs->crypto_md_ctx_create(ctx);
}

PELLAX_ERROR_CODE pellax_crypto_md_init(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                        int algorithm) {
    return funcs->crypto_md_init(ctx, algorithm);
}

PELLAX_ERROR_CODE pellax_crypto_md_update(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                          const PX_BYTE *data, PX_UINT32 length) {
    return funcs->crypto_md_update(ctx, data, length);
}

PELLAX_ERROR_CODE pellax_crypto_md_put(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx, int value) {
    const PX_BYTE byte = static_cast<PX_BYTE>(value & 0xFF);
    return funcs->crypto_md_update(ctx, &byte, 1);
}

PELLAX_ERROR_CODE pellax_crypto_md_final(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                         PX_BYTE *output, PX_UINT32 *length) {
    return funcs->crypto_md_final(ctx, output, length);
}

PELLAX_ERROR_CODE pellax_crypto_md_ctx_destory(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx) {
    funcs->crypto_md_ctx_destory(ctx);
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_crypto_vrf_ctx_create(const PELLAX_CALLBACK_FUNCS *funcs, void **ctx) {
    return funcs->crypto_vrf_ctx_create(ctx);
}

PELLAX_ERROR_CODE pellax_crypto_vrf_init(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                         const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                         int algorithm) {
    return funcs->crypto_vrf_init(ctx, e, n, algorithm);
}

PELLAX_ERROR_CODE pellax_crypto_vrf_update(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                           const PX_BYTE *data, PX_UINT32 length) {
    return funcs->crypto_vrf_update(ctx, data, length);
}

PELLAX_ERROR_CODE pellax_crypto_vrf_put(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx, int value) {
    const PX_BYTE byte = static_cast<PX_BYTE>(value & 0xFF);
    return funcs->crypto_vrf_update(ctx, &byte, 1);
}

PELLAX_ERROR_CODE pellax_crypto_vrf_final(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                          const PX_BYTE *signature, PX_UINT32 length,
                                          int *verdict) {
    return funcs->crypto_vrf_final(ctx, signature, length, verdict);
}

PELLAX_ERROR_CODE pellax_crypto_vrf_ctx_destory(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx) {
    funcs->crypto_vrf_ctx_destory(ctx);
    return PELLAX_OK;
}

int pellax_crypto_md_api_valid(const PELLAX_CALLBACK_FUNCS *funcs) {
    if (!table_tagged(funcs)) {
        return 0;
    }
    return md_slots_valid(funcs) ? 1 : 0;
}

int pellax_crypto_alg_api_valid(const PELLAX_CALLBACK_FUNCS *funcs) {
    if (!table_tagged(funcs) || !md_slots_valid(funcs)) {
        return 0;
    }
    if (!vrf_slots_set(funcs)) {
        PX_LOG_ERROR(&funcs->plt, PELLAX_ERR_VRF_CALLBACK,
                     "Signature verification functions are not valid.");
        return 0;
    }
    return 1;
}
