// Common helpers: bit counts, the integer form, character tests, copies, hex decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pellax_common.h"
#include "test_host.h"

namespace {

PELLAX_BIGINT bigint(std::vector<PX_BYTE> bytes) {
    PELLAX_BIGINT v{};
    v.len = static_cast<PX_UINT32>(bytes.size());
    if (!bytes.empty()) {
        std::memcpy(v.data, bytes.data(), bytes.size());
    }
    return v;
}

PELLAX_BIGINT wide(PX_BYTE first, PX_BYTE second) {
    std::vector<PX_BYTE> bytes(256, 0x5A);
    bytes[0] = first;
    bytes[1] = second;
    return bigint(bytes);
}

TEST(Common, BitCounts) {
    const struct {
        PELLAX_BIGINT value;
        uint64_t nbits;
    } cases[] = {
        {bigint({0x01}), 1},
        {bigint({0x01, 0x00, 0x01}), 17},
        {wide(0x7F, 0xFF), 2047},
        {wide(0x00, 0x80), 2040},
        {bigint({0, 0, 0}), 0},
        {bigint({}), 0},
        {bigint({0x00, 0x00, 0x01}), 1},
    };
    TestHost host;
    for (const auto &c : cases) {
        uint64_t nbits = 99;
        ASSERT_EQ(pellax_common_get_bigint_nbits(&host.plt, &c.value, &nbits), 0u);
        EXPECT_EQ(nbits, c.nbits);
    }
    uint64_t nbits = 0;
    EXPECT_EQ(pellax_common_get_bigint_nbits(&host.plt, nullptr, &nbits), 201u);
    PELLAX_BIGINT too_long = bigint({1});
    too_long.len = PELLAX_BIGINT_MAX_BYTES + 1;  // never read past the record
    EXPECT_EQ(pellax_common_get_bigint_nbits(&host.plt, &too_long, &nbits), 201u);
    EXPECT_TRUE(host.logs.empty());
}

TEST(Common, IntegerForm) {
    TestHost host;
    const PELLAX_BIGINT v = bigint({0x01, 0x00, 0x01});
    PX_UINT32 size = 0, r_len = 0;
    ASSERT_EQ(pellax_common_bigint_print(&host.plt, &v, nullptr, &r_len, &size), 0u);
    EXPECT_EQ(size, 5u);
    PX_BYTE out[5] = {};
    ASSERT_EQ(pellax_common_bigint_print(&host.plt, &v, out, &r_len, &size), 0u);
    EXPECT_EQ(r_len, 5u);
    EXPECT_EQ(std::vector<PX_BYTE>(out, out + 5), (std::vector<PX_BYTE>{0x00, 0x11, 1, 0, 1}));
    size = 4;
    EXPECT_EQ(pellax_common_bigint_print(&host.plt, &v, out, &r_len, &size), 4u);
    EXPECT_TRUE(host.logged(4,
                            "Memory size is satisfied with the big integer data: need: 0x5, "
                            "size: 0x4."));
    size = 5;
    EXPECT_EQ(pellax_common_bigint_print(&host.plt, &v, out, nullptr, &size), 201u);
    EXPECT_TRUE(host.logged(201, "Parameter error, r_len is null."));
}

TEST(Common, CharacterTests) {
    TestHost host;
    int value = 'q';
    EXPECT_EQ(pellax_common_ascii_toupper(&host.plt, 'q', &value), 0u);
    EXPECT_EQ(value, 'Q');
    EXPECT_EQ(pellax_common_ascii_toupper(&host.plt, 'Q', &value), 124u);
    EXPECT_EQ(pellax_common_ascii_toupper(&host.plt, '{', &value), 124u);
    EXPECT_EQ(value, 'Q');
    EXPECT_EQ(pellax_common_ascii_toupper(&host.plt, 'a', nullptr), 201u);

    const struct {
        int c;
        int xdigit;
        int digit;
    } cases[] = {{'G', 0, 0}, {'f', 1, 0}, {'F', 1, 0},         {'0', 1, 1}, {'9', 1, 1},
                 {'/', 0, 0}, {'a', 1, 0}, {0x100 + '5', 1, 1}, {-1, 0, 0}};
    for (const auto &c : cases) {
        int flag = 7;
        ASSERT_EQ(pellax_common_isxdigist(&host.plt, c.c, &flag), 0u);
        EXPECT_EQ(flag, c.xdigit) << c.c;
        ASSERT_EQ(pellax_common_isdigit(&host.plt, c.c, &flag), 0u);
        EXPECT_EQ(flag, c.digit) << c.c;
    }
    EXPECT_EQ(pellax_common_isdigit(&host.plt, '1', nullptr), 201u);
}

TEST(Common, PlatformTableIsCheckedFirst) {
    TestHost host;
    PELLAX_PLT_FUNCS bad = host.plt;
    bad.size = 1;
    int flag = 0;
    EXPECT_EQ(pellax_common_isdigit(&bad, '1', &flag), 215u);
    bad = host.plt;
    bad.sys.strlen = nullptr;
    EXPECT_EQ(pellax_common_isxdigist(&bad, '1', &flag), 206u);
    char *copy = nullptr;
    EXPECT_EQ(pellax_common_copy_string(nullptr, &copy, "x", 1), 201u);
    EXPECT_EQ(host.malloc_calls, 0);
}

TEST(Common, CopyAndRealloc) {
    TestHost host;
    char *copy = nullptr;
    ASSERT_EQ(pellax_common_copy_string(&host.plt, &copy, "abcdef", 3), 0u);
    EXPECT_STREQ(copy, "abc");
    pellax_free(&host.sys, copy);

    host.fail_malloc_at = host.malloc_calls + 1;
    copy = reinterpret_cast<char *>(&host);
    EXPECT_EQ(pellax_common_copy_string(&host.plt, &copy, "abc", 3), 1u);
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(host.logged(1, "pellax_malloc error, alloc memory size: 0x4."));

    host.fail_malloc_at = 0;
    PX_BYTE *old = static_cast<PX_BYTE *>(pellax_malloc(&host.sys, 4));
    std::memcpy(old, "wxyz", 4);
    void *grown = nullptr;
    ASSERT_EQ(pellax_common_realloc(&host.plt, old, 3, 8, &grown), 0u);
    EXPECT_EQ(std::memcmp(grown, "wxy\0\0\0\0\0", 8), 0);

    host.fail_malloc_at = host.malloc_calls + 1;
    void *again = &host;
    EXPECT_EQ(pellax_common_realloc(&host.plt, grown, 8, 16, &again), 1u);
    EXPECT_EQ(again, nullptr);
    EXPECT_TRUE(host.logged(1, "Alloc memory error, alloc size: 0x10."));
    EXPECT_EQ(std::memcmp(grown, "wxy", 3), 0);  // still the caller's
    pellax_free(&host.sys, grown);
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(Common, HexDecoding) {
    const struct {
        const char *hex;
        PELLAX_ERROR_CODE rc;
        std::vector<PX_BYTE> bytes;
        const char *log;
    } cases[] = {
        {"0aFF", 0, {0x0A, 0xFF}, nullptr},
        {"", 0, {}, nullptr},
        {"00010203a0B0", 0, {0, 1, 2, 3, 0xA0, 0xB0}, nullptr},
        {"abc", 9, {}, "Data is not integer multiple of 2, data length: 0x3."},
        {"0g", 9, {}, "to_hex_char error, char: 0x00000067."},
        {"0\xff", 9, {}, "to_hex_char error, char: 0xffffffff."},
    };
    for (const auto &c : cases) {
        TestHost host;
        PX_BYTE *data = reinterpret_cast<PX_BYTE *>(&host);
        PX_UINT32 len = 99;
        const PX_UINT32 hex_len = static_cast<PX_UINT32>(std::strlen(c.hex));
        ASSERT_EQ(pellax_common_hexstring_to_hexdata(&host.plt, c.hex, hex_len, &len, &data), c.rc)
            << c.hex;
        if (c.rc == 0) {
            EXPECT_EQ(std::vector<PX_BYTE>(data, data + len), c.bytes);
            pellax_free(&host.sys, data);
        } else {
            EXPECT_TRUE(host.logged(hex_len % 2 != 0 ? 9 : 0, c.log)) << c.hex;
            if (hex_len % 2 == 0) {
                EXPECT_EQ(data, nullptr);
            }
        }
        if (hex_len % 2 != 0) {
            EXPECT_EQ(host.malloc_calls, 1);  // only the log line's buffer
        }
        EXPECT_EQ(host.live_blocks, 0) << c.hex;
    }
}

}  // namespace
