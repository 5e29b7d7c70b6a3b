/* The crypto provider: message digests and RSA PKCS#1 v1.5 verification over OpenSSL's libcrypto,
 * in the shape of the library's crypto callbacks (pellax_sys.h). Contexts come from the C
 * library's malloc and free: they belong to the host, the library only passes them back.
 * The provider logs and prints nothing; its own codes are 301..306 (texts in NotarixError). */
#ifndef NOTARIX_OPENSSL_CALLBACK_H
#define NOTARIX_OPENSSL_CALLBACK_H

#include <openssl/evp.h>

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

enum {
    OPENSSL_CB_ERR_DIGEST_TYPE = 301,   /* unsupported algorithm, or the reset failed */
    OPENSSL_CB_ERR_DIGEST_INIT = 302,   /* EVP_DigestInit_ex failed */
    OPENSSL_CB_ERR_DIGEST_UPDATE = 303, /* EVP_DigestUpdate failed */
    OPENSSL_CB_ERR_DIGEST_FINAL = 304,  /* EVP_DigestFinal failed */
    OPENSSL_CB_ERR_OUTPUT_SHORT = 305,  /* output capacity below the digest size */
    OPENSSL_CB_ERR_PUBLIC_KEY = 306     /* the key cannot be built from e and n */
};

/* Public-key blob: 20 header bytes, then the modulus. */
#define OPENSSL_CB_BLOB_HEADER_SIZE 20u
/* Room for the largest digest EVP_DigestFinal writes (SHA-512). */
#define OPENSSL_CB_DIGEST_MAX 64u

/* OPENSSL_init_crypto with all ciphers and digests; its result (1 for success). */
int openssl_library_init(void);
/* Nothing to release: OpenSSL cleans up at process exit. */
void openssl_library_cleanup(void);

/* 201: null ctx; 1: out of memory (nothing left allocated). */
PELLAX_ERROR_CODE openssl_md_ctx_create(void **ctx);
/* (Re)starts ctx for an OpenPGP hash number: 1 MD5, 2 SHA-1, 8 SHA-256, 9 SHA-384, 10 SHA-512,
 * 11 SHA-224. 201: null ctx; 301: reset failed or other number; 302: digest start failed. */
PELLAX_ERROR_CODE openssl_md_init(void *ctx, int algorithm);
/* 201: null ctx or data, or length 0; 303: update failed (e.g. ctx not started). */
PELLAX_ERROR_CODE openssl_md_update(void *ctx, const PX_BYTE *data, PX_UINT32 length);
/* length: capacity of output in, digest size out. 201: a null pointer; 304: final failed (e.g.
 * ctx not started); 305: capacity too small (output and length untouched). The context must be
 * started again afterwards, whatever the result. */
PELLAX_ERROR_CODE openssl_md_final(void *ctx, PX_BYTE *output, PX_UINT32 *length);
/* Accepts null. */
void openssl_md_ctx_destory(void *ctx);

/* 201: null ctx; 1: out of memory (nothing left allocated). The new context has no key. */
PELLAX_ERROR_CODE openssl_vrf_ctx_create(void **ctx);
/* Builds the RSA key from e and n (replacing any key held) and starts the digest. 201: a null
 * pointer; 1: out of memory; 306: key refused; 301/302: as openssl_md_init. After a failure the
 * context holds no key. */
PELLAX_ERROR_CODE openssl_vrf_init(void *ctx, const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                   int algorithm);
/* 201: null ctx or data, or length 0; otherwise as openssl_md_update. */
PELLAX_ERROR_CODE openssl_vrf_update(void *ctx, const PX_BYTE *data, PX_UINT32 length);
/* Finishes the digest and checks the signature integer (big-endian, leading zero bytes may be
 * missing). Returns 0 with *verdict 1 for a good signature, 0 for a bad one or one longer than
 * the modulus. 201: null ctx, signature or verdict, no key, or length 0; 1: out of memory.
 * The verdict is untouched unless 0 is returned. */
PELLAX_ERROR_CODE openssl_vrf_final(void *ctx, const PX_BYTE *signature, PX_UINT32 length,
                                    int *verdict);
/* Accepts null; releases the digest context and the key too. */
void openssl_vrf_ctx_destory(void *ctx);

/* Puts the ten callbacks above into the crypto slots of funcs; its other fields stay as they are.
 * For hosts that fill a callback table directly rather than through the registration calls. */
void openssl_fill_callbacks(PELLAX_CALLBACK_FUNCS *funcs);

/* Internal steps of building a key; callers pass non-null arguments. */

/* The bit count of a multiprecision integer: 8 * len minus the leading zero bits; 0 when every
 * byte is zero. A len above PELLAX_BIGINT_MAX_BYTES is read as that maximum. */
PX_UINT32 test_get_bigint_nbits(const PELLAX_BIGINT *n);
/* Writes value as four bytes, least significant first; advances *cursor by 4. */
void write_ulong(PX_BYTE **cursor, PX_UINT32 value);
/* Writes the width least significant bytes of x, least significant first, zero-padded when x is
 * shorter; advances *cursor by width. */
void write_bigint(PX_BYTE **cursor, const PELLAX_BIGINT *x, PX_UINT32 width);
/* Builds an RSA public key through a public-key blob. 1: out of memory; 306: an integer is longer
 * than a bigint can be, the modulus is zero, the exponent has more than 4 significant bytes (the
 * blob cannot carry them, and dropping them would verify against another key), or OpenSSL refused
 * the blob. */
PELLAX_ERROR_CODE create_openssl_pkey(const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                      EVP_PKEY **pkey);

PELLAX_EXTERN_C_END

#endif
