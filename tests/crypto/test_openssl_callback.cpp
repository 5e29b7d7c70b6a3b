// The OpenSSL crypto provider: digests, the public-key blob and RSA verification.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <openssl/bn.h>
#include <openssl/core_names.h>

#include "openssl_callback.h"

namespace {

using Bytes = std::vector<PX_BYTE>;

Bytes from_hex(const std::string &hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<PX_BYTE>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string to_hex(const PX_BYTE *data, size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

Bytes from_text(const std::string &text) {
    return Bytes(text.begin(), text.end());
}

PELLAX_BIGINT bigint(const Bytes &bytes) {
    PELLAX_BIGINT x{};
    x.len = static_cast<PX_UINT32>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), x.data);
    return x;
}

// A modulus-like integer: the given first byte, then a fixed pattern, odd at the end.
Bytes pattern(PX_BYTE first, size_t len) {
    Bytes out(len);
    out[0] = first;
    for (size_t i = 1; i < len; ++i) {
        out[i] = static_cast<PX_BYTE>(i * 37 + 11);
    }
    out[len - 1] |= 1;
    return out;
}

struct MdCtx {
    void *ctx = nullptr;
    MdCtx() { EXPECT_EQ(openssl_md_ctx_create(&ctx), 0u); }
    ~MdCtx() { openssl_md_ctx_destory(ctx); }
    MdCtx(const MdCtx &) = delete;
    MdCtx &operator=(const MdCtx &) = delete;
};

struct VrfCtx {
    void *ctx = nullptr;
    VrfCtx() { EXPECT_EQ(openssl_vrf_ctx_create(&ctx), 0u); }
    ~VrfCtx() { openssl_vrf_ctx_destory(ctx); }
    VrfCtx(const VrfCtx &) = delete;
    VrfCtx &operator=(const VrfCtx &) = delete;
};

struct PkeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

class OpensslCallback : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(openssl_library_init(), 1); }
};

// ---- Digests ----

