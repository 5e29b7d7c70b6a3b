#include "mainproc.h"

#include "free_packet.h"
#include "parse.h"
#include "pellax_log.h"

namespace {

const char kModule[] = "mainproc";

bool same_keyid(const PX_UINT32 a[2], const PX_UINT32 b[2]) {
    return a[0] == b[0] && a[1] == b[1];
}

// The envelope under the cursor; the list's code when the node is missing or empty.
PELLAX_ERROR_CODE current_packet(const PELLAX_PLT_FUNCS *plt, const PELLAX_LIST_CURSOR *cursor,
                                 PELLAX_PACKET **packet) {
    void *data = nullptr;
    const PELLAX_ERROR_CODE rc = pellax_list_cursor_current(plt, cursor, &data);
    *packet = static_cast<PELLAX_PACKET *>(data);
    return rc;
}

template <typename T>
T *record_of(PELLAX_PACKET *packet) {
    return static_cast<T *>(packet->data);
}

/* ---- key signature checks --------------------------------------------------------------- */

// The first packet of the key block, which must be the primary key.
PELLAX_ERROR_CODE get_public_key_from_key_chain(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *key_block,
                                                PELLAX_PUBLIC_KEY **key) {
    PellaxCursorGuard cursor(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt, key_block, cursor.out());
    PELLAX_PACKET *first = nullptr;
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_cursor_create error.");
    } else if (!pellax_list_cursor_move_next(plt, cursor.get())) {
        rc = PELLAX_ERR_FULL;
        PX_LOG_ERROR(plt, rc, "pellax_list_cursor_move_next error.");
    } else if ((rc = current_packet(plt, cursor.get(), &first)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_cursor_current error.");
    } else if (first->pkttype != PKT_PUBLIC_KEY || first->data == nullptr) {
        rc = PELLAX_ERR_FULL;
        PX_LOG_ERROR(plt, rc, "First packet is not public key.");
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "get_public_key_from_key_chain error.");
        return rc;
    }
    *key = record_of<PELLAX_PUBLIC_KEY>(first);
    return PELLAX_OK;
}

// The bytes a key signature covers after the key: 0xB4 and the user id, or 0xD1 and the
// attribute body (RFC 4880, 5.2.4), each with a four-octet length.
PELLAX_ERROR_CODE hash_uid_node(const PELLAX_CALLBACK_FUNCS *funcs, void *vrf_ctx,
                                const PELLAX_USER_ID *uid) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    // Only attributes keep a copy of their body. An empty attribute keeps none and is hashed as
    // its description text, which no certification of a real attribute covers.
    const bool attribute = uid->attribute_data != nullptr;
    const PX_BYTE *body =
        attribute ? uid->attribute_data : reinterpret_cast<const PX_BYTE *>(uid->name);
    const PX_UINT32 length =
        attribute ? static_cast<PX_UINT32>(uid->attribute_length) : uid->length;
    const PX_BYTE prefix[5] = {static_cast<PX_BYTE>(attribute ? 0xD1 : 0xB4),
                               static_cast<PX_BYTE>(length >> 24),
                               static_cast<PX_BYTE>(length >> 16),
                               static_cast<PX_BYTE>(length >> 8), static_cast<PX_BYTE>(length)};
    PELLAX_ERROR_CODE rc = PELLAX_OK;
    for (PX_BYTE octet : prefix) {
        if ((rc = pellax_crypto_vrf_put(funcs, vrf_ctx, octet)) != PELLAX_OK) {
            break;
        }
    }
    // An empty user id adds nothing after its prefix; providers refuse empty updates.
    if (rc == PELLAX_OK && length != 0) {
        rc = pellax_crypto_vrf_update(funcs, vrf_ctx, body, length);
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc,
                     attribute ? "pellax_crypto_vrf_update error." : "Crypt update data error.");
    }
    return rc;
}

// Key revocation: only the primary key's own revocation counts.
PELLAX_ERROR_CODE check_key_revocation(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                       PELLAX_SIGNATURE *sig) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PX_UINT32 keyid[2] = {0, 0};
    PELLAX_ERROR_CODE rc = keyid_from_pk(funcs, key, keyid);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "keyid_from_pk error.");
        return rc;
    }
    if (!same_keyid(sig->keyid, keyid)) {
        return PELLAX_OK;
    }
    PellaxVrfCtxGuard ctx(funcs);
    int verdict = 0;
    if ((rc = pellax_crypto_vrf_ctx_create(funcs, ctx.out())) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_vrf_ctx_create error.");
    } else if ((rc = init_verify_ctx_by_pubkey_material(funcs, key, ctx.get(),
                                                        sig->hash_algorithm)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "init_verify_ctx_by_pubkey_material error.");
    } else if ((rc = update_by_public_key(funcs, ctx.get(), key)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Hash public key error.");
    } else if ((rc = do_check(funcs, key, sig, ctx.get(), &verdict)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "do_check error.");
    } else {
        cache_sig_result(sig, verdict);
    }
    return rc;
}

