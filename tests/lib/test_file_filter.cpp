// File source filter: host reads of 256 bytes, underflow sizes, end of file, failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "file_filter.h"
#include "test_host.h"

namespace {

std::string temp_file(const std::string &name, size_t size) {
    const std::string path = ::testing::TempDir() + "ff_" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    for (size_t i = 0; i < size; ++i) {
        std::fputc(static_cast<int>((i * 7 + i / 256) & 0xFF), f);
    }
    std::fclose(f);
    return path;
}

std::string slurp(const std::string &path) {
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    for (int c; (c = std::fgetc(f)) != EOF;) {
        s += static_cast<char>(c);
    }
    std::fclose(f);
    return s;
}

TEST(FileFilter, UnderflowsAndHostReads) {
    const struct {
        size_t size;
        std::vector<PX_UINT32> per_underflow;  // bytes each underflow brought
        std::vector<PX_ULONG> reads;           // lengths asked of the host, in order
    } cases[] = {
        {0, {0}, {256}},
        {1024, {1024, 0}, {256, 256, 256, 256, 256}},
        {1500, {1024, 476}, {256, 256, 256, 256, 256, 256, 256}},
    };
    for (const auto &c : cases) {
        TestHost host;
        const std::string path = temp_file(std::to_string(c.size), c.size);
        PELLAX_IOBUF *s = nullptr;
        ASSERT_EQ(pellax_open_file_filter(&host.plt, path.c_str(), "rb", &s), 0u);
        EXPECT_STREQ(s->filter_name, "file");
        std::string got;
        for (PX_UINT32 expected : c.per_underflow) {
            PX_BYTE b = 0;
            PELLAX_ERROR_CODE rc = fips_pellax_iobuf_peek(&host.plt, s, &b);
            EXPECT_EQ(s->data_len, expected) << c.size;
            if (expected == 0) {
                EXPECT_EQ(rc, 7u);
                break;
            }
            ASSERT_EQ(rc, 0u);
            got.append(reinterpret_cast<char *>(s->buf), s->data_len);
            ASSERT_EQ(fips_pellax_iobuf_skip_rest(&host.plt, s, expected), 0u);
        }
        EXPECT_EQ(host.fread_lengths, c.reads) << c.size;
        EXPECT_EQ(host.open_files, 0);  // a read of nothing closed the file at once
        EXPECT_EQ(got, slurp(path));
        // Later underflows only note that the file is over.
        host.logs.clear();
        PX_BYTE b = 0;
        EXPECT_EQ(fips_pellax_iobuf_peek(&host.plt, s, &b), 7u);
        ASSERT_FALSE(host.logs.empty());
        EXPECT_EQ(host.logs[0].level, PELLAX_LOG_INFO);
        EXPECT_EQ(host.logs[0].message.rfind("file stream is over, iobuf: 0x", 0), 0u);
        fips_pellax_iobuf_free(&host.plt, s);
        EXPECT_EQ(host.live_blocks, 0);
    }
}

TEST(FileFilter, WholeFileInReaderPieces) {
    TestHost host;
    const std::string path = temp_file("whole", 70001);
    PELLAX_IOBUF *s = nullptr;
    ASSERT_EQ(pellax_open_file_filter(&host.plt, path.c_str(), "rb", &s), 0u);
    std::string got;
    PX_BYTE piece[256];
    for (;;) {
        PX_UINT32 n = sizeof piece;
        ASSERT_EQ(fips_pellax_iobuf_read_noalloc(&host.plt, s, piece, 0, &n), 0u);
        if (n == 0) {
            break;
        }
        got.append(reinterpret_cast<char *>(piece), n);
    }
    EXPECT_EQ(got, slurp(path));
    for (PX_ULONG len : host.fread_lengths) {
        ASSERT_LE(len, 256u);
    }
    fips_pellax_iobuf_free(&host.plt, s);
}

TEST(FileFilter, MissingFileAndEarlyFree) {
    TestHost host;
    PELLAX_IOBUF *s = nullptr;
    const std::string missing = ::testing::TempDir() + "ff_no_such_file";
    EXPECT_EQ(pellax_open_file_filter(&host.plt, missing.c_str(), "rb", &s), 3u);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(host.live_blocks, 0);
    EXPECT_TRUE(host.logged(0, "pellax_fopen error, file path: " + missing + ", mode: rb."));

    const std::string path = temp_file("early", 5000);
    ASSERT_EQ(pellax_open_file_filter(&host.plt, path.c_str(), "rb", &s), 0u);
    PX_BYTE b = 0;
    ASSERT_EQ(fips_pellax_iobuf_peek(&host.plt, s, &b), 0u);
    EXPECT_EQ(host.open_files, 1);
    fips_pellax_iobuf_free(&host.plt, s);
    EXPECT_EQ(host.open_files, 0);
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(FileFilter, AllocationFailures) {
    const std::string path = temp_file("alloc", 1300);
    const std::string want = slurp(path);
    for (long n = 1;; ++n) {
        TestHost host;
        host.fail_malloc_at = n;
        PELLAX_IOBUF *s = nullptr;
        PELLAX_ERROR_CODE rc = pellax_open_file_filter(&host.plt, path.c_str(), "rb", &s);
        std::string got;
        while (rc == 0) {
            PX_BYTE piece[300];
            PX_UINT32 len = sizeof piece;
            rc = fips_pellax_iobuf_read_noalloc(&host.plt, s, piece, 0, &len);
            if (rc == 0 && len == 0) {
                break;
            }
            got.append(reinterpret_cast<char *>(piece), len);
        }
        fips_pellax_iobuf_free(&host.plt, s);
        EXPECT_EQ(host.live_blocks, 0) << n;
        EXPECT_EQ(host.open_files, 0) << n;
        if (!host.malloc_failed) {
            EXPECT_EQ(rc, 0u);
            EXPECT_EQ(got, want);
            break;
        }
        // A failed log buffer only loses a log line; any other failure reports 1.
        if (rc == 0) {
            EXPECT_EQ(got, want) << n;
        } else {
            EXPECT_EQ(rc, 1u) << n;
        }
    }
}

}  // namespace
