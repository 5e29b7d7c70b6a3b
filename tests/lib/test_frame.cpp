// Library frame: error texts, the host table and its checks, logging, the crypto call table.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "pellax_crypto.h"
#include "pellax_err.h"
#include "pellax_log.h"
#include "pellax_plt_st_check.h"
#include "test_host.h"

namespace {

const char *provider_text(PELLAX_ERROR_CODE code) {
    return code == 305 ? "Cache is too short to fill the digest result." : nullptr;
}

TEST(ErrorTable, TextsByteForByte) {
    TestHost host;
    const struct {
        PELLAX_ERROR_CODE code;
        const char *text;
    } cases[] = {
        {0, "No error."},
        {7, "The is truncate."},
        {18, "Update crypt contest error."},
        {104, "Invalid armor tag"},
        {106, "Crc is invalid"},
        {122, "Packet length item is too long."},
        {207, "Message digest callback function error.Maybe is null."},
        {208, "Crypt callback function error.Maybe is null."},
        {8, nullptr},
        {20, nullptr},
        {21, nullptr},
        {150, nullptr},
        {30, nullptr},
        {123, nullptr},
        {214, nullptr},
    };
    for (const auto &c : cases) {
        const char *text = "untouched";
        ASSERT_EQ(pellax_get_err_msg(&host.plt, c.code, &text), 0u) << c.code;
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr) << c.code;
        } else {
            EXPECT_STREQ(text, c.text) << c.code;
        }
    }
}

TEST(ErrorTable, CodesOutsideTheTables) {
    TestHost host;
    const char *text = "untouched";
    EXPECT_EQ(pellax_get_err_msg(&host.plt, 400, &text), 202u);
    EXPECT_EQ(pellax_get_err_msg(&host.plt, static_cast<PELLAX_ERROR_CODE>(-1), &text), 202u);
    EXPECT_STREQ(text, "untouched");

    EXPECT_EQ(pellax_get_err_msg(&host.plt, 305, &text), 213u);  // no message callback yet
    EXPECT_STREQ(text, "untouched");
    host.plt.user_def_msg_callback = provider_text;
    EXPECT_EQ(pellax_get_err_msg(&host.plt, 305, &text), 0u);
    EXPECT_STREQ(text, "Cache is too short to fill the digest result.");
    EXPECT_EQ(pellax_get_err_msg(&host.plt, 311, &text), 0u);
    EXPECT_EQ(text, nullptr);
}

TEST(ErrorTable, GlobalLookupNeedsInitialization) {
    TestHost host;
    const char *text = nullptr;
    EXPECT_EQ(pellax_get_error_string_from_error_code(1, &text), 214u);
    ASSERT_EQ(host.install(), 0u);
    EXPECT_EQ(pellax_get_error_string_from_error_code(1, &text), 0u);
    EXPECT_STREQ(text, "Alloc memory error.");
    pellax_set_user_def_msg_callback(provider_text);
    EXPECT_EQ(pellax_get_error_string_from_error_code(305, &text), 0u);
    EXPECT_STREQ(text, "Cache is too short to fill the digest result.");
}

TEST(Version, Text) {
    EXPECT_STREQ(pellax_version(), "3.1.0.17");
    EXPECT_STREQ(fips_pellax_version(), "3.1.0.17");
}

// Byte offset of every one of the eighteen service slots.
const size_t kSlotOffsets[] = {
    offsetof(PELLAX_SYS_API, malloc),        offsetof(PELLAX_SYS_API, memset_s),
    offsetof(PELLAX_SYS_API, memmove_s),     offsetof(PELLAX_SYS_API, memcpy_s),
    offsetof(PELLAX_SYS_API, free),          offsetof(PELLAX_SYS_API, memcmp),
    offsetof(PELLAX_SYS_API, strncmp),       offsetof(PELLAX_SYS_API, strstr),
    offsetof(PELLAX_SYS_API, strchr),        offsetof(PELLAX_SYS_API, strlen),
    offsetof(PELLAX_SYS_API, strcmp),        offsetof(PELLAX_SYS_API, strcpy_s),
    offsetof(PELLAX_SYS_API, vsnprintf_s),   offsetof(PELLAX_SYS_API, fopen),
    offsetof(PELLAX_SYS_API, fread),         offsetof(PELLAX_SYS_API, fclose),
    offsetof(PELLAX_SYS_API, get_thread_id), offsetof(PELLAX_SYS_API, get_utc_time),
};