// Subkey binding or revocation: the primary key signs itself followed by the subkey.
PELLAX_ERROR_CODE check_subkey_signature(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                         PELLAX_SIGNATURE *sig, const PELLAX_LIST_CURSOR *cursor) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PellaxCursorGuard back(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_copy(plt, cursor, back.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_cursor_copy error.");
        return rc;
    }
    PELLAX_PACKET *subkey = find_prev_packet(plt, back.get(), PKT_PUBLIC_SUBKEY);
    if (subkey == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_OK, "find_prev_packet error,.");
        return PELLAX_OK;
    }
    PellaxVrfCtxGuard ctx(funcs);
    int verdict = 0;
    if ((rc = pellax_crypto_vrf_ctx_create(funcs, ctx.out())) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create crypt context error.");
    } else if ((rc = init_verify_ctx_by_pubkey_material(funcs, key, ctx.get(),
                                                        sig->hash_algorithm)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Initialize crypt context error.");
    } else if ((rc = update_by_public_key(funcs, ctx.get(), key)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "update_by_public_key error.");
    } else if ((rc = update_by_public_key(funcs, ctx.get(),
                                          record_of<PELLAX_PUBLIC_KEY>(subkey))) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Hash public key error.");
    } else if ((rc = do_check(funcs, key, sig, ctx.get(), &verdict)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "do_check error.");
    } else {
        cache_sig_result(sig, verdict);
    }
    return rc;
}

// Direct-key signature: the primary key alone.
PELLAX_ERROR_CODE check_direct_key_signature(const PELLAX_CALLBACK_FUNCS *funcs,
                                             const PELLAX_PUBLIC_KEY *key, PELLAX_SIGNATURE *sig) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    if (sig->signature_value[0].len == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ARMOR_TAG, "Signature information is invalid, Length is 0.");
        return PELLAX_ERR_ARMOR_TAG;
    }
    PellaxVrfCtxGuard ctx(funcs);
    int verdict = 0;
    PELLAX_ERROR_CODE rc = pellax_crypto_vrf_ctx_create(funcs, ctx.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create crypt context error.");
    } else if ((rc = init_verify_ctx_by_pubkey_material(funcs, key, ctx.get(),
                                                        sig->hash_algorithm)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_vrf_init error.");
    } else if ((rc = update_by_public_key(funcs, ctx.get(), key)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "update_by_public_key error.");
    } else if ((rc = do_check(funcs, key, sig, ctx.get(), &verdict)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "do_check error.");
    } else {
        cache_sig_result(sig, verdict);
    }
    return rc;
}

// The nearest user id (or attribute) before the certification under cursor.
PELLAX_ERROR_CODE find_prev_uid_pkt(const PELLAX_PLT_FUNCS *plt, const PELLAX_LIST_CURSOR *cursor,
                                    const PELLAX_USER_ID **uid) {
    PellaxCursorGuard back(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_copy(plt, cursor, back.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Copy cursor error.");
    } else {
        PELLAX_PACKET *found = find_prev_packet(plt, back.get(), PKT_USER_ID);
        if (found == nullptr || found->data == nullptr) {
            rc = PELLAX_ERR_FILE_FORMAT;
            PX_LOG_ERROR(plt, rc,
                         "Can't find uid node before signature data. Bad public key format.");
        } else {
            *uid = record_of<PELLAX_USER_ID>(found);
        }
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "find_prev_uid_pkt error.");
    }
    return rc;
}