TEST_F(OpensslCallback, DigestsMatchKnownVectors) {
    const struct {
        int algorithm;
        const char *input;
        const char *digest;
    } cases[] = {
        {1, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {1, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {2, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {2, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {11, "", "d14a028c2a3a2bc9476102bb288234c415a2b01f828ea62ac5b3e42f"},
        {11, "abc", "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
        {8, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {8, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {9, "",
         "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2"
         "f14898b95b"},
        {9, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baec"
         "a134c825a7"},
        {10, "",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318"
         "d2877eec2f63b931bd47417a81a538327af927da3e"},
        {10, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c"
         "23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    };
    MdCtx md;  // one context for all: each init starts it afresh
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.algorithm << " \"" << c.input << "\"");
        ASSERT_EQ(openssl_md_init(md.ctx, c.algorithm), 0u);
        // Bytes arrive in pieces, as the library feeds framing bytes one at a time.
        for (const char *p = c.input; *p != '\0'; ++p) {
            ASSERT_EQ(openssl_md_update(md.ctx, reinterpret_cast<const PX_BYTE *>(p), 1), 0u);
        }
        PX_BYTE out[OPENSSL_CB_DIGEST_MAX + 8];
        PX_UINT32 len = sizeof out;
        ASSERT_EQ(openssl_md_final(md.ctx, out, &len), 0u);
        EXPECT_EQ(to_hex(out, len), c.digest);
    }
}

TEST_F(OpensslCallback, InitRestartsAHalfFedDigest) {
    MdCtx md;
    const Bytes junk = from_text("left over");
    const Bytes abc = from_text("abc");
    ASSERT_EQ(openssl_md_init(md.ctx, 1), 0u);
    ASSERT_EQ(openssl_md_update(md.ctx, junk.data(), static_cast<PX_UINT32>(junk.size())), 0u);
    ASSERT_EQ(openssl_md_init(md.ctx, 8), 0u);
    ASSERT_EQ(openssl_md_update(md.ctx, abc.data(), 3), 0u);
    PX_BYTE out[32];
    PX_UINT32 len = sizeof out;
    ASSERT_EQ(openssl_md_final(md.ctx, out, &len), 0u);
    EXPECT_EQ(to_hex(out, len), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_F(OpensslCallback, UnsupportedAlgorithmsAreRefused) {
    MdCtx md;
    for (int algorithm : {0, 3, 4, 5, 6, 7, 12, 100, -1, -8}) {
        EXPECT_EQ(openssl_md_init(md.ctx, algorithm), 301u) << algorithm;
    }
    // The refusal leaves the context usable.
    ASSERT_EQ(openssl_md_init(md.ctx, 2), 0u);
    PX_BYTE out[20];
    PX_UINT32 len = sizeof out;
    EXPECT_EQ(openssl_md_final(md.ctx, out, &len), 0u);
}

TEST_F(OpensslCallback, FinalNeedsRoomForTheWholeDigest) {
    MdCtx md;
    const Bytes abc = from_text("abc");
    PX_BYTE out[20];

    ASSERT_EQ(openssl_md_init(md.ctx, 2), 0u);
    ASSERT_EQ(openssl_md_update(md.ctx, abc.data(), 3), 0u);
    std::memset(out, 0xAA, sizeof out);
    PX_UINT32 len = 19;
    EXPECT_EQ(openssl_md_final(md.ctx, out, &len), 305u);
    EXPECT_EQ(len, 19u);
    EXPECT_EQ(to_hex(out, sizeof out), std::string(40, 'a'));

    ASSERT_EQ(openssl_md_init(md.ctx, 2), 0u);
    ASSERT_EQ(openssl_md_update(md.ctx, abc.data(), 3), 0u);
    len = 20;
    EXPECT_EQ(openssl_md_final(md.ctx, out, &len), 0u);
    EXPECT_EQ(len, 20u);
    EXPECT_EQ(to_hex(out, len), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_F(OpensslCallback, UnstartedDigestFailsCleanly) {
    MdCtx md;
    const PX_BYTE byte = 0x61;
    PX_BYTE out[64];
    PX_UINT32 len = sizeof out;
    EXPECT_EQ(openssl_md_update(md.ctx, &byte, 1), 303u);
    EXPECT_EQ(openssl_md_final(md.ctx, out, &len), 304u);
}

// ---- Missing arguments ----

TEST_F(OpensslCallback, MissingArgumentsGive201) {
    MdCtx md;
    VrfCtx keyless;
    VrfCtx keyed;
    const PELLAX_BIGINT e = bigint({0x01, 0x00, 0x01});
    const PELLAX_BIGINT n = bigint(pattern(0xC1, 128));
    ASSERT_EQ(openssl_vrf_init(keyed.ctx, &e, &n, 8), 0u);
    const PX_BYTE data[4] = {1, 2, 3, 4};
    PX_BYTE out[64];
    PX_UINT32 len = sizeof out;
    int verdict = 7;

    const struct {
        const char *name;
        std::function<PELLAX_ERROR_CODE()> call;
    } cases[] = {
        {"md create", [] { return openssl_md_ctx_create(nullptr); }},
        {"md init", [] { return openssl_md_init(nullptr, 2); }},
        {"md update ctx", [&] { return openssl_md_update(nullptr, data, 4); }},
        {"md update data", [&] { return openssl_md_update(md.ctx, nullptr, 4); }},
        {"md update length 0", [&] { return openssl_md_update(md.ctx, data, 0); }},
        {"md final ctx", [&] { return openssl_md_final(nullptr, out, &len); }},
        {"md final output", [&] { return openssl_md_final(md.ctx, nullptr, &len); }},
        {"md final length", [&] { return openssl_md_final(md.ctx, out, nullptr); }},
        {"vrf create", [] { return openssl_vrf_ctx_create(nullptr); }},
        {"vrf init ctx", [&] { return openssl_vrf_init(nullptr, &e, &n, 8); }},
        {"vrf init e", [&] { return openssl_vrf_init(keyless.ctx, nullptr, &n, 8); }},
        {"vrf init n", [&] { return openssl_vrf_init(keyless.ctx, &e, nullptr, 8); }},
        {"vrf update ctx", [&] { return openssl_vrf_update(nullptr, data, 4); }},
        {"vrf update data", [&] { return openssl_vrf_update(keyed.ctx, nullptr, 4); }},
        {"vrf update length 0", [&] { return openssl_vrf_update(keyed.ctx, data, 0); }},
        {"vrf final ctx", [&] { return openssl_vrf_final(nullptr, data, 4, &verdict); }},
        {"vrf final no key", [&] { return openssl_vrf_final(keyless.ctx, data, 4, &verdict); }},
        {"vrf final signature", [&] { return openssl_vrf_final(keyed.ctx, nullptr, 4, &verdict); }},
        {"vrf final length 0", [&] { return openssl_vrf_final(keyed.ctx, data, 0, &verdict); }},
        {"vrf final verdict", [&] { return openssl_vrf_final(keyed.ctx, data, 4, nullptr); }},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), 201u) << c.name;
    }
    EXPECT_EQ(verdict, 7);  // untouched by every refusal
    openssl_md_ctx_destory(nullptr);
    openssl_vrf_ctx_destory(nullptr);
}

// ---- The public-key blob ----

TEST_F(OpensslCallback, BitLengthCountsFromTheFirstSetBit) {
    const struct {
        Bytes bytes;
        PX_UINT32 bits;
    } cases[] = {
        {pattern(0x7F, 256), 2047},
        {pattern(0x80, 256), 2048},
        {pattern(0x01, 129), 1025},
        {{0x00, 0x00, 0x01}, 1},
        {{0x00, 0x40, 0x00}, 15},
        {{0x00, 0x00}, 0},
        {{}, 0},
    };
    for (const auto &c : cases) {
        const PELLAX_BIGINT x = bigint(c.bytes);
        EXPECT_EQ(test_get_bigint_nbits(&x), c.bits) << to_hex(c.bytes.data(), c.bytes.size());
    }
}

TEST_F(OpensslCallback, BlobFieldsAreLittleEndian) {
    const struct {
        Bytes value;
        PX_UINT32 width;
        const char *written;
    } cases[] = {
        {{0x01, 0x00, 0x01}, 4, "01000100"},  // 65537
        {{0x03}, 4, "03000000"},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 4, "05040302"},  // only the low bytes fit
        {{}, 2, "0000"},
        {{0xAB, 0xCD}, 0, ""},
    };
    for (const auto &c : cases) {
        PX_BYTE buf[8];
        std::memset(buf, 0xEE, sizeof buf);
        PX_BYTE *cursor = buf;
        const PELLAX_BIGINT x = bigint(c.value);
        write_bigint(&cursor, &x, c.width);
        EXPECT_EQ(cursor, buf + c.width);
        EXPECT_EQ(to_hex(buf, c.width), c.written);
        EXPECT_EQ(buf[c.width], 0xEE);  // nothing written past the field
    }

    PX_BYTE buf[5] = {0, 0, 0, 0, 0xEE};
    PX_BYTE *cursor = buf;
    write_ulong(&cursor, 2047);
    EXPECT_EQ(cursor, buf + 4);
    EXPECT_EQ(to_hex(buf, sizeof buf), "ff070000ee");
}

// The key OpenSSL reads back from the blob has exactly the integers it was built from.
TEST_F(OpensslCallback, KeyHoldsTheGivenIntegers) {
    Bytes padded_modulus = pattern(0x80, 256);
    padded_modulus.insert(padded_modulus.begin(), 0x00);
    const struct {
        const char *name;
        Bytes e;
        Bytes n;
        int bits;
        int size;
        const char *e_hex;  // as OpenSSL prints it
    } cases[] = {
        {"0x7F first", {0x01, 0x00, 0x01}, pattern(0x7F, 256), 2047, 256, "010001"},
        {"0x80 first", {0x01, 0x00, 0x01}, pattern(0x80, 256), 2048, 256, "010001"},
        {"129 bytes 0x01 first", {0x03}, pattern(0x01, 129), 1025, 129, "03"},
        {"leading zero byte", {0x11}, padded_modulus, 2048, 256, "11"},
        {"padded exponent",
         {0, 0, 0, 0, 0x01, 0x00, 0x01},
         pattern(0xC1, 128),
         1024,
         128,
         "010001"},
        {"largest blob exponent",
         {0xFF, 0xFF, 0xFF, 0xFF},
         pattern(0xC1, 512),
         4096,
         512,
         "FFFFFFFF"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const PELLAX_BIGINT e = bigint(c.e);
        const PELLAX_BIGINT n = bigint(c.n);
        EVP_PKEY *raw = nullptr;
        ASSERT_EQ(create_openssl_pkey(&e, &n, &raw), 0u);
        Pkey key(raw);
        EXPECT_EQ(EVP_PKEY_get_bits(key.get()), c.bits);
        EXPECT_EQ(EVP_PKEY_get_size(key.get()), c.size);

        BIGNUM *got_n = nullptr;
        BIGNUM *got_e = nullptr;
        ASSERT_EQ(EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &got_n), 1);
        ASSERT_EQ(EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &got_e), 1);
        Bytes n_bytes(static_cast<size_t>(c.size));
        BN_bn2binpad(got_n, n_bytes.data(), c.size);
        EXPECT_EQ(to_hex(n_bytes.data(), n_bytes.size()),
                  to_hex(c.n.data() + c.n.size() - n_bytes.size(), n_bytes.size()));
        char *e_text = BN_bn2hex(got_e);
        EXPECT_STREQ(e_text, c.e_hex);
        OPENSSL_free(e_text);
        BN_free(got_n);
        BN_free(got_e);
    }
}

TEST_F(OpensslCallback, KeysTheBlobCannotCarryAreRefused) {
    PELLAX_BIGINT too_long = bigint(pattern(0xC1, 16));
    too_long.len = PELLAX_BIGINT_MAX_BYTES + 1;
    const struct {
        const char *name;
        PELLAX_BIGINT e;
        PELLAX_BIGINT n;
    } cases[] = {
        // Dropping the high bytes would check signatures against another key.
        {"exponent of 33 bits", bigint({0x01, 0x00, 0x00, 0x00, 0x01}), bigint(pattern(0xC1, 128))},
        {"exponent record too long", too_long, bigint(pattern(0xC1, 128))},
        {"modulus record too long", bigint({0x01, 0x00, 0x01}), too_long},
        {"zero modulus", bigint({0x01, 0x00, 0x01}), bigint({0x00, 0x00})},
    };
    for (const auto &c : cases) {
        EVP_PKEY *key = nullptr;
        EXPECT_EQ(create_openssl_pkey(&c.e, &c.n, &key), 306u) << c.name;
        EXPECT_EQ(key, nullptr) << c.name;
        VrfCtx vrf;
        EXPECT_EQ(openssl_vrf_init(vrf.ctx, &c.e, &c.n, 8), 306u) << c.name;
    }
}

// ---- RSA verification against signatures made by the openssl command line ----

struct Fixtures {
    struct Key {
        PELLAX_BIGINT e;
        PELLAX_BIGINT n;
        size_t modulus_len;
    };
    struct Sig {
        std::string key;
        int algorithm;
        Bytes message;
        Bytes signature;
        std::string note;
    };
    std::map<std::string, Key> keys;
    std::vector<Sig> sigs;
};

Fixtures load_fixtures() {
    Fixtures f;
    std::ifstream in(NOTARIX_CRYPTO_DATA "/fixtures.txt");
    EXPECT_TRUE(in.good()) << "run tests/data/crypto/make-fixtures.sh";
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind, name;
        fields >> kind >> name;
        if (kind == "key") {
            int bits = 0;
            std::string e, n;
            fields >> bits >> e >> n;
            f.keys[name] = {bigint(from_hex(e)), bigint(from_hex(n)), (bits + 7u) / 8};
        } else if (kind == "sig") {
            Fixtures::Sig s;
            std::string message, signature;
            fields >> s.algorithm >> message >> signature >> s.note;
            s.key = name;
            s.message = from_hex(message);
            s.signature = from_hex(signature);
            f.sigs.push_back(s);
        }
    }
    return f;
}

// Feeds the message in two pieces and returns the verdict, or -1 when a step failed.
int verify(void *ctx, const Fixtures::Key &key, int algorithm, const Bytes &message,
           const Bytes &signature) {
    if (openssl_vrf_init(ctx, &key.e, &key.n, algorithm) != 0) {
        return -1;
    }
    const size_t half = message.size() / 2;
    if (openssl_vrf_update(ctx, message.data(), static_cast<PX_UINT32>(half)) != 0 ||
        openssl_vrf_update(ctx, message.data() + half,
                           static_cast<PX_UINT32>(message.size() - half)) != 0) {
        return -1;
    }
    int verdict = -1;
    if (openssl_vrf_final(ctx, signature.data(), static_cast<PX_UINT32>(signature.size()),
                          &verdict) != 0) {
        return -1;
    }
    return verdict;
}

TEST_F(OpensslCallback, RealSignaturesAndTheirForgeries) {
    const Fixtures f = load_fixtures();
    ASSERT_FALSE(f.sigs.empty());

    // What a variant may change: the input to verify, given the modulus length.
    struct Input {
        int algorithm;
        Bytes message;
        Bytes signature;
        size_t modulus_len;
    };
    const struct {
        const char *name;
        std::function<void(Input &)> change;
        int verdict;
    } variants[] = {
        {"as signed", [](Input &) {}, 1},
        {"zero-padded to the modulus length",
         [](Input &in) {
             in.signature.insert(in.signature.begin(), in.modulus_len - in.signature.size(), 0);
         },
         1},
        {"last signature bit flipped", [](Input &in) { in.signature.back() ^= 0x01; }, 0},
        {"first signature bit flipped", [](Input &in) { in.signature[0] ^= 0x80; }, 0},
        {"message bit flipped", [](Input &in) { in.message[in.message.size() / 2] ^= 0x04; }, 0},
        {"other hash", [](Input &in) { in.algorithm = in.algorithm == 8 ? 10 : 8; }, 0},
        {"last signature byte lost", [](Input &in) { in.signature.pop_back(); }, 0},
        // The same value, but longer than the modulus: never a valid signature integer.
        {"zero-padded past the modulus length",
         [](Input &in) {
             in.signature.insert(in.signature.begin(), in.modulus_len + 1 - in.signature.size(), 0);
         },
         0},
    };

    VrfCtx vrf;  // one context for everything: each init replaces the key
    for (const auto &sig : f.sigs) {
        const Fixtures::Key &key = f.keys.at(sig.key);
        if (sig.note == "leading-zero") {
            EXPECT_EQ(sig.signature.size(), key.modulus_len - 1);
        }
        for (const auto &v : variants) {
            SCOPED_TRACE(testing::Message()
                         << sig.key << " hash " << sig.algorithm << " " << sig.note << " ("
                         << sig.signature.size() << " bytes): " << v.name);
            Input in{sig.algorithm, sig.message, sig.signature, key.modulus_len};
            v.change(in);
            EXPECT_EQ(verify(vrf.ctx, key, in.algorithm, in.message, in.signature), v.verdict);
        }
    }
}

TEST_F(OpensslCallback, FailedInitLeavesNoKey) {
    const Fixtures f = load_fixtures();
    ASSERT_FALSE(f.sigs.empty());
    const Fixtures::Sig &sig = f.sigs.front();
    const Fixtures::Key &key = f.keys.at(sig.key);
    VrfCtx vrf;
    ASSERT_EQ(verify(vrf.ctx, key, sig.algorithm, sig.message, sig.signature), 1);

    // The earlier key must not stay behind to judge the next signature.
    EXPECT_EQ(openssl_vrf_init(vrf.ctx, &key.e, &key.n, 3), 301u);
    int verdict = 7;
    EXPECT_EQ(openssl_vrf_final(vrf.ctx, sig.signature.data(),
                                static_cast<PX_UINT32>(sig.signature.size()), &verdict),
              201u);
    EXPECT_EQ(verdict, 7);

    const PELLAX_BIGINT long_e = bigint({0x01, 0x00, 0x00, 0x00, 0x01});
    ASSERT_EQ(verify(vrf.ctx, key, sig.algorithm, sig.message, sig.signature), 1);
    EXPECT_EQ(openssl_vrf_init(vrf.ctx, &long_e, &key.n, sig.algorithm), 306u);
    EXPECT_EQ(openssl_vrf_final(vrf.ctx, sig.signature.data(),
                                static_cast<PX_UINT32>(sig.signature.size()), &verdict),
              201u);
}

}  // namespace
