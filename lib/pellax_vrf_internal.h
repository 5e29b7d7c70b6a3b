/* Loading a key ring, verifying one detached signature, checking a digest file: the work behind
 * the entry points. Callers have checked the callback table. */
#ifndef PELLAX_VRF_INTERNAL_H
#define PELLAX_VRF_INTERNAL_H

#include "pellax_iobuf.h"
#include "pellax_list.h"

PELLAX_EXTERN_C_BEGIN

/* Reads a key file (binary or armored) into a key ring of packets. 0 with a null key ring when
 * the data held no usable public key. */
PELLAX_ERROR_CODE pellax_load_key(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *stream,
                                  PELLAX_LIST **keyring);

/* Releases the list and every packet in it; null does nothing. */
void pellax_free_keyring(const PELLAX_PLT_FUNCS *plt, PELLAX_LIST *keyring);

/* Verifies the signature file (binary or armored, exactly one signature packet, first) over
 * the source stream. verdict is 1 only for a good signature by an unexpired, unrevoked key of
 * the key ring; then *fingerprint (when given) points at that key's 20-octet fingerprint. */
PELLAX_ERROR_CODE pellax_vrf_verify_detach_signature_internal(
    const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *source_stream, PELLAX_IOBUF *signature_stream,
    PELLAX_LIST *keyring, const PX_BYTE **fingerprint, PX_UINT32 *verdict);

/* Hashes every file a digest file lists and compares. 0 with result DIGEST_RESULT_*; 119 when
 * no line could be counted (result untouched); or the code that ended the run. */
PELLAX_ERROR_CODE pellax_verify_digest_file_internal(const PELLAX_CALLBACK_FUNCS *funcs,
                                                     PELLAX_IOBUF *digest_stream,
                                                     const char *base_path, const char *separator,
                                                     int digest_type, int *result);

PELLAX_EXTERN_C_END

/* ---- Digest files: one digest text, one stream ---- */
PELLAX_EXTERN_C_BEGIN

/* 0 when text (length bytes, not terminated) is the hex form of a digest of digest_type (an
 * OpenPGP hash number: 1, 2, 8, 9, 10 or 11). 116: a character is not a hex digit; 204: the
 * type is none of those; 118: the length is not twice the type's digest length. */
PELLAX_ERROR_CODE check_is_digest_string(const PELLAX_PLT_FUNCS *plt, const char *text,
                                         PX_UINT32 length, int digest_type);

/* Hashes the stream to its end with digest_type and compares with the expected digest. 0 with
 * outcome 1 (equal) or 0 (different, or another length); otherwise the failing code, outcome 0.
 * The stream stays the caller's. */
PELLAX_ERROR_CODE verify_file_digest(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_IOBUF *stream,
                                     const PX_BYTE *digest, PX_UINT32 digest_length,
                                     int digest_type, int *outcome);

PELLAX_EXTERN_C_END

#endif
