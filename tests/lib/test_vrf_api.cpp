// The front door: entry points called in the wrong state, the context check, code folding, key
// ring replacement and argument checks.
#include <gtest/gtest.h>

#include "keyring_support.h"
#include "openssl_callback.h"
#include "pellax_vrf_inner.h"

namespace {

const std::string kKeys = fixture_path("rsa2048.pgp");
const std::string kData = fixture_path("data.bin");
const std::string kSig = fixture_path("data.rsa2048-sha256.sig");
const std::string kMissing = fixture_path("no-such-file");

PELLAX_VERIFY_FUNCS table() {
    PELLAX_VERIFY_FUNCS t{};
    EXPECT_EQ(pellax_initialize_verify_funcs(&t), 0u);
    return t;
}

TEST(VerifyApi, EntryPointsBeforeTheLibraryIsReady) {
    TestHost host;
    PELLAX_VERIFY_FUNCS t = table();
    const char *text = nullptr;
    EXPECT_EQ(t.get_error_string_from_error_code(1, &text), 214u);
    PELLAX_VRF_CTX *ctx = nullptr;
    EXPECT_EQ(t.vrf_ctx_create(&ctx), 206u);  // creation needs the services only
    PELLAX_VRF_CTX fake{};
    int result = -1;
    EXPECT_EQ(t.verify_initialize(&fake, kKeys.c_str()), 214u);
    EXPECT_EQ(
        t.verify_detach_signature(&fake, kData.c_str(), kSig.c_str(), &result, nullptr, nullptr),
        214u);
    EXPECT_EQ(t.vrf_ctx_free(&fake), 214u);
    EXPECT_EQ(t.verify_digest_file("d", "b", "/", 8, &result), 214u);
    EXPECT_EQ(result, -1);

    ASSERT_EQ(host.install(), 0u);
    t.set_log_callback(&TestHost::record_log);
    ASSERT_EQ(t.vrf_ctx_create(&ctx), 0u);
    // No crypto callbacks yet: every context operation refuses, and free keeps the context.
    EXPECT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 208u);
    EXPECT_TRUE(host.logged(207, "Message digest functions are not valid."));
    EXPECT_EQ(t.vrf_ctx_free(ctx), 208u);
    EXPECT_EQ(host.live_blocks, 1);
    ASSERT_EQ(t.set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                                openssl_md_final, openssl_md_ctx_destory),
              0u);
    EXPECT_EQ(t.vrf_ctx_free(ctx), 208u);
    EXPECT_TRUE(host.logged(208, "Signature verification functions are not valid."));
    // The digest-file check asks the five digest callbacks first, the inner level all ten.
    EXPECT_EQ(t.verify_digest_file("d", "b", "/", 8, &result), 209u);
    // Registered after the context was made, the callbacks reach it at its next call.
    ASSERT_EQ(t.set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                                 openssl_vrf_final, openssl_vrf_ctx_destory),
              0u);
    host.clock = kFixtureNow;
    EXPECT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 0u);
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(VerifyApi, VerifyingWithoutAKeyRing) {
    Library lib;
    PELLAX_VERIFY_FUNCS t = table();
    PELLAX_VRF_CTX *ctx = nullptr;
    ASSERT_EQ(t.vrf_ctx_create(&ctx), 0u);
    int result = -1;
    EXPECT_EQ(
        t.verify_detach_signature(ctx, kData.c_str(), kSig.c_str(), &result, nullptr, nullptr),
        10u);
    EXPECT_TRUE(lib.logged(10, "Pellax verify context havn't bean initialized successfully."));
    {
        ByteStream data(&lib.funcs.plt, fixture("data.bin"));
        ByteStream sig(&lib.funcs.plt, fixture("data.rsa2048-sha256.sig"));
        EXPECT_EQ(t.verify_detach_signature_by_stream(ctx, data.stream, sig.stream, &result,
                                                      nullptr, nullptr),
                  10u);
        EXPECT_TRUE(
            lib.logged(30, "Pellax verify context have not bean initialized successfully."));
    }
    // A key file without a usable key leaves the context without a key ring.
    EXPECT_EQ(t.verify_initialize(ctx, fixture_path("subsign.pgp").c_str()), 123u);
    EXPECT_TRUE(lib.logged(123, "No valid public key to use."));
    EXPECT_EQ(
        t.verify_detach_signature(ctx, kData.c_str(), kSig.c_str(), &result, nullptr, nullptr),
        10u);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(VerifyApi, ArgumentsAndFiles) {
    Library lib;
    PELLAX_VERIFY_FUNCS t = table();
    PELLAX_VRF_CTX *ctx = nullptr;
    ASSERT_EQ(t.vrf_ctx_create(&ctx), 0u);
    EXPECT_EQ(t.vrf_ctx_create(nullptr), 201u);
    EXPECT_EQ(t.verify_initialize(ctx, nullptr), 201u);
    EXPECT_EQ(t.verify_initialize_by_stream(ctx, nullptr), 201u);
    EXPECT_EQ(t.verify_initialize(ctx, kMissing.c_str()), 3u);
    EXPECT_TRUE(lib.logged(3, "Open public key ring file error."));
    ASSERT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 0u);
    EXPECT_TRUE(lib.logged(0, "Load key file: " + kKeys + "."));

    int result = -1;
    const PX_BYTE *fp = nullptr;
    PX_ULONG fp_len = 0;
    const struct {
        const char *name;
        const char *source;
        const char *sig;
        int *result;
        const PX_BYTE **fp;
        PX_ULONG *fp_len;
        PELLAX_ERROR_CODE code;
        const char *log;
    } cases[] = {
        {"no source", nullptr, kSig.c_str(), &result, &fp, &fp_len, 201, "Parameter error."},
        {"no signature", kData.c_str(), nullptr, &result, &fp, &fp_len, 201, "Parameter error."},
        {"no result", kData.c_str(), kSig.c_str(), nullptr, &fp, &fp_len, 201, "Parameter error."},
        // Refused before any file is opened: both paths are missing.
        {"fingerprint without length", kMissing.c_str(), kMissing.c_str(), &result, &fp, nullptr,
         201, "finger_print_len can't be null."},
        {"source missing", kMissing.c_str(), kSig.c_str(), &result, &fp, &fp_len, 3,
         "Open source file error."},
        {"signature missing", kData.c_str(), kMissing.c_str(), &result, &fp, &fp_len, 3,
         "Open signature file error."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        lib.host.logs.clear();
        EXPECT_EQ(t.verify_detach_signature(ctx, c.source, c.sig, c.result, c.fp, c.fp_len),
                  c.code);
        EXPECT_TRUE(lib.logged(c.code, c.log));
        EXPECT_EQ(result, -1);
        EXPECT_EQ(fp, nullptr);
    }

    // A good signature with neither fingerprint pointer: only the result is written.
    EXPECT_EQ(
        t.verify_detach_signature(ctx, kData.c_str(), kSig.c_str(), &result, nullptr, nullptr), 0u);
    EXPECT_EQ(result, 1);
    // A malformed signature file (a data-format code inside) is a plain "no".
    result = -1;
    EXPECT_EQ(t.verify_detach_signature(ctx, kData.c_str(), kData.c_str(), &result, &fp, &fp_len),
              0u);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(fp, nullptr);
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(VerifyApi, FingerprintWithoutLengthOpensNothing) {
    Library lib;
    PELLAX_VERIFY_FUNCS t = table();
    PELLAX_VRF_CTX *ctx = nullptr;
    ASSERT_EQ(t.vrf_ctx_create(&ctx), 0u);
    ASSERT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 0u);
    int result = -1;
    const PX_BYTE *fp = nullptr;
    lib.host.logs.clear();
    const long mallocs = lib.host.malloc_calls;
    EXPECT_EQ(t.verify_detach_signature(ctx, kData.c_str(), kSig.c_str(), &result, &fp, nullptr),
              201u);
    EXPECT_EQ(lib.host.logs.size(), 1u);
    EXPECT_EQ(lib.host.malloc_calls - mallocs, 1);  // the log line's buffer, no stream
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
}

// A later initialization replaces the key ring and releases the old one.
TEST(VerifyApi, ReinitializationReplacesTheKeyRing) {
    Library lib;
    PELLAX_VERIFY_FUNCS t = table();
    PELLAX_VRF_CTX *ctx = nullptr;
    ASSERT_EQ(t.vrf_ctx_create(&ctx), 0u);
    ASSERT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 0u);
    const long one_key = lib.host.live_blocks;
    ASSERT_EQ(t.verify_initialize(ctx, fixture_path("multi.pgp").c_str()), 0u);
    EXPECT_GT(lib.host.live_blocks, one_key);
    const std::string by3072 = fixture_path("data.rsa3072-sha256.sig");
    int result = -1;
    ASSERT_EQ(
        t.verify_detach_signature(ctx, kData.c_str(), by3072.c_str(), &result, nullptr, nullptr),
        0u);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(t.verify_initialize(ctx, kKeys.c_str()), 0u);
    EXPECT_EQ(lib.host.live_blocks, one_key);
    ASSERT_EQ(
        t.verify_detach_signature(ctx, kData.c_str(), by3072.c_str(), &result, nullptr, nullptr),
        0u);
    EXPECT_EQ(result, 0);
    // A failed load keeps the key ring; a load without usable keys empties it.
    EXPECT_EQ(t.verify_initialize(ctx, kMissing.c_str()), 3u);
    EXPECT_EQ(lib.host.live_blocks, one_key);
    EXPECT_EQ(t.verify_initialize(ctx, fixture_path("expired.pgp").c_str()), 123u);
    EXPECT_EQ(lib.host.live_blocks, 1);
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(VerifyApi, ContextCheck) {
    Library lib;
    PELLAX_VRF_CTX *good = nullptr;
    ASSERT_EQ(pellax_vrf_ctx_create(&good), 0u);
    const struct {
        const char *name;
        void (*damage)(PELLAX_VRF_CTX *);
        PELLAX_ERROR_CODE code;
    } cases[] = {
        {"whole", [](PELLAX_VRF_CTX *) {}, 0},
        {"context size", [](PELLAX_VRF_CTX *c) { c->size -= 1; }, 210},
        {"callback table size", [](PELLAX_VRF_CTX *c) { c->funcs.size = 0; }, 205},
        {"platform table size", [](PELLAX_VRF_CTX *c) { c->funcs.plt.size += 8; }, 215},
        {"services size", [](PELLAX_VRF_CTX *c) { c->funcs.plt.sys.size = 1; }, 205},
        {"a service missing", [](PELLAX_VRF_CTX *c) { c->funcs.plt.sys.strcmp = nullptr; }, 209},
        {"a crypto callback missing",
         [](PELLAX_VRF_CTX *c) { c->funcs.crypto_vrf_final = nullptr; }, 209},
        {"a digest callback missing", [](PELLAX_VRF_CTX *c) { c->funcs.crypto_md_init = nullptr; },
         209},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PELLAX_VRF_CTX copy = *good;
        c.damage(&copy);
        EXPECT_EQ(pellax_check_vrf_context(&copy), c.code);
        int result = -1;
        EXPECT_EQ(fips_pellax_verify_initialize(&copy, kKeys.c_str()), c.code == 0 ? 0u : c.code);
        EXPECT_EQ(fips_pellax_verify_detach_signature(&copy, kData.c_str(), kSig.c_str(), &result,
                                                      nullptr, nullptr),
                  c.code == 0 ? 0u : c.code);  // unfolded, as every context check
        EXPECT_EQ(fips_pellax_verify_context_clean(&copy), c.code);
        EXPECT_EQ(fips_pellax_set_log_callback(&copy, nullptr), c.code);
    }
    EXPECT_EQ(pellax_check_vrf_context(nullptr), 201u);
    EXPECT_EQ(pellax_vrf_ctx_free(good), 0u);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(VerifyApi, InnerTable) {
    Library lib;
    PELLAX_FIPS_VERIFY_FUNCS inner{};
    EXPECT_EQ(fips_pellax_initialize_verify_funcs(&lib.funcs, nullptr), 201u);
    EXPECT_EQ(fips_pellax_initialize_verify_funcs(nullptr, &inner), 201u);
    EXPECT_EQ(fips_pellax_initialize_verify_funcs(&lib.funcs, &inner), 205u);
    inner.size = sizeof inner;
    PELLAX_CALLBACK_FUNCS broken = lib.funcs;
    broken.plt.sys.fread = nullptr;
    EXPECT_EQ(fips_pellax_initialize_verify_funcs(&broken, &inner), 209u);
    EXPECT_EQ(inner.verify_initialize, nullptr);
    EXPECT_EQ(fips_pellax_initialize_verify_funcs(&lib.funcs, &inner), 0u);
    EXPECT_EQ(inner.verify_initialize, fips_pellax_verify_initialize);
    EXPECT_EQ(inner.get_err_msg, pellax_get_err_msg);
    EXPECT_STREQ(inner.version(), "3.1.0.17");
}

// The log callback set on a context lasts until the next front-end call refreshes the copy.
TEST(VerifyApi, ContextLogCallbackLastsUntilTheNextFrontEndCall) {
    Library lib;
    PELLAX_VRF_CTX *ctx = nullptr;
    ASSERT_EQ(pellax_vrf_ctx_create(&ctx), 0u);
    ASSERT_EQ(fips_pellax_set_log_callback(ctx, nullptr), 0u);
    ASSERT_EQ(fips_pellax_verify_initialize(ctx, kKeys.c_str()), 0u);
    EXPECT_TRUE(lib.host.logs.empty());
    ASSERT_EQ(pellax_verify_initialize(ctx, kKeys.c_str()), 0u);
    EXPECT_FALSE(lib.host.logs.empty());
    EXPECT_EQ(pellax_vrf_ctx_free(ctx), 0u);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(VerifyApi, Folding) {
    const struct {
        PELLAX_ERROR_CODE in, out;
    } cases[] = {{0, 0},     {1, 1},     {7, 7},   {99, 99},   {100, 0},
                 {102, 0},   {120, 0},   {200, 0}, {201, 201}, {214, 214},
                 {301, 301}, {399, 399}, {400, 0}, {1000, 0},  {0xFFFFFFFFu, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(do_with_signature_verify_return(c.in), c.out) << c.in;
        EXPECT_EQ(do_with_digest_verify_result(c.in), c.out) << c.in;
    }
}

}  // namespace
