/* Key files and signature files as packet lists. proc_packets reads a stream packet by packet,
 * applies trust packets to the signature before them and judges every key block once it is
 * complete: a key stays only with a verified self-signature, unrevoked, allowed to sign and not
 * expired. The checks of the signatures a key makes over its own key block live here too.
 * Every function logs its failures through pellax_log_func under the module name "mainproc". */
#ifndef PELLAX_MAINPROC_H
#define PELLAX_MAINPROC_H

#include "pellax_crypto.h"
#include "pellax_guard.h"
#include "pellax_iobuf.h"
#include "pellax_list.h"
#include "pellax_packet.h"

PELLAX_EXTERN_C_BEGIN

/* Signature classes (RFC 4880, 5.2.1) the key-ring rules tell apart. */
enum {
    SIG_CLASS_CERT_GENERIC = 0x10,
    SIG_CLASS_CERT_PERSONA = 0x11,
    SIG_CLASS_CERT_CASUAL = 0x12,
    SIG_CLASS_CERT_POSITIVE = 0x13,
    SIG_CLASS_SUBKEY_BINDING = 0x18,
    SIG_CLASS_DIRECT_KEY = 0x1F,
    SIG_CLASS_KEY_REVOCATION = 0x20,
    SIG_CLASS_SUBKEY_REVOCATION = 0x28,
    SIG_CLASS_CERT_REVOCATION = 0x30
};

/* Bits of a trust packet's cache flags: a result is cached, and it is good. */
enum { TRUST_CACHE_DONE = 0x01, TRUST_CACHE_GOOD = 0x02 };

/* Lives for one key file or one signature file. */
typedef struct PELLAX_MAINPROC_CTX {
    PELLAX_LIST *packets; /* PELLAX_PACKET envelopes, owned (free_packet_v) */
    PELLAX_IOBUF *stream; /* the stream proc_packets reads; not owned */
} PELLAX_MAINPROC_CTX;

/* A context with an empty packet list. 1: no memory (*ctx untouched), or the list's code with
 * *ctx null. */
PELLAX_ERROR_CODE mainproc_ctx_create(const PELLAX_PLT_FUNCS *plt, PELLAX_MAINPROC_CTX **ctx);

/* Releases the packet list with its packets, then the context; null does nothing. A caller
 * that keeps the list takes packets out and sets it to null first. */
void mainproc_ctx_free(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx);

/* Reads stream to its end into ctx->packets; keys come with key ids and fingerprints, and
 * unfit key blocks are removed as they complete. A parser, list, key id or key signature
 * failure ends the read with its code (120 for a self-signature older than its key or a key
 * created after now); what was collected stays in ctx for mainproc_ctx_free. */
PELLAX_ERROR_CODE proc_packets(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx,
                               PELLAX_IOBUF *stream);

/* Judges the last key block of ctx->packets (its last public key and everything after it):
 * fills the key's usage, expiry and state and removes the block when the key is unfit.
 * 0 when the block was judged (kept or removed) or there is none; a code when judging failed. */
PELLAX_ERROR_CODE do_with_last_pubkey(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_MAINPROC_CTX *ctx);

/* *exist = 1 when packets holds a public key packet, else 0. The list's code on failure. */
PELLAX_ERROR_CODE pellax_mainproc_is_publickey_exist(const PELLAX_PLT_FUNCS *plt,
                                                     PELLAX_LIST *packets, int *exist);

/* Appends the envelope; the list owns it on success. 1 on failure (the envelope stays the
 * caller's). */
PELLAX_ERROR_CODE add_packet_normally(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *list,
                                      PELLAX_PACKET *packet);

/* ---- key signature checks ---- */

/* Checks sig, standing under cursor in key_block (whose first packet is the primary key), and
 * caches the verdict in sig->verify_done and verify_ok. A cached result is not checked again:
 * only the time checks run. 0 when the check ran, whatever the verdict, and also when there is
 * nothing to check (a key revocation by another key, a subkey signature without a subkey).
 * 30: the key block does not start with a public key; 102: a certification without a user id
 * before it; 104: a direct-key signature without a value; 120/2: time checks; or a callback's
 * or list operation's code. */