// User id certification (and every class not handled above): the primary key, then the user id.
PELLAX_ERROR_CODE check_public_packet_signature(const PELLAX_CALLBACK_FUNCS *funcs,
                                                PELLAX_PUBLIC_KEY *key, PELLAX_SIGNATURE *sig,
                                                const PELLAX_LIST_CURSOR *cursor) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    const PELLAX_USER_ID *uid = nullptr;
    PELLAX_ERROR_CODE rc = find_prev_uid_pkt(plt, cursor, &uid);
    if (rc != PELLAX_OK) {
        return rc;
    }
    PellaxVrfCtxGuard ctx(funcs);
    if ((rc = pellax_crypto_vrf_ctx_create(funcs, ctx.out())) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_vrf_ctx_create error.");
        return rc;
    }
    if ((rc = init_verify_ctx_by_pubkey_material(funcs, key, ctx.get(), sig->hash_algorithm)) !=
        PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "init_vrf_ctx_by_pubkey_material error.");
        return rc;
    }
    if ((rc = update_by_public_key(funcs, ctx.get(), key)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "update_by_public_key error.");
        PX_LOG_ERROR(plt, rc, "update_check_public_key_ctx_data error.");
        return rc;
    }
    if ((rc = hash_uid_node(funcs, ctx.get(), uid)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Hash uid node error.");
        PX_LOG_ERROR(plt, rc, "update_check_public_key_ctx_data error.");
        return rc;
    }
    PX_UINT32 keyid[2] = {0, 0};
    if ((rc = keyid_from_pk(funcs, key, keyid)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Get public key id error.");
        PX_LOG_ERROR(plt, rc, "check_public_packet_signature error.");
        return rc;
    }
    if (!same_keyid(sig->keyid, keyid)) {
        cache_sig_result(sig, 0);  // another key's certification is never taken as good here
        return PELLAX_OK;
    }
    int verdict = 0;
    if ((rc = do_check(funcs, key, sig, ctx.get(), &verdict)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "do_check error.");
        PX_LOG_ERROR(plt, rc, "check_public_packet_signature error.");
        return rc;
    }
    cache_sig_result(sig, verdict);
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE do_check_message(const PELLAX_PLT_FUNCS *plt, const PELLAX_PUBLIC_KEY *key,
                                   const PELLAX_SIGNATURE *sig, int *expired, int *revoked) {
    if (expired != nullptr) {
        *expired = 0;
    }
    if (revoked != nullptr) {
        *revoked = 0;
    }
    if (key->timestamp > sig->timestamp) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TIMESTAMP,
                     "Public expired date is newer than signature, Public key timestamp: 0x%08x, "
                     "signature timestamp: 0x%08x.",
                     key->timestamp, sig->timestamp);
        return PELLAX_ERR_TIMESTAMP;
    }
    const int64_t now = pellax_get_utc_time(&plt->sys);
    if (now == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TIME, "pellax_get_utc_time error.");
        return PELLAX_ERR_TIME;
    }
    if (now < static_cast<int64_t>(key->timestamp)) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TIMESTAMP,
                     "Public key was created after now, public key timestamp: 0x%08x, tm: 0x%x.",
                     key->timestamp, static_cast<unsigned>(now));
        return PELLAX_ERR_TIMESTAMP;
    }
    if (key->has_expired != 0 ||
        (key->expire_time != 0 && now > static_cast<int64_t>(key->expire_time))) {
        PX_LOG_INFO(plt, PELLAX_OK, "Public key is expired, expire time: 0x%08x.",
                    key->expire_time);
        if (expired != nullptr) {
            *expired = 1;
        }
    }
    if (key->is_revoked != 0) {
        PX_LOG_INFO(plt, PELLAX_OK, "Public key is revoked.");
        if (revoked != nullptr) {
            *revoked = 1;
        }
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE update_crypto_by_signature_extra_data(const PELLAX_CALLBACK_FUNCS *funcs,
                                                        void *vrf_ctx,
                                                        const PELLAX_SIGNATURE *sig) {
    // RFC 4880, 5.2.4: "the hash trailer" of a version 4 signature.
    const PELLAX_SUBPKT_AREA *area = sig->hashed_area;
    const PX_UINT32 area_length = area != nullptr ? static_cast<PX_UINT32>(area->length) : 0;
    const PX_UINT32 hashed = area_length + 6;
    const PX_BYTE head[6] = {sig->version,
                             sig->signature_class,
                             sig->key_algorithm,
                             sig->hash_algorithm,
                             static_cast<PX_BYTE>(area_length >> 8),
                             static_cast<PX_BYTE>(area_length)};
    const PX_BYTE tail[6] = {sig->version,
                             0xFF,
                             static_cast<PX_BYTE>(hashed >> 24),
                             static_cast<PX_BYTE>(hashed >> 16),
                             static_cast<PX_BYTE>(hashed >> 8),
                             static_cast<PX_BYTE>(hashed)};
    PELLAX_ERROR_CODE rc = PELLAX_OK;
    for (PX_BYTE octet : head) {
        if ((rc = pellax_crypto_vrf_put(funcs, vrf_ctx, octet)) != PELLAX_OK) {
            break;
        }
    }
    if (rc == PELLAX_OK && area_length != 0) {
        rc = pellax_crypto_vrf_update(funcs, vrf_ctx, area->octets, area_length);
    }
    for (PX_UINT32 i = 0; rc == PELLAX_OK && i < sizeof tail; ++i) {
        rc = pellax_crypto_vrf_put(funcs, vrf_ctx, tail[i]);
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(&funcs->plt, rc, "pellax_crypto_verify_put error.");
    }
    return rc;
}

PELLAX_ERROR_CODE init_verify_ctx_by_pubkey_material(const PELLAX_CALLBACK_FUNCS *funcs,
                                                     const PELLAX_PUBLIC_KEY *key, void *vrf_ctx,
                                                     int hash_algorithm) {
    // The packet holds n then e; the shorter integer is taken as the exponent.
    const PELLAX_BIGINT *first = &key->key_material[0];
    const PELLAX_BIGINT *second = &key->key_material[1];
    const bool second_is_exponent = second->len < first->len;
    const PELLAX_BIGINT *exponent = second_is_exponent ? second : first;
    const PELLAX_BIGINT *modulus = second_is_exponent ? first : second;
    const PELLAX_ERROR_CODE rc =
        pellax_crypto_vrf_init(funcs, vrf_ctx, exponent, modulus, hash_algorithm);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(&funcs->plt, rc, "pellax_crypto_vrf_init error.");
    }
    return rc;
}

void cache_sig_result(PELLAX_SIGNATURE *sig, int verdict) {
    sig->verify_done = 1;
    sig->verify_ok = verdict != 0 ? 1 : 0;
}

PELLAX_PACKET *find_prev_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor,
                                PX_UINT32 pkttype) {
    while (pellax_list_cursor_move_prev(plt, cursor)) {
        PELLAX_PACKET *packet = nullptr;
        const PELLAX_ERROR_CODE rc = current_packet(plt, cursor, &packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_list_cursor_current error.");
            return nullptr;
        }
        if (packet->pkttype == pkttype) {
            return packet;
        }
    }
    return nullptr;
}

