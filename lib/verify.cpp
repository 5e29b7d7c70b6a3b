#include "verify.h"

#include "parse.h"
#include "pellax_log.h"

namespace {

const char kModule[] = "verify";

// Signed data is hashed in pieces of this size.
constexpr PX_UINT32 kHashPiece = 256;

// RFC 4880, 5.2.1: the classes that sign a document, as binary data or as text.
constexpr PX_BYTE kSigClassBinary = 0x00;
constexpr PX_BYTE kSigClassText = 0x01;

PELLAX_ERROR_CODE current_packet(const PELLAX_PLT_FUNCS *plt, const PELLAX_LIST_CURSOR *cursor,
                                 PELLAX_PACKET **packet) {
    void *data = nullptr;
    const PELLAX_ERROR_CODE rc = pellax_list_cursor_current(plt, cursor, &data);
    *packet = static_cast<PELLAX_PACKET *>(data);
    return rc;
}

// The one signature packet of a detached signature file, which must come first.
PELLAX_ERROR_CODE find_signature(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *packets,
                                 PELLAX_SIGNATURE **sig) {
    PellaxCursorGuard cursor(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt, packets, cursor.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create list cursor error.");
        return rc;
    }
    PELLAX_PACKET *packet = nullptr;
    if (!pellax_list_cursor_move_next(plt, cursor.get())) {
        rc = PELLAX_ERR_FILE_FORMAT;
        PX_LOG_ERROR(plt, rc, "Move cursor to next error.");
    } else if (current_packet(plt, cursor.get(), &packet) != PELLAX_OK) {
        rc = PELLAX_ERR_FILE_FORMAT;
        PX_LOG_ERROR(plt, rc, "Can't find signature packet.");
    } else if (packet->pkttype != PKT_SIGNATURE) {
        rc = PELLAX_ERR_FILE_FORMAT;
        PX_LOG_INFO(plt, rc, "Detach signature data error, first packet is not signature packet.");
    }
    if (rc == PELLAX_OK) {
        *sig = static_cast<PELLAX_SIGNATURE *>(packet->data);
    }
    while (rc == PELLAX_OK && pellax_list_cursor_move_next(plt, cursor.get())) {
        PELLAX_PACKET *next = nullptr;
        if ((rc = current_packet(plt, cursor.get(), &next)) != PELLAX_OK) {
            PX_LOG_INFO(plt, rc, "find_next_packet error.");
        } else if (next->pkttype == PKT_SIGNATURE) {
            rc = PELLAX_ERR_FILE_FORMAT;
            PX_LOG_INFO(plt, rc,
                        "Detach signature data error, there are more than one signature packets "
                        "exist.");
        }
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Find signature error.");
    }
    return rc;
}

// The primary key with this key id; subkeys never sign detached data here. The key's own
// packets (up to the next primary key) are gathered as its chain. *key stays null when no key
// matches.
PELLAX_ERROR_CODE get_public_key_by_id(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_LIST *keyring,
                                       const PX_UINT32 keyid[2], PELLAX_PUBLIC_KEY **key) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *key = nullptr;
    PellaxCursorGuard cursor(plt);
    PELLAX_ERROR_CODE rc = pellax_list_cursor_create(plt, keyring, cursor.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create list cursor error.");
        return rc;
    }
    PellaxListGuard chain(plt);
    while (pellax_list_cursor_move_next(plt, cursor.get())) {
        PELLAX_PACKET *packet = nullptr;
        if (current_packet(plt, cursor.get(), &packet) != PELLAX_OK) {
            PX_LOG_ERROR(plt, PELLAX_OK, "Get a empty node in packet list.");
            continue;
        }
        if (*key != nullptr) {
            if (packet->pkttype == PKT_PUBLIC_KEY) {
                break;
            }
            if ((rc = pellax_list_add(plt, chain.get(), packet)) != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "Add public chain packets error.");
                break;
            }
            continue;
        }
        if (packet->pkttype != PKT_PUBLIC_KEY) {
            continue;
        }
        PELLAX_PUBLIC_KEY *candidate = static_cast<PELLAX_PUBLIC_KEY *>(packet->data);
        PX_UINT32 id[2] = {0, 0};
        if (keyid_from_pk(funcs, candidate, id) != PELLAX_OK) {
            PX_LOG_ERROR(plt, PELLAX_OK, "Get keyid from public key error.");
            continue;
        }
        PX_LOG_INFO(plt, PELLAX_OK, "Find public key in chain, keyid:%08x %08x.", id[0], id[1]);
        if (id[0] != keyid[0] || id[1] != keyid[1]) {
            continue;
        }
        *key = candidate;
        if ((rc = pellax_list_create(plt, nullptr, chain.out())) != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Create list error.");
            break;
        }
        if ((rc = pellax_list_add(plt, chain.get(), packet)) != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Add public chain packets error.");
            break;
        }
    }
    if (rc != PELLAX_OK) {
        *key = nullptr;
        PX_LOG_INFO(plt, rc, "Can't find public key, maybe this public key is invalid.");
        PX_LOG_ERROR(plt, rc, "get_public_key_by_id error.");
    }
    return rc;
}

