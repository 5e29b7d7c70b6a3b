// Key ids, fingerprints and the serialization of key material; and the gpg-made fixtures,
// parsed and identified with the OpenSSL provider, against what gpg printed for them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "openssl_callback.h"
#include "packet_util.h"
#include "pellax_crypto.h"

namespace {

/* ---- a digest provider that records what it is fed --------------------------------------- */

struct Recorder {
    Bytes fed;
    std::vector<PX_UINT32> lengths;  // of every update call
    int creates = 0, destroys = 0, algorithm = 0, updates = 0;
    PX_UINT32 digest_length = 20;  // reported by final
    PELLAX_ERROR_CODE fail_create = 0, fail_init = 0, fail_final = 0;
    int fail_update_at = 0;  // 1-based update call that fails with 303
};
Recorder g_rec;

PELLAX_ERROR_CODE rec_create(void **ctx) {
    ++g_rec.creates;
    if (g_rec.fail_create != 0) {
        return g_rec.fail_create;
    }
    *ctx = &g_rec;
    return 0;
}
PELLAX_ERROR_CODE rec_init(void *, int algorithm) {
    g_rec.algorithm = algorithm;
    return g_rec.fail_init;
}
PELLAX_ERROR_CODE rec_update(void *, const PX_BYTE *data, PX_UINT32 length) {
    if (++g_rec.updates == g_rec.fail_update_at) {
        return 303;
    }
    g_rec.fed.insert(g_rec.fed.end(), data, data + length);
    g_rec.lengths.push_back(length);
    return 0;
}
// Octet i of the digest is i; the reported length may exceed what was written.
PELLAX_ERROR_CODE rec_final(void *, PX_BYTE *out, PX_UINT32 *length) {
    if (g_rec.fail_final != 0) {
        return g_rec.fail_final;
    }
    for (PX_UINT32 i = 0; i < *length; ++i) {
        out[i] = static_cast<PX_BYTE>(i);
    }
    *length = g_rec.digest_length;
    return 0;
}
void rec_destroy(void *) {
    ++g_rec.destroys;
}
PELLAX_ERROR_CODE rec_vrf_init(void *, const PELLAX_BIGINT *, const PELLAX_BIGINT *, int) {
    return 0;
}
PELLAX_ERROR_CODE rec_vrf_final(void *, const PX_BYTE *, PX_UINT32, int *) {
    return 0;
}

PELLAX_CALLBACK_FUNCS recording_funcs(const TestHost &host) {
    g_rec = Recorder{};
    PELLAX_CALLBACK_FUNCS f{};
    f.size = sizeof f;
    f.plt = host.plt;
    f.crypto_md_ctx_create = rec_create;
    f.crypto_md_init = rec_init;
    f.crypto_md_update = rec_update;
    f.crypto_md_final = rec_final;
    f.crypto_md_ctx_destory = rec_destroy;
    f.crypto_vrf_ctx_create = rec_create;
    f.crypto_vrf_init = rec_vrf_init;
    f.crypto_vrf_update = rec_update;
    f.crypto_vrf_final = rec_vrf_final;
    f.crypto_vrf_ctx_destory = rec_destroy;
    return f;
}

PELLAX_BIGINT bigint(const Bytes &octets) {
    PELLAX_BIGINT b{};
    b.len = static_cast<PX_UINT32>(octets.size());
    std::memcpy(b.data, octets.data(), octets.size());
    return b;
}

constexpr PX_UINT32 kTime = 0x5A0B0C0D;

PELLAX_PUBLIC_KEY rsa_key(const Bytes &modulus, uint8_t version = 4) {
    PELLAX_PUBLIC_KEY pk{};
    pk.version = version;
    pk.algorithm = 1;
    pk.timestamp = kTime;
    pk.key_material[0] = bigint(modulus);
    pk.key_material[1] = bigint({1, 0, 1});
    return pk;
}

Bytes modulus(uint8_t first, size_t octets = 256) {
    Bytes m(octets, 0x33);
    m[0] = first;
    return m;
}

/* ---- serialization ----------------------------------------------------------------------- */

TEST(KeySerialization, CanonicalOctets) {
    const struct {
        const char *name;
        PELLAX_PUBLIC_KEY key;
        Bytes head;  // the octets before the modulus
        size_t modulus_octets;
    } cases[] = {
        {"2048 bits",
         rsa_key(modulus(0x80)),
         {0x99, 0x01, 0x0D, 0x04, 0x5A, 0x0B, 0x0C, 0x0D, 0x01, 0x08, 0x00},
         256},
        // The bit count comes from the stored octets, not from the packet.
        {"2047 bits",
         rsa_key(modulus(0x7F)),
         {0x99, 0x01, 0x0D, 0x04, 0x5A, 0x0B, 0x0C, 0x0D, 0x01, 0x07, 0xFF},
         256},
        // A stored leading zero octet stays, and the bit count ignores it.
        {"leading zero octet",
         rsa_key({0x00, 0x80}),
         {0x99, 0x00, 0x0F, 0x04, 0x5A, 0x0B, 0x0C, 0x0D, 0x01, 0x00, 0x08},
         2},
    };
    for (const auto &c : cases) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
        ASSERT_EQ(hash_public_key(&funcs, &g_rec, &c.key), 0u) << c.name;
        const Bytes m(c.key.key_material[0].data, c.key.key_material[0].data + c.modulus_octets);
        EXPECT_EQ(g_rec.fed, cat({c.head, m, {0x00, 0x11, 0x01, 0x00, 0x01}})) << c.name;
        // Nine single octets, then one update per MPI.
        std::vector<PX_UINT32> calls(9, 1);
        calls.push_back(static_cast<PX_UINT32>(c.modulus_octets + 2));
        calls.push_back(5);
        EXPECT_EQ(g_rec.lengths, calls) << c.name;
        EXPECT_EQ(host.live_blocks, 0) << c.name;
    }
}