PELLAX_ERROR_CODE do_check(const PELLAX_CALLBACK_FUNCS *funcs, const PELLAX_PUBLIC_KEY *key,
                           const PELLAX_SIGNATURE *sig, void *vrf_ctx, int *verdict) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *verdict = 0;
    PELLAX_ERROR_CODE rc = do_check_message(plt, key, sig, nullptr, nullptr);
    if (rc != PELLAX_OK) {
        return rc;
    }
    rc = update_crypto_by_signature_extra_data(funcs, vrf_ctx, sig);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "update_verify_byexdata error.");
        return rc;
    }
    int said = 0;
    rc = pellax_crypto_vrf_final(funcs, vrf_ctx, sig->signature_value[0].data,
                                 sig->signature_value[0].len, &said);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_vrf_final error.");
        return rc;
    }
    // Only the provider's explicit yes counts as good.
    *verdict = said == 1 ? 1 : 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE check_key_signature(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_LIST *key_block,
                                      PELLAX_SIGNATURE *sig, const PELLAX_LIST_CURSOR *cursor) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PELLAX_PUBLIC_KEY *key = nullptr;
    PELLAX_ERROR_CODE rc = get_public_key_from_key_chain(plt, key_block, &key);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (sig->verify_done == 1) {
        // A cached result (a trust packet) stands; only the times are checked.
        rc = do_check_message(plt, key, sig, nullptr, nullptr);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "do_check_message error.");
        }
        return rc;
    }
    switch (sig->signature_class) {
        case SIG_CLASS_KEY_REVOCATION:
            return check_key_revocation(funcs, key, sig);
        case SIG_CLASS_SUBKEY_BINDING:
        case SIG_CLASS_SUBKEY_REVOCATION:
            return check_subkey_signature(funcs, key, sig, cursor);
        case SIG_CLASS_DIRECT_KEY:
            return check_direct_key_signature(funcs, key, sig);
        default:
            return check_public_packet_signature(funcs, key, sig, cursor);
    }
}

/* ---- judging a key block ---------------------------------------------------------------- */

namespace {

bool is_certification(PX_BYTE signature_class) {
    return (signature_class >= SIG_CLASS_CERT_GENERIC &&
            signature_class <= SIG_CLASS_CERT_POSITIVE) ||
           signature_class == SIG_CLASS_CERT_REVOCATION;
}

bool verified_good(const PELLAX_SIGNATURE *sig) {
    return sig->verify_done == 1 && sig->verify_ok == 1;
}

// One key block under judgement: the last public key of the packet list and what follows it.
class KeyBlockJudge {
  public:
    KeyBlockJudge(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx)
        : funcs_(funcs), plt_(&funcs->plt), ctx_(ctx), block_(plt_), at_key_(plt_) {}

    PELLAX_ERROR_CODE run();

  private:
    PELLAX_ERROR_CODE collect_key_block(bool *found);
    PELLAX_ERROR_CODE get_main_public_key_and_key_createtime_and_keyid();
    PELLAX_ERROR_CODE check_public_key_latest_signature();
    PELLAX_ERROR_CODE check_public_key_uid_signature();
    PELLAX_ERROR_CODE set_main_key_usage_and_get_uid_date();
    PELLAX_ERROR_CODE set_public_key_expire_data();
    PELLAX_ERROR_CODE get_main_public_key();
    void check_public_key();

    PELLAX_ERROR_CODE first_packet(PELLAX_LIST_CURSOR **cursor, PellaxCursorGuard *guard,
                                   const char *create_failed);
    PELLAX_ERROR_CODE latest_uid(bool by_expiry, const PELLAX_USER_ID **uid);
    PELLAX_ERROR_CODE failed(PELLAX_ERROR_CODE rc, const char *step);
    PELLAX_ERROR_CODE failed_late(PELLAX_ERROR_CODE rc, const char *step);

    const PELLAX_CALLBACK_FUNCS *funcs_;
    const PELLAX_PLT_FUNCS *plt_;
    PELLAX_MAINPROC_CTX *ctx_;
    PellaxListGuard block_;     // the key block's envelopes, not owned
    PellaxCursorGuard at_key_;  // on ctx_->packets, standing on the primary key
    PELLAX_PUBLIC_KEY *key_ = nullptr;
    PX_UINT32 keyid_[2] = {0, 0};
    PX_UINT32 created_ = 0;
    bool revoked_ = false;
    PX_UINT32 direct_usage_ = 0;
    bool has_direct_expiry_ = false;
    PX_UINT32 direct_expiry_ = 0;
};

// The common tail of every failure while judging.
PELLAX_ERROR_CODE KeyBlockJudge::failed(PELLAX_ERROR_CODE rc, const char *step) {
    PX_LOG_ERROR(plt_, rc, "%s", step);
    PX_LOG_ERROR(plt_, rc, "Merge self sign key error.");
    return failed_late(rc, nullptr);
}

PELLAX_ERROR_CODE KeyBlockJudge::failed_late(PELLAX_ERROR_CODE rc, const char *step) {
    if (step != nullptr) {
        PX_LOG_ERROR(plt_, rc, "%s", step);
    }
    PX_LOG_ERROR(plt_, rc, "check_selfsigs error.");
    PX_LOG_ERROR(plt_, rc, "check_public_key error.");
    return rc;
}

PELLAX_ERROR_CODE KeyBlockJudge::collect_key_block(bool *found) {
    *found = false;
    PELLAX_ERROR_CODE rc = pellax_list_create(plt_, nullptr, block_.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "Error in creating new key list.");
        return rc;
    }
    rc = pellax_list_cursor_create(plt_, ctx_->packets, at_key_.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "Error in creating new key list cursor.");
        return rc;
    }
    PELLAX_PACKET *packet = nullptr;
    while (pellax_list_cursor_move_prev(plt_, at_key_.get())) {
        rc = current_packet(plt_, at_key_.get(), &packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
            return rc;
        }
        if (packet->pkttype == PKT_PUBLIC_KEY) {
            *found = true;
            break;
        }
    }
    if (!*found) {
        return PELLAX_OK;
    }
    rc = pellax_list_add(plt_, block_.get(), packet);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "Add public key data to new list error.");
        return rc;
    }
    PellaxCursorGuard rest(plt_);
    rc = pellax_list_cursor_copy(plt_, at_key_.get(), rest.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "Error in creating new key list cursor.");
        return rc;
    }
    while (pellax_list_cursor_move_next(plt_, rest.get())) {
        rc = current_packet(plt_, rest.get(), &packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
            return rc;
        }
        rc = pellax_list_add(plt_, block_.get(), packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_add error.");
            return rc;
        }
    }
    return PELLAX_OK;
}

