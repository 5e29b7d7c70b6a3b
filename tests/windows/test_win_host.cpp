// The Windows services table and the file stream.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "pellax_iobuf.h"
#include "scratch_dir.h"
#include "win_host.h"

namespace {

int format(const PELLAX_SYS_API &sys, char *dest, PX_ULONG size, PX_ULONG count, const char *text,
           ...) {
    va_list args;
    va_start(args, text);
    int rc = sys.vsnprintf_s(dest, size, count, text, args);
    va_end(args);
    return rc;
}

TEST(HostServices, BoundedSlotsRefuseWhatDoesNotFit) {
    PELLAX_SYS_API sys;
    fill_host_services(&sys);
    char buffer[16];
    EXPECT_EQ(format(sys, buffer, sizeof buffer, 15, "%s", "0123456789"), 10);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(format(sys, buffer, sizeof buffer, 15, "%s", "0123456789abcdef"), -1);
    EXPECT_EQ(format(sys, buffer, sizeof buffer, 16, "%s", "0123456789abcdef"), -1);
    EXPECT_EQ(sys.memset_s(buffer, 16, 0, 17), -1);
    EXPECT_EQ(sys.memset_s(buffer, 16, 'a', 16), 0);
    EXPECT_EQ(sys.memcpy_s(buffer, 4, "abcde", 5), 34);
    EXPECT_EQ(sys.memmove_s(buffer, 4, nullptr, 2), 22);
    EXPECT_EQ(sys.strcpy_s(buffer, 4, "abcd"), 34);
    EXPECT_EQ(init_host_services(), 0);
}

class FileStream : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(init_host_services(), 0); }
    // The ANSI form of a scratch path.
    std::string ansi(const std::wstring &relative) const {
        return dir.path().string() + "\\" + std::filesystem::path(relative).string();
    }
    scratch_dir dir;
};

TEST_F(FileStream, DeliversTheFileInUnderflowsOfTheFreeSpace) {
    const struct {
        size_t size;
        std::vector<PX_UINT32> reads;  // bytes delivered by successive reads of 1024
    } cases[] = {{0, {0}}, {512, {512, 0}}, {1024, {1024, 0}}, {1500, {1024, 476, 0}}};
    for (const auto &c : cases) {
        std::string bytes;
        for (size_t i = 0; i < c.size; ++i) {
            bytes += static_cast<char>(i * 7);
        }
        dir.write(L"data.bin", bytes);
        PELLAX_IOBUF *stream = open_file_stream(ansi(L"data.bin").c_str());
        ASSERT_NE(stream, nullptr);
        std::string got;
        for (PX_UINT32 expected : c.reads) {
            PX_BYTE block[1024];
            PX_UINT32 length = sizeof block;
            ASSERT_EQ(pellax_iobuf_read_noalloc(stream, block, 0, &length), PELLAX_OK);
            EXPECT_EQ(length, expected) << c.size;
            got.append(reinterpret_cast<char *>(block), length);
        }
        EXPECT_EQ(got, bytes);
        EXPECT_EQ(static_cast<win_file_ctx *>(stream->filter_ctx)->eof, 1u);
        pellax_iobuf_free(stream);
    }
}

TEST_F(FileStream, A512ByteFileComesInOneReadThenEndOfFile) {
    dir.write(L"sig.bin", std::string(512, 's'));
    PELLAX_IOBUF *stream = open_file_stream(ansi(L"sig.bin").c_str());
    ASSERT_NE(stream, nullptr);
    win_file_ctx *ctx = static_cast<win_file_ctx *>(stream->filter_ctx);
    EXPECT_EQ(ctx->eof, 0u);
    // One underflow: a read of 512 bytes, then a read of nothing that marks the end.
    ASSERT_EQ(win_file_filter(stream, FILTER_CMD_UNDERFLOW), PELLAX_OK);
    EXPECT_EQ(stream->data_len, 512u);
    EXPECT_EQ(ctx->eof, 1u);
    ASSERT_EQ(win_file_filter(stream, FILTER_CMD_UNDERFLOW), PELLAX_OK);
    EXPECT_EQ(stream->data_len, 512u);
    pellax_iobuf_free(stream);
}

TEST_F(FileStream, MissingFileAndForeignStreams) {
    EXPECT_EQ(open_file_stream(ansi(L"missing.bin").c_str()), nullptr);
    EXPECT_EQ(open_file_stream(nullptr), nullptr);
    dir.write(L"a.bin", "abc");
    PELLAX_IOBUF *stream = open_file_stream(ansi(L"a.bin").c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_STREQ(stream->filter_name, "file");
    // Release is refused for a stream that is not ours.
    stream->filter_name = "armor";
    EXPECT_EQ(win_file_filter(stream, FILTER_CMD_FREE), static_cast<PELLAX_ERROR_CODE>(201));
    stream->filter_name = WIN_FILE_FILTER_NAME;
    EXPECT_EQ(win_file_filter(nullptr, FILTER_CMD_UNDERFLOW), static_cast<PELLAX_ERROR_CODE>(201));
    EXPECT_EQ(win_file_filter(stream, 99), PELLAX_OK);
    pellax_iobuf_free(stream);
}

}  // namespace