TEST(HostTable, EveryEmptySlotIsRefusedAndLeavesTheGlobalTableAlone) {
    TestHost host;
    ASSERT_EQ(sizeof kSlotOffsets / sizeof kSlotOffsets[0], 18u);
    for (size_t offset : kSlotOffsets) {
        PELLAX_SYS_API sys = host.sys;
        std::memset(reinterpret_cast<unsigned char *>(&sys) + offset, 0, sizeof(void *));
        EXPECT_EQ(pellax_sys_is_all_sys_api_valid(&sys), 0) << offset;
        EXPECT_EQ(pellax_old_library_initialize(&sys), 206u) << offset;
        EXPECT_EQ(s_kitCallbackFuncs.size, 0u);
    }
    PELLAX_SYS_API bad_size = host.sys;
    bad_size.size -= 1;
    EXPECT_EQ(pellax_old_library_initialize(&bad_size), 206u);
    EXPECT_EQ(pellax_old_library_initialize(nullptr), 201u);
    EXPECT_EQ(pellax_sys_is_all_sys_api_valid(nullptr), 0);
    EXPECT_EQ(pellax_sys_is_all_sys_api_valid(&host.sys), 1);
    EXPECT_EQ(pellax_sys_sub_st_api_valid(nullptr, 8), 0);
}

TEST(HostTable, InitializationCopiesTheTableAndDropsCallbacks) {
    TestHost host;
    ASSERT_EQ(host.install(), 0u);
    EXPECT_EQ(s_kitCallbackFuncs.size, sizeof(PELLAX_CALLBACK_FUNCS));
    EXPECT_EQ(s_kitCallbackFuncs.plt.size, sizeof(PELLAX_PLT_FUNCS));
    EXPECT_EQ(std::memcmp(&s_kitCallbackFuncs.plt.sys, &host.sys, sizeof host.sys), 0);

    pellax_set_log_callback(&TestHost::record_log);
    ASSERT_EQ(pellax_set_md_callback(reinterpret_cast<PELLAX_MD_CTX_CREATE>(1), nullptr, nullptr,
                                     nullptr, nullptr),
              0u);
    ASSERT_EQ(host.install(), 0u);  // a second initialization starts over
    EXPECT_EQ(s_kitCallbackFuncs.plt.log_callback, nullptr);
    EXPECT_EQ(s_kitCallbackFuncs.crypto_md_ctx_create, nullptr);
}

TEST(HostTable, PlatformCheck) {
    TestHost host;
    EXPECT_EQ(pellax_plt_check_funcs_valid(nullptr), 201u);
    EXPECT_EQ(pellax_plt_check_funcs_valid(&host.plt), 0u);
    PELLAX_PLT_FUNCS plt = host.plt;
    plt.size = 0;
    EXPECT_EQ(pellax_plt_check_funcs_valid(&plt), 215u);
    plt = host.plt;
    plt.sys.fread = nullptr;
    EXPECT_EQ(pellax_plt_check_funcs_valid(&plt), 206u);
}

TEST(HostTable, WrappersReachTheirSlots) {
    TestHost host;
    const PELLAX_SYS_API *sys = &host.sys;
    char buf[16];
    EXPECT_EQ(pellax_snprintf_s(sys, buf, sizeof buf, sizeof buf - 1, "%s-%d", "a", 7), 3);
    EXPECT_STREQ(buf, "a-7");
    EXPECT_EQ(pellax_strlen(sys, buf), 3u);
    EXPECT_EQ(pellax_strcpy_s(sys, buf, 2, "abc"), -1);
    EXPECT_EQ(pellax_get_utc_time(sys), host.clock);
    void *p = pellax_malloc(sys, 10);
    EXPECT_EQ(host.live_blocks, 1);
    pellax_free(sys, p);
    EXPECT_EQ(host.live_blocks, 0);
}