// A new cursor on the key block standing on its first packet, the primary key.
PELLAX_ERROR_CODE KeyBlockJudge::first_packet(PELLAX_LIST_CURSOR **cursor, PellaxCursorGuard *guard,
                                              const char *create_failed) {
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt_, block_.get(), guard->out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "%s", create_failed);
        return rc;
    }
    if (!pellax_list_cursor_move_next(plt_, guard->get())) {
        PX_LOG_ERROR(plt_, PELLAX_ERR_FULL, "pellax_list_cursor_move_next error.");
        return PELLAX_ERR_FULL;
    }
    *cursor = guard->get();
    return PELLAX_OK;
}

PELLAX_ERROR_CODE KeyBlockJudge::get_main_public_key_and_key_createtime_and_keyid() {
    PellaxCursorGuard guard(plt_);
    PELLAX_LIST_CURSOR *cursor = nullptr;
    PELLAX_ERROR_CODE rc = first_packet(&cursor, &guard, "pellax_list_cursor_create error.");
    PELLAX_PACKET *packet = nullptr;
    if (rc == PELLAX_OK && (rc = current_packet(plt_, cursor, &packet)) != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
    }
    if (rc == PELLAX_OK) {
        key_ = record_of<PELLAX_PUBLIC_KEY>(packet);
        created_ = key_->timestamp;
        if ((rc = keyid_from_pk(funcs_, key_, keyid_)) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "keyid_from_pk error.");
        }
    }
    return rc == PELLAX_OK ? rc
                           : failed(rc, "get_main_public_key_and_key_createtime_and_keyid error.");
}

// Signatures between the primary key and its first user id: revocations and direct-key
// signatures. The last one decides whether a direct-key signature gives usage and expiry.
PELLAX_ERROR_CODE KeyBlockJudge::check_public_key_latest_signature() {
    const char kStep[] = "check_public_key_latest_signature error.";
    PellaxCursorGuard guard(plt_);
    PELLAX_LIST_CURSOR *cursor = nullptr;
    PELLAX_ERROR_CODE rc = first_packet(&cursor, &guard, "pellax_list_cursor_create error.");
    if (rc != PELLAX_OK) {
        return failed(rc, kStep);
    }
    const PELLAX_SIGNATURE *candidate = nullptr;
    PX_UINT32 latest = 0;
    for (;;) {
        if (!pellax_list_cursor_move_next(plt_, cursor)) {
            PX_LOG_ERROR(plt_, PELLAX_OK, "Move next over.");
            break;
        }
        PELLAX_PACKET *packet = nullptr;
        if ((rc = current_packet(plt_, cursor, &packet)) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
            return failed(rc, kStep);
        }
        if (packet->pkttype == PKT_USER_ID) {
            break;
        }
        if (packet->pkttype != PKT_SIGNATURE) {
            continue;
        }
        PELLAX_SIGNATURE *sig = record_of<PELLAX_SIGNATURE>(packet);
        if (!same_keyid(sig->keyid, keyid_)) {
            candidate = nullptr;
            continue;
        }
        if ((rc = check_key_signature(funcs_, block_.get(), sig, cursor)) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "check_key_signature error.");
            PX_LOG_ERROR(plt_, rc, "check_latest_self_signature error.");
            return failed(rc, kStep);
        }
        if (!verified_good(sig)) {
            candidate = nullptr;
        } else if (sig->signature_class == SIG_CLASS_KEY_REVOCATION) {
            revoked_ = true;
            candidate = nullptr;
        } else if (sig->signature_class == SIG_CLASS_DIRECT_KEY && sig->timestamp >= latest &&
                   sig->expired == 0) {
            latest = sig->timestamp;
            candidate = sig;
        } else {
            candidate = nullptr;
        }
    }
    if (candidate == nullptr) {
        return PELLAX_OK;
    }
    if ((rc = parse_key_usage(plt_, candidate, &direct_usage_)) != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "parse_key_usage error.");
        return failed(rc, kStep);
    }
    PX_UINT32 expire = 0;
    if ((rc = parse_key_expire(plt_, candidate, &expire)) != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "parse_key_expire error.");
        return failed(rc, kStep);
    }
    if (expire != 0) {
        has_direct_expiry_ = true;
        direct_expiry_ = created_ + expire;  // unsigned 32-bit, as every OpenPGP time
    }
    key_->is_valid = 1;
    return PELLAX_OK;
}