// Every octet left in the source stream goes into the verification context.
PELLAX_ERROR_CODE update_verify_byfiledata(const PELLAX_CALLBACK_FUNCS *funcs, void *vrf_ctx,
                                           PELLAX_IOBUF *source) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PX_BYTE piece[kHashPiece];
    for (;;) {
        PX_UINT32 got = sizeof piece;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read_noalloc(plt, source, piece, 0, &got);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_noalloc parameter error.");
            PX_LOG_ERROR(plt, rc, "update_verify_byfiledata error.");
            return rc;
        }
        if (got == 0) {
            return PELLAX_OK;
        }
        rc = pellax_crypto_vrf_update(funcs, vrf_ctx, piece, got);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Update data error.");
            PX_LOG_ERROR(plt, rc, "update_verify_byfiledata error.");
            return rc;
        }
    }
}

// The cryptographic check alone: *good is 1 only when the provider said 1 over the source
// octets and the signature's trailer.
PELLAX_ERROR_CODE check_signature_value(const PELLAX_CALLBACK_FUNCS *funcs,
                                        const PELLAX_PUBLIC_KEY *key, const PELLAX_SIGNATURE *sig,
                                        PELLAX_IOBUF *source, int *good) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *good = 0;
    PellaxVrfCtxGuard ctx(funcs);
    PELLAX_ERROR_CODE rc = pellax_crypto_vrf_ctx_create(funcs, ctx.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Create crypt context error.");
        return rc;
    }
    rc = init_verify_ctx_by_pubkey_material(funcs, key, ctx.get(), sig->hash_algorithm);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Initialize crypt context error.");
        return rc;
    }
    if ((rc = update_verify_byfiledata(funcs, ctx.get(), source)) != PELLAX_OK) {
        return rc;
    }
    rc = update_crypto_by_signature_extra_data(funcs, ctx.get(), sig);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "update_verify_byexdata error.");
        return rc;
    }
    int said = 0;
    rc = pellax_crypto_vrf_final(funcs, ctx.get(), sig->signature_value[0].data,
                                 sig->signature_value[0].len, &said);
    ctx.reset();
    PX_LOG_INFO(plt, PELLAX_OK, "pellax_crypto_vrf_final result: %d.", said);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Verify signature error.");
        return rc;
    }
    *good = said == 1 ? 1 : 0;
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE verify_detach_signature(const PELLAX_CALLBACK_FUNCS *funcs,
                                          PELLAX_MAINPROC_CTX *sig_ctx, PELLAX_IOBUF *source,
                                          PELLAX_LIST *keyring, const PX_BYTE **fingerprint,
                                          PX_UINT32 *verdict) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    *verdict = 0;
    PELLAX_SIGNATURE *sig = nullptr;
    PELLAX_ERROR_CODE rc = find_signature(plt, sig_ctx->packets, &sig);
    if (rc != PELLAX_OK) {
        return rc;
    }
    PX_LOG_INFO(plt, PELLAX_OK, "Verify detached signature file.Signed public keyid:%08x %08x.",
                sig->keyid[0], sig->keyid[1]);
    // A key's certifications and bindings hash other material than a document: taken as a
    // detached signature, one would pass for a file that merely holds that material.
    if (sig->signature_class != kSigClassBinary && sig->signature_class != kSigClassText) {
        PX_LOG_ERROR(plt, PELLAX_ERR_NOT_DETACHED,
                     "Signature class is not a document signature, class: 0x%02x.",
                     static_cast<unsigned>(sig->signature_class));
        return PELLAX_ERR_NOT_DETACHED;
    }
    PELLAX_PUBLIC_KEY *key = nullptr;
    if ((rc = get_public_key_by_id(funcs, keyring, sig->keyid, &key)) != PELLAX_OK) {
        return rc;
    }
    if (key == nullptr) {
        PX_LOG_INFO(plt, PELLAX_OK, "Can't find the public key to verify the signature data.");
        PX_LOG_INFO(plt, PELLAX_OK, "Can't find public key, maybe this public key is invalid.");
        PX_LOG_ERROR(plt, PELLAX_OK, "Can't find verify public key.");
        return PELLAX_OK;
    }
    int good = 0;
    if ((rc = check_signature_value(funcs, key, sig, source, &good)) != PELLAX_OK || good != 1) {
        return rc;
    }
    int expired = 0;
    int revoked = 0;
    if ((rc = do_check_message(plt, key, sig, &expired, &revoked)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Check signature message error.");
        return rc;
    }
    if (expired != 0) {
        PX_LOG_INFO(plt, PELLAX_OK, "Public key has expired.");
        return PELLAX_OK;
    }
    if (revoked != 0) {
        PX_LOG_INFO(plt, PELLAX_OK, "Public key has revoked.");
        return PELLAX_OK;
    }
    *verdict = 1;
    if (fingerprint != nullptr) {
        *fingerprint = key->fingerprint;
    }
    return PELLAX_OK;
}