const char kLogFile[] = "tester";

TEST(Logging, LineReachesTheCallback) {
    TestHost host;
    pellax_log_func(&host.plt, PELLAX_LOG_WARNING, kLogFile, 42, 7, "value %d of %s", 5, "x");
    ASSERT_EQ(host.logs.size(), 1u);
    const LogLine &l = host.logs[0];
    EXPECT_EQ(l.level, PELLAX_LOG_WARNING);
    EXPECT_EQ(l.file, kLogFile);
    EXPECT_EQ(l.line, 42);
    EXPECT_EQ(l.code, 7);
    EXPECT_EQ(l.time, host.clock);
    EXPECT_EQ(l.message, "value 5 of x");
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(Logging, DegradedCases) {
    TestHost host;
    // Exactly 2047 characters still fit; one more does not.
    const std::string fits(2047, 'a');
    pellax_log_func(&host.plt, PELLAX_LOG_INFO, kLogFile, 1, 0, "%s", fits.c_str());
    const std::string too_long(2048, 'b');
    pellax_log_func(&host.plt, PELLAX_LOG_INFO, kLogFile, 2, 9, "%s", too_long.c_str());
    pellax_log_func(&host.plt, PELLAX_LOG_INFO, kLogFile, 3, 0, "%s", "");
    ASSERT_EQ(host.logs.size(), 3u);
    EXPECT_EQ(host.logs[0].message, fits);
    EXPECT_EQ(host.logs[1].message, "Format log data error.");
    EXPECT_EQ(host.logs[1].level, PELLAX_LOG_INFO);
    EXPECT_EQ(host.logs[1].file, kLogFile);
    EXPECT_EQ(host.logs[1].line, 2);
    EXPECT_EQ(host.logs[1].code, 9);
    EXPECT_EQ(host.logs[2].message, "Format log data error.");

    host.logs.clear();
    host.clock = 0;
    pellax_log_func(&host.plt, PELLAX_LOG_INFO, kLogFile, 4, 33, "not %s", "expanded");
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].message, "Get current time error.");
    EXPECT_EQ(host.logs[0].level, PELLAX_LOG_ERROR);
    EXPECT_EQ(host.logs[0].time, 0);
    EXPECT_EQ(host.logs[0].code, 33);

    host.logs.clear();
    host.clock = 1;
    host.fail_malloc_at = host.malloc_calls + 1;
    pellax_log_func(&host.plt, PELLAX_LOG_INFO, kLogFile, 5, 0, "lost");
    EXPECT_TRUE(host.logs.empty());
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(Logging, NoCallbackTouchesNothing) {
    TestHost host;
    host.plt.log_callback = nullptr;
    pellax_log_func(&host.plt, PELLAX_LOG_ERROR, kLogFile, 1, 1, "x");
    pellax_log_func(nullptr, PELLAX_LOG_ERROR, kLogFile, 1, 1, "x");
    EXPECT_EQ(host.malloc_calls, 0);
}

// A fake provider that records what the wrappers hand it.
std::vector<PX_BYTE> g_fed;
PELLAX_ERROR_CODE fake_create(void **ctx) {
    *ctx = &g_fed;
    return 0;
}
PELLAX_ERROR_CODE fake_md_init(void *, int) {
    return 0;
}
PELLAX_ERROR_CODE fake_update(void *, const PX_BYTE *data, PX_UINT32 length) {
    g_fed.insert(g_fed.end(), data, data + length);
    return 0;
}
PELLAX_ERROR_CODE fake_md_final(void *, PX_BYTE *, PX_UINT32 *) {
    return 0;
}
void fake_destroy(void *) {}
PELLAX_ERROR_CODE fake_vrf_init(void *, const PELLAX_BIGINT *, const PELLAX_BIGINT *, int) {
    return 0;
}
PELLAX_ERROR_CODE fake_vrf_final(void *, const PX_BYTE *, PX_UINT32, int *verdict) {
    *verdict = 1;
    return 0;
}