PELLAX_ERROR_CODE check_key_signature(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_LIST *key_block,
                                      PELLAX_SIGNATURE *sig, const PELLAX_LIST_CURSOR *cursor);

/* Time checks, trailer and final check over what vrf_ctx has hashed so far. *verdict is 1 only
 * when the provider said 1; it is 0 on every other path. */
PELLAX_ERROR_CODE do_check(const PELLAX_CALLBACK_FUNCS *funcs, const PELLAX_PUBLIC_KEY *key,
                           const PELLAX_SIGNATURE *sig, void *vrf_ctx, int *verdict);

/* A key against a signature: 120 when the key is newer than the signature or than now, 2 when
 * the clock fails. Otherwise 0, with *expired and *revoked (either may be null) set to 1 when
 * the key has expired or is revoked, else 0. */
PELLAX_ERROR_CODE do_check_message(const PELLAX_PLT_FUNCS *plt, const PELLAX_PUBLIC_KEY *key,
                                   const PELLAX_SIGNATURE *sig, int *expired, int *revoked);

/* The version 4 trailer: version, class, algorithms, the counted hashed area, then version,
 * 0xFF and the hashed count as four octets. */
PELLAX_ERROR_CODE update_crypto_by_signature_extra_data(const PELLAX_CALLBACK_FUNCS *funcs,
                                                        void *vrf_ctx, const PELLAX_SIGNATURE *sig);

/* Starts vrf_ctx with the key's RSA material: of slots 0 and 1 the shorter is the exponent
 * (slot 0 when both have the same length), the other the modulus. */
PELLAX_ERROR_CODE init_verify_ctx_by_pubkey_material(const PELLAX_CALLBACK_FUNCS *funcs,
                                                     const PELLAX_PUBLIC_KEY *key, void *vrf_ctx,
                                                     int hash_algorithm);

/* verify_done = 1; verify_ok = 1 when verdict is not 0, else 0. */
void cache_sig_result(PELLAX_SIGNATURE *sig, int verdict);

/* Moves cursor backwards from its node (which is not examined) to the nearest packet of
 * pkttype and returns it; null at the start of the list or when a node cannot be read. */
PELLAX_PACKET *find_prev_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST_CURSOR *cursor,
                                PX_UINT32 pkttype);

PELLAX_EXTERN_C_END

#ifdef __cplusplus

/* Owners of lists and cursors: each releases through the host on scope exit. */
class PellaxCursorGuard {
  public:
    explicit PellaxCursorGuard(const PELLAX_PLT_FUNCS *plt) : plt_(plt) {}
    ~PellaxCursorGuard() {
        if (cursor_ != nullptr) {
            pellax_list_cursor_free(plt_, cursor_);
        }
    }
    PellaxCursorGuard(const PellaxCursorGuard &) = delete;
    PellaxCursorGuard &operator=(const PellaxCursorGuard &) = delete;
    PELLAX_LIST_CURSOR **out() { return &cursor_; }
    PELLAX_LIST_CURSOR *get() const { return cursor_; }

  private:
    const PELLAX_PLT_FUNCS *plt_;
    PELLAX_LIST_CURSOR *cursor_ = nullptr;
};

class PellaxListGuard {
  public:
    explicit PellaxListGuard(const PELLAX_PLT_FUNCS *plt) : plt_(plt) {}
    ~PellaxListGuard() {
        if (list_ != nullptr) {
            pellax_list_free(plt_, list_);
        }
    }
    PellaxListGuard(const PellaxListGuard &) = delete;
    PellaxListGuard &operator=(const PellaxListGuard &) = delete;
    PELLAX_LIST **out() { return &list_; }
    PELLAX_LIST *get() const { return list_; }
    PELLAX_LIST *release() {
        PELLAX_LIST *list = list_;
        list_ = nullptr;
        return list;
    }

  private:
    const PELLAX_PLT_FUNCS *plt_;
    PELLAX_LIST *list_ = nullptr;
};

#endif

#endif
