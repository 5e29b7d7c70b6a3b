#include "openssl_callback.h"

#include <stdlib.h>
#include <string.h>

#include <openssl/crypto.h>
#include <openssl/pem.h>

#include "pellax_crypto.h"

#ifndef _WIN32
#include "memcpy_s.h"
#endif

namespace {

struct OpensslMdCtx {
    EVP_MD_CTX *md;
};

struct OpensslVrfCtx {
    OpensslMdCtx *digest;
    EVP_PKEY *key;
    // Byte length of the key's modulus: a signature is checked at exactly this length.
    PX_UINT32 modulus_len;
};

// CryptoAPI PUBLICKEYBLOB header, the form b2i_PublicKey reads.
constexpr PX_BYTE kBlobType = 0x06;     // PUBLICKEYBLOB
constexpr PX_BYTE kBlobVersion = 0x02;  // CUR_BLOB_VERSION
constexpr PX_UINT32 kRsaKeyExchange = 0xA400;
constexpr PX_BYTE kRsaMagic[4] = {'R', 'S', 'A', '1'};
// The blob's exponent field.
constexpr PX_UINT32 kExponentWidth = 4;

struct DigestEntry {
    int algorithm;
    const EVP_MD *(*md)(void);
};

constexpr DigestEntry kDigests[] = {
    {PELLAX_HASH_MD5, EVP_md5},       {PELLAX_HASH_SHA1, EVP_sha1},
    {PELLAX_HASH_SHA256, EVP_sha256}, {PELLAX_HASH_SHA384, EVP_sha384},
    {PELLAX_HASH_SHA512, EVP_sha512}, {PELLAX_HASH_SHA224, EVP_sha224},
};

const EVP_MD *digest_for(int algorithm) {
    for (const DigestEntry &d : kDigests) {
        if (d.algorithm == algorithm) {
            return d.md();
        }
    }
    return nullptr;
}

PX_UINT32 bigint_octets(const PELLAX_BIGINT *x) {
    return x->len < PELLAX_BIGINT_MAX_BYTES ? x->len : PELLAX_BIGINT_MAX_BYTES;
}

void release_key(OpensslVrfCtx *vrf) {
    EVP_PKEY_free(vrf->key);
    vrf->key = nullptr;
    vrf->modulus_len = 0;
}

}  // namespace

int openssl_library_init(void) {
    return OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS,
                               nullptr);
}

void openssl_library_cleanup(void) {}