// User ids and their self-certifications up to the first subkey. The latest time is shared by
// all user ids: a user id certified earlier than a previous one's choice gets none.
PELLAX_ERROR_CODE KeyBlockJudge::check_public_key_uid_signature() {
    const char kStep[] = "check_public_key_uid_signature error.";
    PellaxCursorGuard guard(plt_);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt_, block_.get(), guard.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_create error.");
        return failed(rc, kStep);
    }
    PELLAX_USER_ID *uid = nullptr;
    const PELLAX_SIGNATURE *chosen = nullptr;
    PX_UINT32 latest = 0;
    const auto take_chosen = [&]() -> PELLAX_ERROR_CODE {
        if (uid == nullptr || chosen == nullptr) {
            return PELLAX_OK;
        }
        PELLAX_ERROR_CODE fixed = fixup_uidnode(plt_, uid, chosen, created_);
        if (fixed != PELLAX_OK) {
            PX_LOG_ERROR(plt_, fixed, "fixup_uidnode error.");
            return fixed;
        }
        key_->is_valid = 1;
        return PELLAX_OK;
    };
    while (pellax_list_cursor_move_next(plt_, guard.get())) {
        PELLAX_PACKET *packet = nullptr;
        if ((rc = current_packet(plt_, guard.get(), &packet)) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
            return failed(rc, kStep);
        }
        if (packet->pkttype == PKT_PUBLIC_SUBKEY) {
            break;
        }
        if (packet->pkttype == PKT_USER_ID) {
            if ((rc = take_chosen()) != PELLAX_OK) {
                return failed(rc, kStep);
            }
            uid = record_of<PELLAX_USER_ID>(packet);
            chosen = nullptr;
            continue;
        }
        if (packet->pkttype != PKT_SIGNATURE || uid == nullptr) {
            continue;
        }
        PELLAX_SIGNATURE *sig = record_of<PELLAX_SIGNATURE>(packet);
        if (!same_keyid(sig->keyid, keyid_)) {
            continue;
        }
        if ((rc = check_key_signature(funcs_, block_.get(), sig, guard.get())) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "check_key_signature error.");
            PX_LOG_ERROR(plt_, rc, "get_uid_valid_latest_signature_and_date error.");
            return failed(rc, kStep);
        }
        if (verified_good(sig) && is_certification(sig->signature_class) &&
            sig->timestamp >= latest) {
            chosen = sig;
            latest = sig->timestamp;
        }
    }
    if ((rc = take_chosen()) != PELLAX_OK) {
        return failed(rc, kStep);
    }
    return PELLAX_OK;
}