TEST(KeySerialization, EverySlotInOrderAndVerifyContextsGetTheSame) {
    TestHost host;
    PELLAX_PUBLIC_KEY pk = rsa_key({0x05});
    pk.key_material[3] = bigint({0x01, 0xFF});
    PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
    ASSERT_EQ(hash_public_key(&funcs, &g_rec, &pk), 0u);
    const Bytes expected = {0x99, 0, 6 + 3 + 5 + 4, 4, 0x5A, 0x0B, 0x0C, 0x0D, 1, 0,   3,
                            5,    0, 0x11,          1, 0,    1,    0,    9,    1, 0xFF};
    EXPECT_EQ(g_rec.fed, expected);
    funcs = recording_funcs(host);
    ASSERT_EQ(update_by_public_key(&funcs, &g_rec, &pk), 0u);
    EXPECT_EQ(g_rec.fed, expected);
}

TEST(KeySerialization, Versions) {
    const struct {
        uint8_t version;
        PELLAX_ERROR_CODE hash, update, keyid;
    } cases[] = {{3, 109, 109, 109}, {2, 109, 109, 109}, {4, 0, 0, 0}, {5, 109, 0, 109}};
    for (const auto &c : cases) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
        PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80), c.version);
        EXPECT_EQ(hash_public_key(&funcs, &g_rec, &pk), c.hash) << int(c.version);
        EXPECT_EQ(update_by_public_key(&funcs, &g_rec, &pk), c.update) << int(c.version);
        EXPECT_EQ(keyid_from_pk(&funcs, &pk, nullptr), c.keyid) << int(c.version);
    }
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
    PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80), 3);
    keyid_from_pk(&funcs, &pk, nullptr);
    EXPECT_TRUE(host.logged(109, "Public key is not support, version: 3."));
    EXPECT_EQ(g_rec.creates, 0);
}

TEST(KeySerialization, SlotLongerThanItsRoomIsRefused) {
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
    PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80));
    pk.key_material[1].len = PELLAX_BIGINT_MAX_BYTES + 1;
    EXPECT_EQ(hash_public_key(&funcs, &g_rec, &pk), 5u);
    EXPECT_TRUE(g_rec.fed.empty());
    EXPECT_EQ(host.live_blocks, 0);
}

/* ---- key ids ----------------------------------------------------------------------------- */

TEST(KeyId, FromTheDigestAndCached) {
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
    PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80));
    PX_UINT32 keyid[2] = {0, 0};
    ASSERT_EQ(keyid_from_pk(&funcs, &pk, keyid), 0u);
    EXPECT_EQ(g_rec.algorithm, PELLAX_HASH_SHA1);
    EXPECT_EQ(keyid[0], 0x0C0D0E0Fu);
    EXPECT_EQ(keyid[1], 0x10111213u);
    EXPECT_EQ(pk.keyid[0], keyid[0]);
    EXPECT_EQ(pk.keyid[1], keyid[1]);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(pk.fingerprint[i], i);
    }
    const size_t fed = g_rec.fed.size();
    PX_UINT32 again[2] = {0, 0};
    ASSERT_EQ(keyid_from_pk(&funcs, &pk, again), 0u);
    EXPECT_EQ(again[0], keyid[0]);
    EXPECT_EQ(again[1], keyid[1]);
    EXPECT_EQ(g_rec.creates, 1);
    EXPECT_EQ(g_rec.destroys, 1);
    EXPECT_EQ(g_rec.fed.size(), fed);
}