TEST(CryptoTable, RegistrationNeedsInitialization) {
    TestHost host;
    EXPECT_EQ(
        pellax_set_md_callback(fake_create, fake_md_init, fake_update, fake_md_final, fake_destroy),
        214u);
    EXPECT_EQ(pellax_set_vrf_callback(fake_create, fake_vrf_init, fake_update, fake_vrf_final,
                                      fake_destroy),
              214u);
    EXPECT_EQ(s_kitCallbackFuncs.crypto_md_ctx_create, nullptr);
    EXPECT_EQ(s_kitCallbackFuncs.crypto_vrf_ctx_create, nullptr);
}

TEST(CryptoTable, CompletenessChecksLogTheFirstGap) {
    TestHost host;
    ASSERT_EQ(host.install(), 0u);
    pellax_set_log_callback(&TestHost::record_log);
    const PELLAX_CALLBACK_FUNCS *g = &s_kitCallbackFuncs;

    EXPECT_EQ(pellax_crypto_md_api_valid(nullptr), 0);
    EXPECT_TRUE(host.logs.empty());

    ASSERT_EQ(
        pellax_set_md_callback(fake_create, fake_md_init, nullptr, fake_md_final, fake_destroy),
        0u);
    EXPECT_EQ(pellax_crypto_md_api_valid(g), 0);
    EXPECT_EQ(pellax_crypto_alg_api_valid(g), 0);
    ASSERT_EQ(host.logs.size(), 2u);
    EXPECT_EQ(host.logs[1].code, 207);
    EXPECT_EQ(host.logs[1].message, "Message digest functions are not valid.");

    host.logs.clear();
    ASSERT_EQ(
        pellax_set_md_callback(fake_create, fake_md_init, fake_update, fake_md_final, fake_destroy),
        0u);
    EXPECT_EQ(pellax_crypto_md_api_valid(g), 1);
    EXPECT_EQ(pellax_crypto_alg_api_valid(g), 0);
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].code, 208);
    EXPECT_EQ(host.logs[0].message, "Signature verification functions are not valid.");
    EXPECT_EQ(host.logs[0].level, PELLAX_LOG_ERROR);

    ASSERT_EQ(pellax_set_vrf_callback(fake_create, fake_vrf_init, fake_update, fake_vrf_final,
                                      fake_destroy),
              0u);
    EXPECT_EQ(pellax_crypto_alg_api_valid(g), 1);

    PELLAX_CALLBACK_FUNCS copy = *g;
    copy.size = 1;
    host.logs.clear();
    EXPECT_EQ(pellax_crypto_alg_api_valid(&copy), 0);
    EXPECT_TRUE(host.logs.empty());
}

TEST(CryptoTable, WrappersPassThrough) {
    TestHost host;
    ASSERT_EQ(host.install(), 0u);
    ASSERT_EQ(
        pellax_set_md_callback(fake_create, fake_md_init, fake_update, fake_md_final, fake_destroy),
        0u);
    ASSERT_EQ(pellax_set_vrf_callback(fake_create, fake_vrf_init, fake_update, fake_vrf_final,
                                      fake_destroy),
              0u);
    const PELLAX_CALLBACK_FUNCS *g = &s_kitCallbackFuncs;
    g_fed.clear();
    void *ctx = nullptr;
    ASSERT_EQ(pellax_crypto_vrf_ctx_create(g, &ctx), 0u);
    EXPECT_EQ(pellax_crypto_vrf_put(g, ctx, 0x1FF), 0u);
    EXPECT_EQ(pellax_crypto_md_put(g, ctx, -1), 0u);
    const PX_BYTE block[] = {1, 2, 3};
    EXPECT_EQ(pellax_crypto_md_update(g, ctx, block, 3), 0u);
    EXPECT_EQ(g_fed, (std::vector<PX_BYTE>{0xFF, 0xFF, 1, 2, 3}));
    int verdict = 0;
    EXPECT_EQ(pellax_crypto_vrf_final(g, ctx, block, 3, &verdict), 0u);
    EXPECT_EQ(verdict, 1);
    EXPECT_EQ(pellax_crypto_vrf_ctx_destory(g, nullptr), 0u);
    EXPECT_EQ(pellax_crypto_md_ctx_destory(g, nullptr), 0u);
}

}  // namespace
