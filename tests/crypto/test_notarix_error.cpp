// The provider's message table, as the library's message callback sees it.
#include <gtest/gtest.h>

#include "NotarixError.h"

namespace {

TEST(NotarixError, TextsByteForByte) {
    const struct {
        PELLAX_ERROR_CODE code;
        const char *text;
    } cases[] = {
        {301, "Get openssl evpmd struct error."},
        {302, "Initialize openssl digest progress error."},
        {303, "Update openssl digest data error."},
        {304, "Openssl digest final error."},
        {305, "Cache is too short to fill the digest result."},
        {306, "Create openssl public key error."},
        {307, "Initialize openssl crypt context error."},
        {308, "Get openssl evpmd struct error."},
        {309, "Update openssl verify crypt data error."},
        {310, "Read file error."},
        {0, nullptr},
        {1, nullptr},
        {201, nullptr},
        {300, nullptr},
        {311, nullptr},
        {399, nullptr},
        {400, nullptr},  // closes the table, is not in it
        {0xFFFFFFFFu, nullptr},
    };
    for (const auto &c : cases) {
        const char *text = GetPGPErrorMessage(c.code);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr) << c.code;
        } else {
            EXPECT_STREQ(text, c.text) << c.code;
        }
    }
}

}  // namespace