TEST(KeyId, FailingDigestCallbacks) {
    const struct {
        const char *name;
        void (*arrange)();
        PELLAX_ERROR_CODE rc;
        const char *message;
    } cases[] = {
        {"create", [] { g_rec.fail_create = 301; }, 301, "pellax_crypto_md_ctx_create error."},
        {"init", [] { g_rec.fail_init = 302; }, 302, "pellax_crypto_md_init error."},
        {"put", [] { g_rec.fail_update_at = 4; }, 303, "pellax_crypto_md_put error."},
        {"update", [] { g_rec.fail_update_at = 10; }, 303, "pellax_crypto_md_update error."},
        {"final", [] { g_rec.fail_final = 304; }, 304, "pellax_crypto_md_final error."},
        {"digest of 32 octets", [] { g_rec.digest_length = 32; }, 15,
         "Generate public key's key id error, digest length is not equal to 0x00000014, length "
         "is 0x00000020, please check your message digest callback method."},
        {"digest of 16 octets", [] { g_rec.digest_length = 16; }, 15, nullptr},
    };
    for (const auto &c : cases) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
        c.arrange();
        PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80));
        PX_UINT32 keyid[2] = {7, 7};
        EXPECT_EQ(keyid_from_pk(&funcs, &pk, keyid), c.rc) << c.name;
        if (c.message != nullptr) {
            EXPECT_TRUE(host.logged(c.rc, c.message)) << c.name;
        }
        EXPECT_EQ(pk.keyid[0] | pk.keyid[1], 0u) << c.name;
        EXPECT_EQ(keyid[0], 7u) << c.name;
        EXPECT_EQ(pk.fingerprint[19], 0) << c.name;
        EXPECT_EQ(g_rec.destroys, c.rc == 301 ? 0 : 1) << c.name;
        EXPECT_EQ(host.live_blocks, 0) << c.name;
    }
}

TEST(KeyId, FailingAllocations) {
    bool completed = false;
    for (long n = 1; n < 50 && !completed; ++n) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
        host.fail_malloc_at = n;
        PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80));
        const PELLAX_ERROR_CODE rc = keyid_from_pk(&funcs, &pk, nullptr);
        if (!host.malloc_failed) {
            EXPECT_EQ(rc, 0u);
            completed = true;
        } else if (rc != 0) {
            EXPECT_EQ(rc, 1u) << n;
            EXPECT_EQ(pk.keyid[0] | pk.keyid[1], 0u) << n;
        }
        EXPECT_EQ(g_rec.creates, g_rec.destroys) << n;
        EXPECT_EQ(host.live_blocks, 0) << n;
    }
    EXPECT_TRUE(completed);
}

TEST(KeyId, Text) {
    const struct {
        PX_ULONG size;
        std::string text;
    } cases[] = {
        {18, "0C0D0E0F 10111213"}, {64, "0C0D0E0F 10111213"}, {17, "untouched"}, {1, "untouched"}};
    for (const auto &c : cases) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
        PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80));
        char text[64] = "untouched";
        EXPECT_EQ(keystr_from_pk(&funcs, &pk, text, c.size), 0u) << c.size;
        EXPECT_EQ(std::string(text), c.text) << c.size;
    }
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = recording_funcs(host);
    PELLAX_PUBLIC_KEY pk = rsa_key(modulus(0x80), 3);
    char text[32] = "untouched";
    EXPECT_EQ(keystr_from_pk(&funcs, &pk, text, sizeof text), 109u);
    EXPECT_TRUE(host.logged(109, "keyid_from_pk error."));
    EXPECT_STREQ(text, "untouched");
}

/* ---- gpg fixtures with the OpenSSL provider ---------------------------------------------- */

const std::string kData = NOTARIX_PACKET_DATA;