// Among the user ids before the first subkey: the one with the newest self-certification that
// carries usage flags (by_expiry false) or a key expiry (by_expiry true). Ties keep the first.
PELLAX_ERROR_CODE KeyBlockJudge::latest_uid(bool by_expiry, const PELLAX_USER_ID **found) {
    *found = nullptr;
    PellaxCursorGuard guard(plt_);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt_, block_.get(), guard.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_create error.");
        return rc;
    }
    while (pellax_list_cursor_move_next(plt_, guard.get())) {
        PELLAX_PACKET *packet = nullptr;
        if ((rc = current_packet(plt_, guard.get(), &packet)) != PELLAX_OK) {
            PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
            return rc;
        }
        if (packet->pkttype == PKT_PUBLIC_SUBKEY) {
            break;
        }
        if (packet->pkttype != PKT_USER_ID) {
            continue;
        }
        const PELLAX_USER_ID *uid = record_of<PELLAX_USER_ID>(packet);
        const bool carries = by_expiry ? uid->key_expire_time != 0 : uid->key_usage != 0;
        if (carries && (*found == nullptr || uid->selfsig_time > (*found)->selfsig_time)) {
            *found = uid;
        }
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE KeyBlockJudge::set_main_key_usage_and_get_uid_date() {
    // Usage found at all always includes certification; no flags anywhere allow everything.
    PX_UINT32 usage = direct_usage_;
    if (usage == 0) {
        const PELLAX_USER_ID *uid = nullptr;
        PELLAX_ERROR_CODE rc = latest_uid(false, &uid);
        if (rc != PELLAX_OK) {
            return failed(rc, "set_main_key_usage_and_get_uid_date error.");
        }
        usage = uid != nullptr ? uid->key_usage : 0;
    }
    key_->key_usage = static_cast<PX_BYTE>(usage != 0 ? (usage & 0x0F) | PX_USAGE_CERTIFY
                                                      : PX_USAGE_SIGN | PX_USAGE_ENCRYPT |
                                                            PX_USAGE_CERTIFY | PX_USAGE_AUTH);
    return PELLAX_OK;
}

PELLAX_ERROR_CODE KeyBlockJudge::set_public_key_expire_data() {
    const char kStep[] = "set_public_key_expire_data error.";
    PX_UINT32 expiry = direct_expiry_;
    if (!has_direct_expiry_) {
        const PELLAX_USER_ID *uid = nullptr;
        PELLAX_ERROR_CODE rc = latest_uid(true, &uid);
        if (rc != PELLAX_OK) {
            return failed(rc, kStep);
        }
        expiry = uid != nullptr ? uid->key_expire_time : 0;
    }
    const int64_t now = pellax_get_utc_time(&plt_->sys);
    if (now == 0) {
        PX_LOG_ERROR(plt_, PELLAX_ERR_TIME, "Get current time error.");
        return failed(PELLAX_ERR_TIME, kStep);
    }
    key_->expire_time = expiry;
    key_->has_expired = expiry != 0 && now > static_cast<int64_t>(expiry) ? expiry : 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE KeyBlockJudge::get_main_public_key() {
    PellaxCursorGuard guard(plt_);
    PELLAX_LIST_CURSOR *cursor = nullptr;
    PELLAX_ERROR_CODE rc = first_packet(&cursor, &guard, "Create new cursor error.");
    PELLAX_PACKET *packet = nullptr;
    if (rc == PELLAX_OK && (rc = current_packet(plt_, cursor, &packet)) != PELLAX_OK) {
        PX_LOG_ERROR(plt_, rc, "pellax_list_cursor_current error.");
    }
    if (rc != PELLAX_OK) {
        return failed_late(rc, "get_main_public_key error.");
    }
    record_of<PELLAX_PUBLIC_KEY>(packet)->is_revoked = revoked_ ? 1 : 0;
    return PELLAX_OK;
}

// Logs the key's state and drops the whole key block when the key is unfit to verify.
void KeyBlockJudge::check_public_key() {
    const PX_UINT32 hi = keyid_[0];
    const PX_UINT32 lo = keyid_[1];
    PX_LOG_INFO(plt_, PELLAX_OK, "Check public key:%08x %08x.", hi, lo);
    bool unfit = false;
    if (key_->is_revoked != 0) {
        PX_LOG_INFO(plt_, PELLAX_OK, "Public key %08x %08x has bean revoked.", hi, lo);
        unfit = true;
    }
    if (key_->has_expired != 0) {
        PX_LOG_INFO(plt_, PELLAX_OK, "Public key %08x %08x has expired.", hi, lo);
        unfit = true;
    }
    if (key_->is_valid == 0) {
        PX_LOG_INFO(plt_, PELLAX_OK, "Public key %08x %08x is not valid.", hi, lo);
        unfit = true;
    }
    if ((key_->key_usage & PX_USAGE_SIGN) == 0) {
        PX_LOG_INFO(plt_, PELLAX_OK, "Public key %08x %08x is invalid, key usage: 0x%08x.", hi, lo,
                    static_cast<unsigned>(key_->key_usage));
        unfit = true;
    }
    if (!unfit) {
        return;
    }
    PX_LOG_INFO(plt_, PELLAX_OK, "Check public key failed, public key id: 0x%08x, 0x%08x.", hi, lo);
    // The key block is the tail of the list: remove from the primary key to the end.
    key_ = nullptr;
    while (at_key_.get()->current != nullptr) {
        pellax_list_cursor_remove_current_node(plt_, at_key_.get());
    }
}

PELLAX_ERROR_CODE KeyBlockJudge::run() {
    bool found = false;
    PELLAX_ERROR_CODE rc = collect_key_block(&found);
    if (rc != PELLAX_OK || !found) {
        return rc;
    }
    if ((rc = get_main_public_key_and_key_createtime_and_keyid()) != PELLAX_OK ||
        (rc = check_public_key_latest_signature()) != PELLAX_OK ||
        (rc = check_public_key_uid_signature()) != PELLAX_OK ||
        (rc = set_main_key_usage_and_get_uid_date()) != PELLAX_OK ||
        (rc = set_public_key_expire_data()) != PELLAX_OK ||
        (rc = get_main_public_key()) != PELLAX_OK) {
        return rc;
    }
    check_public_key();
    return PELLAX_OK;
}

/* ---- reading packets -------------------------------------------------------------------- */

PELLAX_PACKET *new_envelope(const PELLAX_PLT_FUNCS *plt) {
    return static_cast<PELLAX_PACKET *>(pellax_malloc_zeroed(&plt->sys, sizeof(PELLAX_PACKET)));
}

// A trust packet may carry a cached verdict for the signature right before it.
PELLAX_ERROR_CODE apply_trust(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *packets,
                              const PELLAX_PACKET *trust_packet) {
    void *data = nullptr;
    const PELLAX_ERROR_CODE rc = pellax_list_get_tail(plt, packets, &data);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_get_tail error.");
        return rc;
    }
    PELLAX_PACKET *last = static_cast<PELLAX_PACKET *>(data);
    const PELLAX_TRUST *trust = static_cast<const PELLAX_TRUST *>(trust_packet->data);
    if (last->pkttype == PKT_SIGNATURE && trust != nullptr &&
        (trust->cache_flags & TRUST_CACHE_DONE) != 0) {
        PELLAX_SIGNATURE *sig = record_of<PELLAX_SIGNATURE>(last);
        sig->verify_done = 1;
        sig->verify_ok = (trust->cache_flags & TRUST_CACHE_GOOD) != 0 ? 1 : 0;
    }
    return PELLAX_OK;
}

// One parsed packet into the list; on success the list owns the envelope unless it was a
// trust packet, which the caller releases.
PELLAX_ERROR_CODE take_packet(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx,
                              PELLAX_PACKET *packet) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PELLAX_ERROR_CODE rc = PELLAX_OK;
    switch (packet->pkttype) {
        case PKT_RING_TRUST:
            return apply_trust(plt, ctx->packets, packet);
        case PKT_SIGNATURE:
        case PKT_USER_ID:
            return add_packet_normally(plt, ctx->packets, packet);
        case PKT_PUBLIC_KEY:
            // A new primary key completes the key block before it.
            rc = do_with_last_pubkey(funcs, ctx);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "do_with_last_pubkey error.");
                return rc;
            }
            [[fallthrough]];
        case PKT_PUBLIC_SUBKEY:
            rc = keyid_from_pk(funcs, static_cast<PELLAX_PUBLIC_KEY *>(packet->data), nullptr);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "keyid_from_pk error.");
                return rc;
            }
            return add_packet_normally(plt, ctx->packets, packet);
        default:
            return PELLAX_OK;  // the parser returns no other type
    }
}