PELLAX_ERROR_CODE openssl_md_ctx_create(void **ctx) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    OpensslMdCtx *md_ctx = static_cast<OpensslMdCtx *>(malloc(sizeof(OpensslMdCtx)));
    if (md_ctx == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    md_ctx->md = EVP_MD_CTX_new();
    if (md_ctx->md == nullptr) {
        free(md_ctx);
        return PELLAX_ERR_ALLOC;
    }
    *ctx = md_ctx;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE openssl_md_init(void *ctx, int algorithm) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    OpensslMdCtx *md_ctx = static_cast<OpensslMdCtx *>(ctx);
    if (EVP_MD_CTX_reset(md_ctx->md) != 1) {
        return OPENSSL_CB_ERR_DIGEST_TYPE;
    }
    const EVP_MD *md = digest_for(algorithm);
    if (md == nullptr) {
        return OPENSSL_CB_ERR_DIGEST_TYPE;
    }
    if (EVP_DigestInit_ex(md_ctx->md, md, nullptr) != 1) {
        return OPENSSL_CB_ERR_DIGEST_INIT;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE openssl_md_update(void *ctx, const PX_BYTE *data, PX_UINT32 length) {
    if (ctx == nullptr || data == nullptr || length == 0) {
        return PELLAX_ERR_PARAM;
    }
    if (EVP_DigestUpdate(static_cast<OpensslMdCtx *>(ctx)->md, data, length) == 0) {
        return OPENSSL_CB_ERR_DIGEST_UPDATE;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE openssl_md_final(void *ctx, PX_BYTE *output, PX_UINT32 *length) {
    if (ctx == nullptr || output == nullptr || length == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    PX_BYTE digest[OPENSSL_CB_DIGEST_MAX];
    unsigned int digest_len = 0;
    if (EVP_DigestFinal(static_cast<OpensslMdCtx *>(ctx)->md, digest, &digest_len) != 1) {
        return OPENSSL_CB_ERR_DIGEST_FINAL;
    }
    if (*length < digest_len) {
        return OPENSSL_CB_ERR_OUTPUT_SHORT;
    }
    if (memcpy_s(output, *length, digest, digest_len) != 0) {
        return OPENSSL_CB_ERR_OUTPUT_SHORT;
    }
    *length = digest_len;
    return PELLAX_OK;
}

void openssl_md_ctx_destory(void *ctx) {
    if (ctx == nullptr) {
        return;
    }
    OpensslMdCtx *md_ctx = static_cast<OpensslMdCtx *>(ctx);
    EVP_MD_CTX_free(md_ctx->md);
    free(md_ctx);
}

PELLAX_ERROR_CODE openssl_vrf_ctx_create(void **ctx) {
    if (ctx == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    OpensslVrfCtx *vrf = static_cast<OpensslVrfCtx *>(malloc(sizeof(OpensslVrfCtx)));
    if (vrf == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    vrf->key = nullptr;
    vrf->modulus_len = 0;
    void *digest = nullptr;
    const PELLAX_ERROR_CODE rc = openssl_md_ctx_create(&digest);
    if (rc != PELLAX_OK) {
        free(vrf);
        return rc;
    }
    vrf->digest = static_cast<OpensslMdCtx *>(digest);
    *ctx = vrf;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE openssl_vrf_init(void *ctx, const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                   int algorithm) {
    if (ctx == nullptr || e == nullptr || n == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    OpensslVrfCtx *vrf = static_cast<OpensslVrfCtx *>(ctx);
    // A context may be started again with another key: the old one goes first, so no failure
    // below can leave it behind to check the next signature.
    release_key(vrf);
    EVP_PKEY *key = nullptr;
    PELLAX_ERROR_CODE rc = create_openssl_pkey(e, n, &key);
    if (rc != PELLAX_OK) {
        return rc;
    }
    vrf->key = key;
    vrf->modulus_len = (test_get_bigint_nbits(n) + 7) / 8;
    rc = openssl_md_init(vrf->digest, algorithm);
    if (rc != PELLAX_OK) {
        release_key(vrf);
    }
    return rc;
}

PELLAX_ERROR_CODE openssl_vrf_update(void *ctx, const PX_BYTE *data, PX_UINT32 length) {
    if (ctx == nullptr || data == nullptr || length == 0) {
        return PELLAX_ERR_PARAM;
    }
    return openssl_md_update(static_cast<OpensslVrfCtx *>(ctx)->digest, data, length);
}

PELLAX_ERROR_CODE openssl_vrf_final(void *ctx, const PX_BYTE *signature, PX_UINT32 length,
                                    int *verdict) {
    OpensslVrfCtx *vrf = static_cast<OpensslVrfCtx *>(ctx);
    if (vrf == nullptr || vrf->digest == nullptr || vrf->key == nullptr || signature == nullptr ||
        length == 0 || verdict == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    // PKCS#1 checks a signature of exactly the modulus length. OpenPGP carries it as an integer
    // without leading zero bytes, so a short one gets them back; a longer one cannot be valid.
    const PX_UINT32 full_len = vrf->modulus_len;
    if (length > full_len) {
        *verdict = 0;
        return PELLAX_OK;
    }
    int result = 0;
    if (length == full_len) {
        result = EVP_VerifyFinal(vrf->digest->md, signature, length, vrf->key);
    } else {
        PX_BYTE *padded = static_cast<PX_BYTE *>(malloc(full_len));
        if (padded == nullptr) {
            return PELLAX_ERR_ALLOC;
        }
        const PX_UINT32 zeros = full_len - length;
        memset(padded, 0, zeros);
        if (memcpy_s(padded + zeros, length, signature, length) == 0) {
            result = EVP_VerifyFinal(vrf->digest->md, padded, full_len, vrf->key);
        }
        free(padded);
    }
    *verdict = result == 1 ? 1 : 0;
    return PELLAX_OK;
}

void openssl_vrf_ctx_destory(void *ctx) {
    if (ctx == nullptr) {
        return;
    }
    OpensslVrfCtx *vrf = static_cast<OpensslVrfCtx *>(ctx);
    openssl_md_ctx_destory(vrf->digest);
    release_key(vrf);
    free(vrf);
}

void openssl_fill_callbacks(PELLAX_CALLBACK_FUNCS *funcs) {
    funcs->crypto_vrf_ctx_create = openssl_vrf_ctx_create;
    funcs->crypto_vrf_init = openssl_vrf_init;
    funcs->crypto_vrf_update = openssl_vrf_update;
    funcs->crypto_vrf_final = openssl_vrf_final;
    funcs->crypto_vrf_ctx_destory = openssl_vrf_ctx_destory;
    funcs->crypto_md_ctx_create = openssl_md_ctx_create;
    funcs->crypto_md_init = openssl_md_init;
    funcs->crypto_md_update = openssl_md_update;
    funcs->crypto_md_final = openssl_md_final;
    funcs->crypto_md_ctx_destory = openssl_md_ctx_destory;
}

PX_UINT32 test_get_bigint_nbits(const PELLAX_BIGINT *n) {
    const PX_UINT32 len = bigint_octets(n);
    PX_UINT32 zero_bits = 0;
    for (PX_UINT32 i = 0; i < len; ++i) {
        const PX_BYTE b = n->data[i];
        if (b == 0) {
            zero_bits += 8;
            continue;
        }
        for (PX_BYTE mask = 0x80; (b & mask) == 0; mask >>= 1) {
            ++zero_bits;
        }
        return 8 * len - zero_bits;
    }
    return 0;
}

void write_ulong(PX_BYTE **cursor, PX_UINT32 value) {
    PX_BYTE *p = *cursor;
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<PX_BYTE>(value >> (8 * i));
    }
    *cursor = p + 4;
}

void write_bigint(PX_BYTE **cursor, const PELLAX_BIGINT *x, PX_UINT32 width) {
    PX_BYTE *p = *cursor;
    const PX_UINT32 len = bigint_octets(x);
    const PX_UINT32 taken = len < width ? len : width;
    for (PX_UINT32 i = 0; i < taken; ++i) {
        p[i] = x->data[len - 1 - i];
    }
    memset(p + taken, 0, width - taken);
    *cursor = p + width;
}

PELLAX_ERROR_CODE create_openssl_pkey(const PELLAX_BIGINT *e, const PELLAX_BIGINT *n,
                                      EVP_PKEY **pkey) {
    if (e->len > PELLAX_BIGINT_MAX_BYTES || n->len > PELLAX_BIGINT_MAX_BYTES ||
        test_get_bigint_nbits(e) > 8 * kExponentWidth) {
        return OPENSSL_CB_ERR_PUBLIC_KEY;
    }
    const PX_UINT32 bits = test_get_bigint_nbits(n);
    if (bits == 0) {
        return OPENSSL_CB_ERR_PUBLIC_KEY;  // OpenSSL would take it, but nothing verifies under it
    }
    const PX_UINT32 modulus_len = (bits + 7) / 8;
    const PX_UINT32 blob_len = OPENSSL_CB_BLOB_HEADER_SIZE + modulus_len;
    PX_BYTE *blob = static_cast<PX_BYTE *>(malloc(blob_len));
    if (blob == nullptr) {
        return PELLAX_ERR_ALLOC;
    }
    PX_BYTE *cursor = blob;
    *cursor++ = kBlobType;
    *cursor++ = kBlobVersion;
    *cursor++ = 0;  // reserved
    *cursor++ = 0;
    write_ulong(&cursor, kRsaKeyExchange);
    for (PX_BYTE m : kRsaMagic) {
        *cursor++ = m;
    }
    write_ulong(&cursor, bits);
    write_bigint(&cursor, e, kExponentWidth);
    write_bigint(&cursor, n, modulus_len);

    const unsigned char *in = blob;
    EVP_PKEY *key = b2i_PublicKey(&in, static_cast<long>(blob_len));
    free(blob);
    if (key == nullptr) {
        return OPENSSL_CB_ERR_PUBLIC_KEY;
    }
    *pkey = key;
    return PELLAX_OK;
}