Bytes read_file(const std::string &name) {
    std::ifstream in(kData + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A key as gpg listed it: "<file> <pub|sub> <algo> <bits> <created> <fingerprint>".
struct GpgKey {
    std::string file, kind;
    int algo = 0, bits = 0;
    uint32_t created = 0;
    std::string fingerprint;
};

std::vector<GpgKey> gpg_keys(const std::string &file) {
    std::ifstream in(kData + "/expected.txt");
    std::vector<GpgKey> out;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        GpgKey k;
        fields >> k.file >> k.kind >> k.algo >> k.bits >> k.created >> k.fingerprint;
        if (k.file == file) {
            out.push_back(k);
        }
    }
    return out;
}

std::string hex(const PX_BYTE *octets, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[octets[i] >> 4];
        out += digits[octets[i] & 15];
    }
    return out;
}

PELLAX_CALLBACK_FUNCS openssl_funcs(const TestHost &host) {
    openssl_library_init();
    PELLAX_CALLBACK_FUNCS f{};
    f.size = sizeof f;
    f.plt = host.plt;
    f.crypto_md_ctx_create = openssl_md_ctx_create;
    f.crypto_md_init = openssl_md_init;
    f.crypto_md_update = openssl_md_update;
    f.crypto_md_final = openssl_md_final;
    f.crypto_md_ctx_destory = openssl_md_ctx_destory;
    return f;
}

PX_UINT32 usage_of(const TestHost &host, const PELLAX_SIGNATURE *sig) {
    PX_UINT32 usage = 0xEE;
    EXPECT_EQ(parse_key_usage(&host.plt, sig, &usage), 0u);
    return usage;
}

using Types = std::vector<uint32_t>;

TEST(GpgFixtures, RsaKeysMatchGpg) {
    const struct {
        const char *file;
        Types types;
    } cases[] = {
        {"rsa2048.pgp", {6, 13, 2}},
        {"rsa3072.pgp", {6, 13, 2, 14, 2}},
        {"rsa4096.pgp", {6, 13, 2}},
        {"photo.pgp", {6, 13, 2, 13, 2}},
    };
    for (const auto &c : cases) {
        TestHost host;
        const PELLAX_CALLBACK_FUNCS funcs = openssl_funcs(host);
        const std::vector<GpgKey> expected = gpg_keys(c.file);
        ParsedPackets parsed(host, read_file(c.file));
        ASSERT_EQ(parsed.rc, 0u) << c.file;
        ASSERT_EQ(parsed.types(), c.types) << c.file;
        size_t next = 0;
        PELLAX_PUBLIC_KEY *primary = nullptr;
        for (size_t i = 0; i < parsed.packets.size(); ++i) {
            const uint32_t type = parsed.packets[i].pkttype;
            if (type == PKT_PUBLIC_KEY || type == PKT_PUBLIC_SUBKEY) {
                ASSERT_LT(next, expected.size()) << c.file;
                const GpgKey &gpg = expected[next++];
                EXPECT_EQ(gpg.kind, type == PKT_PUBLIC_KEY ? "pub" : "sub");
                PELLAX_PUBLIC_KEY *pk = parsed.at<PELLAX_PUBLIC_KEY>(i);
                primary = type == PKT_PUBLIC_KEY ? pk : primary;
                EXPECT_EQ(pk->timestamp, gpg.created) << c.file;
                EXPECT_EQ(pk->key_material[0].len * 8, static_cast<PX_UINT32>(gpg.bits));
                PX_UINT32 keyid[2] = {0, 0};
                ASSERT_EQ(keyid_from_pk(&funcs, pk, keyid), 0u) << c.file;
                EXPECT_EQ(hex(pk->fingerprint, 20), gpg.fingerprint) << c.file;
                char text[18];
                ASSERT_EQ(keystr_from_pk(&funcs, pk, text, sizeof text), 0u);
                EXPECT_EQ(std::string(text),
                          gpg.fingerprint.substr(24, 8) + " " + gpg.fingerprint.substr(32, 8));
            } else if (type == PKT_SIGNATURE) {
                const PELLAX_SIGNATURE *sig = parsed.at<PELLAX_SIGNATURE>(i);
                EXPECT_EQ(sig->version, 4);
                EXPECT_EQ(sig->key_algorithm, 1);
                EXPECT_EQ(sig->keyid[0], primary->keyid[0]) << c.file;
                EXPECT_EQ(sig->keyid[1], primary->keyid[1]) << c.file;
                EXPECT_GE(sig->timestamp, primary->timestamp) << c.file;
                EXPECT_EQ(sig->expired, 0u) << c.file;
                const bool binding = parsed.packets[i - 1].pkttype == PKT_PUBLIC_SUBKEY;
                EXPECT_EQ(sig->signature_class, binding ? 0x18 : 0x13) << c.file;
                EXPECT_EQ(usage_of(host, sig), binding ? 0x02u : 0x05u) << c.file;
                PX_UINT32 expire = 1;
                EXPECT_EQ(parse_key_expire(&host.plt, sig, &expire), 0u);
                EXPECT_EQ(expire, 0u);
            }
        }
        EXPECT_EQ(next, expected.size()) << c.file;
    }
}