bool kept_by_list(const PELLAX_PACKET *packet) {
    return packet->pkttype == PKT_SIGNATURE || packet->pkttype == PKT_USER_ID ||
           packet->pkttype == PKT_PUBLIC_KEY || packet->pkttype == PKT_PUBLIC_SUBKEY;
}

}  // namespace

PELLAX_ERROR_CODE do_with_last_pubkey(const PELLAX_CALLBACK_FUNCS *funcs,
                                      PELLAX_MAINPROC_CTX *ctx) {
    KeyBlockJudge judge(funcs, ctx);
    return judge.run();
}

PELLAX_ERROR_CODE pellax_mainproc_is_publickey_exist(const PELLAX_PLT_FUNCS *plt,
                                                     PELLAX_LIST *packets, int *exist) {
    *exist = 0;
    PellaxCursorGuard cursor(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt, packets, cursor.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create list cursor error.");
        return rc;
    }
    while (pellax_list_cursor_move_next(plt, cursor.get())) {
        PELLAX_PACKET *packet = nullptr;
        rc = current_packet(plt, cursor.get(), &packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_list_cursor_current error.");
            return rc;
        }
        if (packet->pkttype == PKT_PUBLIC_KEY) {
            *exist = 1;
            return PELLAX_OK;
        }
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE add_packet_normally(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list,
                                      PELLAX_PACKET *packet) {
    const PELLAX_ERROR_CODE rc = pellax_list_add(plt, list, packet);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_add error");
    }
    return rc;
}

PELLAX_ERROR_CODE mainproc_ctx_create(const PELLAX_PLT_FUNCS *plt, PELLAX_MAINPROC_CTX **ctx) {
    PELLAX_MAINPROC_CTX *created = static_cast<PELLAX_MAINPROC_CTX *>(
        pellax_malloc_zeroed(&plt->sys, sizeof(PELLAX_MAINPROC_CTX)));
    if (created == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc size: 0x%x.",
                     static_cast<unsigned>(sizeof(PELLAX_MAINPROC_CTX)));
        return PELLAX_ERR_ALLOC;
    }
    const PELLAX_ERROR_CODE rc = pellax_list_create(plt, free_packet_v, &created->packets);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_list_create error.");
        pellax_free(&plt->sys, created);
        *ctx = nullptr;
        return rc;
    }
    *ctx = created;
    return PELLAX_OK;
}

void mainproc_ctx_free(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx) {
    if (ctx == nullptr) {
        return;
    }
    if (ctx->packets != nullptr) {
        pellax_list_free(&funcs->plt, ctx->packets);
        ctx->packets = nullptr;
    }
    pellax_free(&funcs->plt.sys, ctx);
}

PELLAX_ERROR_CODE proc_packets(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx,
                               PELLAX_IOBUF *stream) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    ctx->stream = stream;
    PELLAX_PACKET *packet = new_envelope(plt);
    if (packet == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     static_cast<unsigned>(sizeof(PELLAX_PACKET)));
        return PELLAX_ERR_ALLOC;
    }
    for (;;) {
        int end = 0;
        PELLAX_ERROR_CODE rc = parse_packet(plt, stream, packet, &end);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Parse packet error.");
            free_packet_v(plt, packet);
            return rc;
        }
        if (end != 0) {
            free_packet_v(plt, packet);
            rc = do_with_last_pubkey(funcs, ctx);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "Check last public key data error.");
            }
            return rc;
        }
        rc = take_packet(funcs, ctx, packet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Process packets error.");
            free_packet_v(plt, packet);
            return rc;
        }
        if (!kept_by_list(packet)) {
            free_packet_v(plt, packet);  // trust packets are never kept
        }
        packet = new_envelope(plt);
        if (packet == nullptr) {
            PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error.");
            return PELLAX_ERR_ALLOC;
        }
    }
}
