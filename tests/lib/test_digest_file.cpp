// Digest files: the two line forms, trimming, full paths, counters and results, the codes that
// end a run, and the listings the coreutils sum tools write (tests/data/digest).
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "file_filter.h"
#include "mem_source.h"
#include "openssl_callback.h"
#include "pellax_vrf_internal.h"
#include "pellax_vrf_old.h"
#include "temp_dir.h"
#include "test_host.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string to_hex(const unsigned char *data, size_t len) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string sha256_hex(const std::string &data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), out, &len, EVP_sha256(), nullptr);
    return to_hex(out, len);
}

std::vector<PX_BYTE> sha256_bytes(const std::string &data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), out, &len, EVP_sha256(), nullptr);
    return std::vector<PX_BYTE>(out, out + len);
}

std::string replace_all(std::string text, const std::string &from, const std::string &to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string count_line(unsigned passed, unsigned failed) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "Verify file digest, success count: 0x%08x, fail count: 0x%08x.", passed, failed);
    return text;
}

PELLAX_CALLBACK_FUNCS openssl_funcs(const TestHost &host) {
    PELLAX_CALLBACK_FUNCS funcs{};
    funcs.size = sizeof funcs;
    funcs.plt = host.plt;
    openssl_fill_callbacks(&funcs);
    return funcs;
}

