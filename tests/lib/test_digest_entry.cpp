// The digest-file entry point of the front-end table: codes as a caller sees them once folded.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "openssl_callback.h"
#include "pellax_crypto.h"
#include "pellax_vrf_old.h"
#include "temp_dir.h"
#include "test_host.h"

namespace fs = std::filesystem;

namespace {

std::string sha256_hex(const std::string &data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), out, &len, EVP_sha256(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += digits[out[i] >> 4];
        hex += digits[out[i] & 15];
    }
    return hex;
}

void write_file(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

class DigestEntry : public ::testing::Test {
  protected:
    TestHost host;
    PELLAX_VERIFY_FUNCS table{};
    TempDir temp{"notarix-digest-entry-"};
    const fs::path dir = temp.path();

    void SetUp() override {
        ASSERT_EQ(openssl_library_init(), 1);
        ASSERT_EQ(host.install(), 0u);
        ASSERT_EQ(pellax_initialize_verify_funcs(&table), 0u);
        ASSERT_EQ(table.set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                                        openssl_md_final, openssl_md_ctx_destory),
                  0u);
        table.set_log_callback(&TestHost::record_log);
        write_file(dir / "a.bin", "alpha\n");
    }

    void register_vrf() {
        ASSERT_EQ(
            table.set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                                   openssl_vrf_final, openssl_vrf_ctx_destory),
            0u);
    }
};

TEST_F(DigestEntry, FoldedCodesAndResults) {
    register_vrf();
    const std::string a = sha256_hex("alpha\n");
    const struct {
        const char *name;
        std::string listing;  // empty: no digest file at all
        int type;
        PELLAX_ERROR_CODE rc;
        int result;
    } cases[] = {
        {"every line passes", a + "  a.bin\n" + a + " *a.bin\n", 8, 0, DIGEST_RESULT_ALL_PASSED},
        {"a line without digest", a + "  a.bin\nx\n", 8, 0, DIGEST_RESULT_PARTIAL},
        {"nothing to count: 119 folds into a failed result", "\n\n", 8, 0,
         DIGEST_RESULT_ALL_FAILED},
        {"a listed file is missing", a + "  gone.bin\n", 8, 3, DIGEST_RESULT_ALL_FAILED},
        {"a type outside the table", a + "  a.bin\n", 3, 204, DIGEST_RESULT_ALL_FAILED},
        {"a cut line", std::string(19997, 'x') + "\n", 8, 201, DIGEST_RESULT_ALL_FAILED},
        {"no digest file", "", 8, 3, DIGEST_RESULT_ALL_FAILED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path listing = dir / "SHA256SUMS";
        fs::remove(listing);
        if (!c.listing.empty()) {
            write_file(listing, c.listing);
        }
        int result = 77;
        EXPECT_EQ(table.verify_digest_file(listing.string().c_str(), dir.string().c_str(), "/",
                                           c.type, &result),
                  c.rc);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(host.live_blocks, 0);
    }
    EXPECT_TRUE(host.logged(
        3, "Can't open digest file, digest file path: " + (dir / "SHA256SUMS").string() + "."));
}

TEST_F(DigestEntry, DigestCallbacksAloneAreNotEnough) {
    write_file(dir / "SHA256SUMS", sha256_hex("alpha\n") + "  a.bin\n");
    int result = 77;
    EXPECT_EQ(pellax_verify_digest_file((dir / "SHA256SUMS").string().c_str(), dir.string().c_str(),
                                        "/", 8, &result),
              209u);
    EXPECT_EQ(result, 77);
}

}  // namespace