TEST(GpgFixtures, PhotoId) {
    TestHost host;
    ParsedPackets parsed(host, read_file("photo.pgp"));
    ASSERT_EQ(parsed.types(), (Types{6, 13, 2, 13, 2}));
    const PELLAX_USER_ID *uid = parsed.at<PELLAX_USER_ID>(1);
    EXPECT_STREQ(uid->name, "Notarix photo <photo@notarix.invalid>");
    const PELLAX_USER_ID *photo = parsed.at<PELLAX_USER_ID>(3);
    const Bytes jpeg = read_file("photo.jpg");
    EXPECT_EQ(std::string(photo->name), "[jpeg image of size " + std::to_string(jpeg.size()) + "]");
    ASSERT_EQ(photo->attribute_count, 1u);
    EXPECT_EQ(photo->attributes[0].type, 1);
    const PELLAX_ATTRIB_SUBPKT &image = photo->attributes[0];
    ASSERT_EQ(image.length, 16 + jpeg.size());
    EXPECT_EQ(std::memcmp(image.data + 16, jpeg.data(), jpeg.size()), 0);
}

TEST(GpgFixtures, DsaAndEddsaBlocksAreSkipped) {
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = openssl_funcs(host);
    for (const char *file : {"dsa.pgp", "eddsa.pgp"}) {
        ParsedPackets parsed(host, read_file(file));
        EXPECT_EQ(parsed.rc, 0u) << file;
        EXPECT_TRUE(parsed.packets.empty()) << file;
    }
    ParsedPackets parsed(host, cat({read_file("dsa.pgp"), read_file("rsa2048.pgp"),
                                    read_file("eddsa.pgp"), read_file("rsa3072.pgp")}));
    ASSERT_EQ(parsed.rc, 0u);
    ASSERT_EQ(parsed.types(), (Types{6, 13, 2, 6, 13, 2, 14, 2}));
    for (size_t i : {size_t{0}, size_t{3}}) {
        PELLAX_PUBLIC_KEY *pk = parsed.at<PELLAX_PUBLIC_KEY>(i);
        ASSERT_EQ(keyid_from_pk(&funcs, pk, nullptr), 0u);
        const char *file = i == 0 ? "rsa2048.pgp" : "rsa3072.pgp";
        EXPECT_EQ(hex(pk->fingerprint, 20), gpg_keys(file).at(0).fingerprint);
    }
}

TEST(GpgFixtures, DetachedSignature) {
    TestHost host;
    const PELLAX_CALLBACK_FUNCS funcs = openssl_funcs(host);
    ParsedPackets key(host, read_file("rsa2048.pgp"));
    ASSERT_EQ(key.rc, 0u);
    PX_UINT32 keyid[2] = {0, 0};
    ASSERT_EQ(keyid_from_pk(&funcs, key.at<PELLAX_PUBLIC_KEY>(0), keyid), 0u);

    ParsedPackets parsed(host, read_file("data.txt.sig"));
    ASSERT_EQ(parsed.rc, 0u);
    ASSERT_EQ(parsed.types(), (Types{PKT_SIGNATURE}));
    const PELLAX_SIGNATURE *sig = parsed.at<PELLAX_SIGNATURE>(0);
    EXPECT_EQ(sig->signature_class, 0x00);
    EXPECT_EQ(sig->hash_algorithm, PELLAX_HASH_SHA256);
    EXPECT_EQ(sig->keyid[0], keyid[0]);
    EXPECT_EQ(sig->keyid[1], keyid[1]);
    EXPECT_GE(sig->signature_value[0].len, 250u);
    EXPECT_LE(sig->signature_value[0].len, 256u);
    ASSERT_NE(sig->hashed_area, nullptr);
    EXPECT_NE(sig->timestamp, 0u);
}

}  // namespace