void write_file(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

struct Expected {
    PELLAX_LOG_TYPE level;
    int code;
    std::string message;
};

class DigestFile : public ::testing::Test {
  protected:
    static constexpr int kUntouched = 77;

    TestHost host;
    PELLAX_CALLBACK_FUNCS funcs = openssl_funcs(host);
    TempDir temp{"notarix-digest-"};
    const fs::path dir = temp.path();

    void SetUp() override {
        ASSERT_EQ(openssl_library_init(), 1);
        fs::create_directory(tree());
    }

    fs::path tree() const { return dir / "tree"; }

    // Runs the check over a digest file holding `text`; the result starts at kUntouched.
    PELLAX_ERROR_CODE run(const std::string &text, int type, int *result,
                          const char *base = nullptr, const char *separator = "/") {
        const fs::path listing = dir / "listing";
        write_file(listing, text);
        PELLAX_IOBUF *stream = nullptr;
        EXPECT_EQ(pellax_open_file_filter(&funcs.plt, listing.string().c_str(), "rb", &stream), 0u);
        *result = kUntouched;
        const std::string root = base == nullptr ? tree().string() : base;
        PELLAX_ERROR_CODE rc = pellax_verify_digest_file_internal(&funcs, stream, root.c_str(),
                                                                  separator, type, result);
        fips_pellax_iobuf_free(&funcs.plt, stream);
        EXPECT_EQ(host.live_blocks, 0);
        EXPECT_EQ(host.open_files, 0);
        return rc;
    }

    bool logged(const Expected &e) const {
        for (const LogLine &l : host.logs) {
            if (l.level == e.level && l.code == e.code && l.message == e.message) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(DigestFile, LinesFormsAndEndings) {
    const std::string alpha = "alpha\n";
    const std::string three = "three words\n";
    write_file(tree() / "a.bin", alpha);
    write_file(tree() / "three word name", three);
    write_file(tree() / "empty", "");
    fs::create_directory(tree() / "sub");
    const std::string a = sha256_hex(alpha);
    std::string a_upper = a;
    for (char &c : a_upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string a_bad = a;
    a_bad[10] = 'g';
    const std::string subs[][2] = {
        {"{A}", a},
        {"{AU}", a_upper},
        {"{A63}", a.substr(0, 63)},
        {"{Ag}", a_bad},
        {"{T}", sha256_hex(three)},
        {"{E}", sha256_hex("")},
        {"{Z}", std::string(64, '0')},
    };
    const Expected counted_ok{PELLAX_LOG_INFO, 0, count_line(1, 0)};
    const struct {
        const char *name;
        std::string text;
        int type;
        PELLAX_ERROR_CODE rc;
        int result;
        std::vector<Expected> logs;
    } cases[] = {
        {"digest first, with asterisk, digest last",
         "{A}  a.bin\n{A} *a.bin\na.bin {A}\n",
         8,
         0,
         DIGEST_RESULT_ALL_PASSED,
         {{PELLAX_LOG_INFO, 0, count_line(3, 0)},
          {PELLAX_LOG_INFO, 0, "Verify file digest, full path: " + tree().string() + "/a.bin."},
          {PELLAX_LOG_ERROR, 116, "Digest string is not valid."}}},
        {"upper case, CRLF, blank lines, last line without feed",
         "\n  \r\n{AU}  a.bin\r\n\0\n \0 \n{A}  a.bin"s,
         8,
         0,
         DIGEST_RESULT_ALL_PASSED,
         {{PELLAX_LOG_INFO, 0, count_line(2, 0)}}},
        {"inner spaces of a name stay, outer ones go",
         "{T}  three word name   \n  three word name  {T}  \n",
         8,
         0,
         DIGEST_RESULT_ALL_PASSED,
         {{PELLAX_LOG_INFO, 0, count_line(2, 0)}}},
        {"an empty file", "{E}  empty\n", 8, 0, DIGEST_RESULT_ALL_PASSED, {counted_ok}},
        {"one wrong digest",
         "{A}  a.bin\n{Z}  a.bin\n",
         8,
         0,
         DIGEST_RESULT_PARTIAL,
         {{PELLAX_LOG_INFO, 0, count_line(1, 1)}}},
        {"every digest wrong",
         "{Z}  a.bin\n{T} *a.bin\n",
         8,
         0,
         DIGEST_RESULT_ALL_FAILED,
         {{PELLAX_LOG_INFO, 0, count_line(0, 2)}}},
        {"no space: tabs do not separate",
         "{A}\ta.bin\nnospace\n{A}  a.bin\n",
         8,
         0,
         DIGEST_RESULT_PARTIAL,
         {{PELLAX_LOG_INFO, 0, count_line(1, 2)},
          {PELLAX_LOG_ERROR, 102, "Can't find line separator."}}},
        {"63 and 65 digits, both forms",
         "{A63}  a.bin\n{A}0  a.bin\na.bin {A63}\na.bin 0{A}\n{A}  a.bin\n",
         8,
         0,
         DIGEST_RESULT_PARTIAL,
         {{PELLAX_LOG_INFO, 0, count_line(1, 4)},
          {PELLAX_LOG_ERROR, 118, "Digest data length is not right"},
          {PELLAX_LOG_ERROR, 118, "Check digest data error."}}},
        {"a non-hex character, both forms",
         "{Ag}  a.bin\na.bin {Ag}\n",
         8,
         0,
         DIGEST_RESULT_ALL_FAILED,
         {{PELLAX_LOG_INFO, 0, count_line(0, 2)},
          {PELLAX_LOG_ERROR, 116, "Check digest data error."}}},
        {"names made only of marks",
         "{A} **\n* * {A}\n",
         8,
         0,
         DIGEST_RESULT_ALL_FAILED,
         {{PELLAX_LOG_INFO, 0, count_line(0, 2)},
          {PELLAX_LOG_ERROR, 102, "Parse file name error."},
          {PELLAX_LOG_ERROR, 0, "Can't find file path."}}},
        // Cut at the zero byte the name would be a.bin; it names no file at all.
        {"a zero byte inside a name",
         "{A}  a.bin\0x\na.bin\0x {A}\n"s,
         8,
         0,
         DIGEST_RESULT_ALL_FAILED,
         {{PELLAX_LOG_INFO, 0, count_line(0, 2)}}},
        {"only blank lines", "\n \r\n\0\n   \n"s, 8, 119, kUntouched, {}},
        {"an empty digest file", "", 8, 119, kUntouched, {{PELLAX_LOG_INFO, 0, count_line(0, 0)}}},
        {"type outside the table, first word hex",
         "nothing here\n{A}  a.bin\n",
         3,
         204,
         kUntouched,
         {{PELLAX_LOG_ERROR, 117, "Hash type is not valid, digest type: 3."},
          {PELLAX_LOG_ERROR, 204, "check_is_digest_string error."},
          {PELLAX_LOG_ERROR, 204, "parse_file_path_and_digest error."}}},
        {"type outside the table, last word hex",
         "a.bin {A}\n",
         3,
         204,
         kUntouched,
         {{PELLAX_LOG_ERROR, 204, "Check digest data error."},
          {PELLAX_LOG_ERROR, 204, "parse_file_path_and_digest error."}}},
        {"a missing file ends the run, counters dropped",
         "{A}  a.bin\n{Z}  a.bin\n{A}  not-there\n{A}  a.bin\n",
         8,
         3,
         kUntouched,
         {{PELLAX_LOG_ERROR, 3, "Open file error, full path: " + tree().string() + "/not-there."}}},
        // A directory opens on Linux and reads as nothing: it must not pass for empty data.
        // Windows refuses to open it in the first place.
        {"a directory with the digest of empty data",
         "{E}  sub\n",
         8,
         3,
         kUntouched,
         {
#ifndef _WIN32
             {PELLAX_LOG_ERROR, 3, "Path is a directory, full path: " + tree().string() + "/sub."},
#endif
             {PELLAX_LOG_ERROR, 3, "Open file error, full path: " + tree().string() + "/sub."}}},
        {"a directory with another digest", "{A}  sub\n", 8, 3, kUntouched, {}},
        {"a line of 19996 characters is whole",
         std::string(19996, 'x') + "\n{A}  a.bin\n",
         8,
         0,
         DIGEST_RESULT_PARTIAL,
         {{PELLAX_LOG_INFO, 0, count_line(1, 1)}}},
        {"a line of 19997 characters ends the run",
         "{A}  a.bin\n" + std::string(19997, 'x') + "\n{A}  a.bin\n",
         8,
         201,
         kUntouched,
         {{PELLAX_LOG_ERROR, 201, "pellax_iobuf_read_line error."}}},
        {"a cut last line still ends the run",
         "{A}  a.bin\n{A}  a.bin" + std::string(20000, ' '),
         8,
         201,
         kUntouched,
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        host.logs.clear();
        std::string text = c.text;
        for (const auto &s : subs) {
            text = replace_all(text, s[0], s[1]);
        }
        int result = 0;
        EXPECT_EQ(run(text, c.type, &result), c.rc);
        EXPECT_EQ(result, c.result);
        for (const Expected &e : c.logs) {
            EXPECT_TRUE(logged(e)) << e.code << " " << e.message;
        }
    }
}

TEST_F(DigestFile, FullPathFromBaseAndSeparator) {
    const struct {
        const char *base;
        const char *separator;
        const char *path;
    } cases[] = {
        {"/data", "/", "/data/a.bin"}, {"/data/", "/", "/data/a.bin"}, {"", "/", "/a.bin"},
        {"/data", "", "/dataa.bin"},   {"d", "::", "d::a.bin"},        {"d::", "::", "d::a.bin"},
        {"d:", "::", "d:::a.bin"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.base) + "|" + c.separator);
        host.logs.clear();
        int result = 0;
        // None of these exists, so the run ends at the first line.
        EXPECT_EQ(run(std::string(64, 'a') + " *a.bin\n", 8, &result, c.base, c.separator), 3u);
        EXPECT_TRUE(logged(
            {PELLAX_LOG_INFO, 0, std::string("Verify file digest, full path: ") + c.path + "."}));
    }
}

// Every allocation of a run fails once in turn: the run stops with 1 and leaves nothing behind.
TEST_F(DigestFile, EveryAllocationFailure) {
    funcs.plt.log_callback = nullptr;  // log lines take host memory too, and may fail silently
    write_file(tree() / "a.bin", "alpha\n");
    write_file(tree() / "empty", "");  // empty files take the directory test
    const std::string text =
        "x\na.bin " + sha256_hex("alpha\n") + "\n" + sha256_hex("") + "  empty\n";
    write_file(dir / "listing", text);
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        PELLAX_IOBUF *stream = nullptr;
        ASSERT_EQ(
            pellax_open_file_filter(&funcs.plt, (dir / "listing").string().c_str(), "rb", &stream),
            0u);
        host.fail_malloc_at = host.malloc_calls + n;
        host.malloc_failed = false;
        int result = kUntouched;
        PELLAX_ERROR_CODE rc = pellax_verify_digest_file_internal(
            &funcs, stream, tree().string().c_str(), "/", 8, &result);
        host.fail_malloc_at = 0;
        fips_pellax_iobuf_free(&funcs.plt, stream);
        EXPECT_EQ(host.live_blocks, 0);
        EXPECT_EQ(host.open_files, 0);
        if (!host.malloc_failed) {
            EXPECT_EQ(rc, 0u);
            EXPECT_EQ(result, DIGEST_RESULT_PARTIAL);
            EXPECT_GT(n, 8);
            break;
        }
        EXPECT_EQ(rc, 1u);
        EXPECT_EQ(result, kUntouched);
    }
}

// Random bytes as a digest file: every line counts as a failure or is skipped.
TEST_F(DigestFile, BinaryJunk) {
    std::mt19937 random(20240611);
    const char alphabet[] = "0123456789abcdef *\r\t\x00\xff/.";
    for (int round = 0; round < 20; ++round) {
        std::string text;
        const int lines = static_cast<int>(random() % 40);
        for (int i = 0; i < lines; ++i) {
            const size_t len = random() % 300;
            for (size_t j = 0; j < len; ++j) {
                text += (random() % 2) ? alphabet[random() % (sizeof alphabet - 1)]
                                       : static_cast<char>(random());
            }
            text += '\n';
        }
        int result = 0;
        const PELLAX_ERROR_CODE rc = run(text, 8, &result);
        EXPECT_TRUE((rc == 0 && result == DIGEST_RESULT_ALL_FAILED) || rc == 119u) << rc;
    }
}

// The files the sum tools list verify with the matching type; altered files fail.
TEST_F(DigestFile, OutputOfTheSumTools) {
    const fs::path fixtures = fs::path(NOTARIX_TEST_DATA) / "digest";
    const struct {
        const char *tool;
        int type;
    } tools[] = {{"md5sum", 1},    {"sha1sum", 2},   {"sha224sum", 11},
                 {"sha256sum", 8}, {"sha384sum", 9}, {"sha512sum", 10}};
    const char *const names[] = {"plain.txt", "with inner spaces.bin", "sub/nested.dat", "empty"};
    for (const auto &t : tools) {
        for (const char *mode : {"-text", "-binary"}) {
            SCOPED_TRACE(std::string(t.tool) + mode);
            fs::remove_all(tree());
            fs::copy(fixtures / "tree", tree(), fs::copy_options::recursive);
            std::ifstream in(fixtures / "sums" / (std::string(t.tool) + mode), std::ios::binary);
            const std::string listing((std::istreambuf_iterator<char>(in)), {});
            ASSERT_NE(listing.find(std::string(mode) == "-text" ? "  with inner spaces.bin\n"
                                                                : " *with inner spaces.bin\n"),
                      std::string::npos);
            int result = 0;
            EXPECT_EQ(run(listing, t.type, &result), 0u);
            EXPECT_EQ(result, DIGEST_RESULT_ALL_PASSED);
            write_file(tree() / names[1], "changed");
            EXPECT_EQ(run(listing, t.type, &result), 0u);
            EXPECT_EQ(result, DIGEST_RESULT_PARTIAL);
            for (const char *n : names) {
                write_file(tree() / n, std::string("changed ") + n);
            }
            EXPECT_EQ(run(listing, t.type, &result), 0u);
            EXPECT_EQ(result, DIGEST_RESULT_ALL_FAILED);
            // Another digest type finds no digest of its length.
            EXPECT_EQ(run(listing, t.type == 8 ? 1 : 8, &result), 0u);
            EXPECT_EQ(result, DIGEST_RESULT_ALL_FAILED);
        }
    }
}

TEST(DigestString, HexAndLength) {
    TestHost host;
    const std::string hex64 = std::string(60, 'a') + "0F9e";
    const struct {
        std::string text;
        int type;
        PELLAX_ERROR_CODE rc;
        int logged_code;
        const char *message;
    } cases[] = {
        {std::string(32, '1'), 1, 0, -1, nullptr},
        {std::string(40, 'b'), 2, 0, -1, nullptr},
        {hex64, 8, 0, -1, nullptr},
        {std::string(96, 'C'), 9, 0, -1, nullptr},
        {std::string(128, 'd'), 10, 0, -1, nullptr},
        {std::string(56, 'E'), 11, 0, -1, nullptr},
        {hex64.substr(1), 8, 118, 118, "Digest data length is not right"},
        {hex64 + "0", 8, 118, 118, "Digest data length is not right"},
        {hex64 + "00", 8, 118, 118, "Digest data length is not right"},
        {hex64, 11, 118, 118, "Digest data length is not right"},
        {"", 8, 118, 118, "Digest data length is not right"},
        {hex64.substr(0, 63) + "g", 8, 116, 116, "Digest string is not valid."},
        {"\xff" + hex64.substr(1), 8, 116, 116, "Digest string is not valid."},
        {hex64, 3, 204, 117, "Hash type is not valid, digest type: 3."},
        {hex64, -1, 204, 117, "Hash type is not valid, digest type: 4294967295."},
        {"zz", 3, 116, 116, "Digest string is not valid."},  // characters come first
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text + " type " + std::to_string(c.type));
        host.logs.clear();
        EXPECT_EQ(check_is_digest_string(&host.plt, c.text.data(),
                                         static_cast<PX_UINT32>(c.text.size()), c.type),
                  c.rc);
        if (c.message != nullptr) {
            ASSERT_EQ(host.logs.size(), 1u);
            EXPECT_EQ(host.logs[0].code, c.logged_code);
            EXPECT_EQ(host.logs[0].level, PELLAX_LOG_ERROR);
            EXPECT_EQ(host.logs[0].message, c.message);
        } else {
            EXPECT_TRUE(host.logs.empty());
        }
    }
}

// ---- One stream against one digest ----

struct Recorder {
    static PX_UINT32 largest_update;
    static int fail_step;  // 1 create, 2 init, 3 update, 4 final
    static PELLAX_ERROR_CODE create(void **ctx) {
        return fail_step == 1 ? 312 : openssl_md_ctx_create(ctx);
    }
    static PELLAX_ERROR_CODE init(void *ctx, int algorithm) {
        return fail_step == 2 ? 313 : openssl_md_init(ctx, algorithm);
    }
    static PELLAX_ERROR_CODE update(void *ctx, const PX_BYTE *data, PX_UINT32 length) {
        largest_update = std::max(largest_update, length);
        return fail_step == 3 ? 314 : openssl_md_update(ctx, data, length);
    }
    static PELLAX_ERROR_CODE final_(void *ctx, PX_BYTE *out, PX_UINT32 *length) {
        return fail_step == 4 ? 315 : openssl_md_final(ctx, out, length);
    }
};
PX_UINT32 Recorder::largest_update = 0;
int Recorder::fail_step = 0;

TEST(VerifyFileDigest, OutcomesAndFailures) {
    ASSERT_EQ(openssl_library_init(), 1);
    TestHost host;
    PELLAX_CALLBACK_FUNCS funcs = openssl_funcs(host);
    funcs.crypto_md_ctx_create = Recorder::create;
    funcs.crypto_md_init = Recorder::init;
    funcs.crypto_md_update = Recorder::update;
    funcs.crypto_md_final = Recorder::final_;
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    const std::vector<PX_BYTE> good = sha256_bytes(data);
    std::vector<PX_BYTE> other = good;
    other[31] ^= 1;
    const std::vector<PX_BYTE> shorter(good.begin(), good.begin() + 20);
    const struct {
        const char *name;
        const std::vector<PX_BYTE> &digest;
        int type;
        int fail_step;
        int stream_fail;
        PELLAX_ERROR_CODE rc;
        int outcome;
        int code;
        std::string message;
        PELLAX_LOG_TYPE level;
    } cases[] = {
        {"match", good, 8, 0, 0, 0, 1, -1, "", PELLAX_LOG_INFO},
        {"one bit off", other, 8, 0, 0, 0, 0, 0, "", PELLAX_LOG_INFO},
        {"other length", shorter, 8, 0, 0, 0, 0, 0,
         "Digest data is not right, my_digest_length: 0x00000020, digest_length: 0x00000014.",
         PELLAX_LOG_INFO},
        {"unknown type", good, 3, 0, 0, 301, 0, 301, "Initialize message digest error.",
         PELLAX_LOG_ERROR},
        {"create fails", good, 8, 1, 0, 312, 0, 312, "Create message digest context error.",
         PELLAX_LOG_ERROR},
        {"init fails", good, 8, 2, 0, 313, 0, 313, "Initialize message digest error.",
         PELLAX_LOG_ERROR},
        {"update fails", good, 8, 3, 0, 314, 0, 314, "pellax_crypto_md_update error.",
         PELLAX_LOG_ERROR},
        {"final fails", good, 8, 4, 0, 315, 0, 315, "pellax_crypto_md_final error.",
         PELLAX_LOG_ERROR},
        {"stream fails", good, 8, 0, 3, 6, 0, 6, "pellax_iobuf_read_noalloc parameter error.",
         PELLAX_LOG_ERROR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        host.logs.clear();
        Recorder::largest_update = 0;
        Recorder::fail_step = c.fail_step;
        MemSource src(data);
        src.fail_at = c.stream_fail;
        PELLAX_IOBUF *stream = nullptr;
        ASSERT_EQ(fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &src, &stream),
                  0u);
        int outcome = 7;
        EXPECT_EQ(verify_file_digest(&funcs, stream, c.digest.data(),
                                     static_cast<PX_UINT32>(c.digest.size()), c.type, &outcome),
                  c.rc);
        fips_pellax_iobuf_free(&host.plt, stream);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(host.live_blocks, 0);
        if (c.code >= 0) {
            bool found = false;
            for (const LogLine &l : host.logs) {
                found |= l.code == c.code && l.level == c.level &&
                         (c.message.empty()
                              ? l.message.rfind("Digest data is not right, my_digest: ", 0) == 0
                              : l.message == c.message);
            }
            EXPECT_TRUE(found);
        }
        if (c.rc == 0) {
            EXPECT_EQ(Recorder::largest_update, 256u);  // hashed in pieces, never all at once
        }
    }
}

// A hashing failure ends the run with its code, and the named file's stream goes with it.
TEST_F(DigestFile, HashingFailureEndsTheRun) {
    write_file(tree() / "a.bin", "alpha\n");
    funcs.crypto_md_update = Recorder::update;
    Recorder::fail_step = 3;
    int result = 0;
    EXPECT_EQ(run(sha256_hex("alpha\n") + "  a.bin\n", 8, &result), 314u);
    Recorder::fail_step = 0;
    EXPECT_EQ(result, kUntouched);
    EXPECT_TRUE(logged({PELLAX_LOG_ERROR, 314, "pellax_crypto_md_update error."}));
}

}  // namespace
