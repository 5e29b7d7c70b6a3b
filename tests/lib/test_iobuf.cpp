// Buffered stream: readers, writers, the filter contract, public forms, failure paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mem_source.h"
#include "pellax_iobuf.h"
#include "test_host.h"

namespace {

// A stream over `src`, freed with the test.
struct MemStream {
    TestHost &host;
    MemSource src;
    PELLAX_IOBUF *stream = nullptr;

    MemStream(TestHost &h, std::string bytes, size_t chunk = PELLAX_IOBUF_CAPACITY)
        : host(h), src(std::move(bytes)) {
        src.chunk = chunk;
        EXPECT_EQ(fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &src, &stream),
                  0u);
    }
    ~MemStream() { fips_pellax_iobuf_free(&host.plt, stream); }
    const PELLAX_PLT_FUNCS *plt() const { return &host.plt; }
};

std::string pattern(size_t n, char seed = 'a') {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(seed + i % 23);
    }
    return s;
}

TEST(Iobuf, ExhaustedStream) {
    TestHost host;
    MemStream m(host, "");
    PX_BYTE b = 0;
    EXPECT_EQ(fips_pellax_iobuf_peek(m.plt(), m.stream, &b), 7u);
    EXPECT_TRUE(host.logged(7, "No more data."));
    int eof = 0;
    EXPECT_EQ(fips_pellax_iobuf_get(m.plt(), m.stream, &b, &eof), 0u);
    EXPECT_EQ(eof, 1);
    EXPECT_EQ(fips_pellax_iobuf_get_noend(m.plt(), m.stream, &b), 114u);
    EXPECT_TRUE(host.logged(0, "Data is over."));
}

TEST(Iobuf, IntegersAndSkip) {
    const struct {
        const char *bytes;
        int op;  // 16, 32, or a skip count (negative)
        PELLAX_ERROR_CODE rc;
        PX_UINT32 value;
    } cases[] = {
        {"\x01\x02", 16, 0, 0x0102},
        {"\x01", 16, 7, 0x01},
        {"\x01\x02\x03\x04", 32, 0, 0x01020304},
        {"\xff\x02\x03", 32, 7, 0xff0203},
        {"abc", -3, 0, 0},
        {"abc", -5, 7, 0},
        {"", 0, 0, 0},  // skip of nothing
    };
    for (const auto &c : cases) {
        TestHost host;
        MemStream m(host, c.bytes, 2);
        if (c.op == 16) {
            uint16_t v = 0xFFFF;
            EXPECT_EQ(fips_pellax_iobuf_read_16(m.plt(), m.stream, &v), c.rc) << c.bytes;
            EXPECT_EQ(v, c.value);
        } else if (c.op == 32) {
            PX_UINT32 v = 0xFFFFFFFF;
            EXPECT_EQ(fips_pellax_iobuf_read_32(m.plt(), m.stream, &v), c.rc) << c.bytes;
            EXPECT_EQ(v, c.value);
        } else {
            EXPECT_EQ(fips_pellax_iobuf_skip_rest(m.plt(), m.stream, -c.op), c.rc) << c.bytes;
            int eof = 0;
            PX_BYTE b = 0;
            EXPECT_EQ(fips_pellax_iobuf_get(m.plt(), m.stream, &b, &eof), 0u);
            EXPECT_EQ(eof, 1);
        }
        if (c.rc == 7) {
            EXPECT_TRUE(host.logged(114, "pellax_iobuf_get_noend error."));
        }
    }
}

TEST(Iobuf, SkipAcrossUnderflowsLandsOnTheRightByte) {
    TestHost host;
    const std::string data = pattern(5000);
    MemStream m(host, data, 700);
    ASSERT_EQ(fips_pellax_iobuf_skip_rest(m.plt(), m.stream, 3001), 0u);
    PX_BYTE b = 0;
    ASSERT_EQ(fips_pellax_iobuf_peek(m.plt(), m.stream, &b), 0u);
    EXPECT_EQ(b, static_cast<PX_BYTE>(data[3001]));
}

// The byte-wise line reader the stream must behave like: line bytes, block size and limit.
struct ModelLine {
    std::string line;
    PX_UINT32 size;
    PX_UINT32 max_len;
};

std::vector<ModelLine> model_lines(const std::string &in, PX_UINT32 limit) {
    std::vector<ModelLine> out;
    size_t pos = 0;
    PX_UINT32 size = 256;
    for (;;) {
        PX_UINT32 max_len = limit;
        std::string line;
        for (;;) {
            if (line.size() >= max_len - 3) {
                while (pos < in.size() && in[pos++] != '\n') {
                }
                line += '\n';
                max_len = 0;
                break;
            }
            if (line.size() >= size - 3) {
                size = std::min<PX_UINT32>((size & ~0xFFu) + 256, max_len);
            }
            if (pos == in.size()) {
                if (line.empty()) {
                    return out;
                }
                line += '\n';
                break;
            }
            line += in[pos++];
            if (line.back() == '\n') {
                break;
            }
        }
        out.push_back({line, size, max_len});
    }
}

TEST(Iobuf, ReadLineMatchesTheByteWiseReader) {
    const std::string lines = "ab\r\n" + std::string(252, 'x') + "\n" + std::string(253, 'y') +
                              "\n" + std::string(1000, 'z') + "\nshort\n" + std::string(3000, 'w') +
                              "\n\n" + "tail";
    const struct {
        std::string input;
        PX_UINT32 max_len;
    } inputs[] = {
        {lines, 256},
        {lines, 20000},
        {lines, 1000},
        {std::string(30000, 'q') + "\nend", 20000},
        {std::string(19996, 'q') + "\n" + std::string(19997, 'r') + "\n", 20000},
    };
    const size_t chunks[] = {1, 7, 255, 1024};
    for (const auto &in : inputs) {
        const std::vector<ModelLine> want = model_lines(in.input, in.max_len);
        for (size_t chunk : chunks) {
            TestHost host;
            MemStream m(host, in.input, chunk);
            PX_BYTE *block = nullptr;
            PX_UINT32 size = 0;
            for (size_t i = 0;; ++i) {
                PX_UINT32 len = 99;
                PX_UINT32 max_len = in.max_len;
                ASSERT_EQ(
                    fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len),
                    0u);
                if (len == 0) {
                    EXPECT_EQ(i, want.size()) << "chunk " << chunk;
                    break;
                }
                ASSERT_LT(i, want.size());
                EXPECT_EQ(std::string(reinterpret_cast<char *>(block), len), want[i].line)
                    << "line " << i << " chunk " << chunk;
                EXPECT_EQ(block[len], 0);
                EXPECT_EQ(size, want[i].size) << "line " << i;
                EXPECT_EQ(max_len, want[i].max_len) << "line " << i;
            }
            pellax_free(&host.sys, block);
            EXPECT_EQ(host.live_blocks, 2);  // the stream's record and buffer
        }
    }
}

TEST(Iobuf, ReadLineLimits) {
    const struct {
        size_t line;  // bytes before the line feed
        PX_UINT32 len;
        PX_UINT32 max_len_after;
    } cases[] = {{252, 253, 256}, {253, 254, 0}, {1000, 254, 0}};
    for (const auto &c : cases) {
        TestHost host;
        MemStream m(host, std::string(c.line, 'x') + "\nafter\n");
        PX_BYTE *block = nullptr;
        PX_UINT32 size = 0, len = 0, max_len = 256;
        ASSERT_EQ(fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len),
                  0u);
        EXPECT_EQ(len, c.len) << c.line;
        EXPECT_EQ(max_len, c.max_len_after) << c.line;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(block), len),
                  std::string(c.len - 1, 'x') + "\n");
        max_len = 256;  // the rest of a cut line is gone: the next line follows
        ASSERT_EQ(fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len),
                  0u);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(block), len), "after\n");
        pellax_free(&host.sys, block);
    }
}

TEST(Iobuf, ReadLineArguments) {
    TestHost host;
    MemStream m(host, std::string(1000, 'z') + "\nnext\n");
    PX_BYTE *block = nullptr;
    PX_UINT32 size = 0, len = 0, max_len = 256;
    ASSERT_EQ(fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len), 0u);
    EXPECT_EQ(len, 254u);
    EXPECT_EQ(max_len, 0u);
    EXPECT_EQ(fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len), 201u);
    EXPECT_TRUE(host.logged(201, "Max length is too short. max length: 0x0."));
    EXPECT_TRUE(host.logged(201, "check_read_line_parameter error."));
    max_len = 256;
    ASSERT_EQ(fips_pellax_iobuf_read_line(m.plt(), m.stream, &block, &len, &size, &max_len), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), len), "next\n");

    PX_BYTE small[2];
    PX_BYTE *small_block = small;
    PX_UINT32 small_size = 2;
    EXPECT_EQ(
        fips_pellax_iobuf_read_line(m.plt(), m.stream, &small_block, &len, &small_size, &max_len),
        201u);
    EXPECT_TRUE(host.logged(201, "size is too short: 0x2."));
    pellax_free(&host.sys, block);
}

TEST(Iobuf, ReadNoallocWithOffset) {
    TestHost host;
    const std::string data = pattern(3000);
    MemStream m(host, data, 1000);
    std::vector<PX_BYTE> out(4000, 0xEE);
    PX_UINT32 got = 2500;
    ASSERT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 10, &got), 0u);
    EXPECT_EQ(got, 2500u);
    EXPECT_EQ(out[9], 0xEE);
    EXPECT_EQ(std::memcmp(out.data() + 10, data.data(), 2500), 0);
    got = 1000;
    ASSERT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 0, &got), 0u);
    EXPECT_EQ(got, 500u);
    EXPECT_EQ(std::memcmp(out.data(), data.data() + 2500, 500), 0);
    got = 1;
    ASSERT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 0, &got), 0u);
    EXPECT_EQ(got, 0u);
    got = 0;
    EXPECT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 0, &got), 201u);
}

TEST(Iobuf, GrowableRead) {
    const struct {
        PX_UINT32 block_size;  // 0: no block yet
        PX_UINT32 offset;
        PX_UINT32 ask;
        PX_UINT32 size_after;
        PX_UINT32 r_len_after;
    } cases[] = {
        {128, 100, 60, 512, 160},  // grows in steps of 512
        {128, 100, 20, 128, 120},  // fits in place
        {128, 100, 28, 512, 128},  // exactly full also grows
        {0, 0, 60, 60, 60},        // a fresh block of the requested size
        {128, 0, 300, 300, 200},   // replaces the block; only 200 bytes exist
        {600, 590, 200, 1024, 790},
    };
    for (const auto &c : cases) {
        TestHost host;
        const std::string data = pattern(200, 'A');
        MemStream m(host, data);
        PX_BYTE *block = nullptr;
        if (c.block_size != 0) {
            block = static_cast<PX_BYTE *>(pellax_malloc(&host.sys, c.block_size));
            std::memset(block, 'o', c.block_size);
        }
        PX_UINT32 size = c.block_size;
        PX_UINT32 r_len = c.ask;
        ASSERT_EQ(fips_pellax_iobuf_read(m.plt(), m.stream, &block, c.offset, &size, &r_len), 0u);
        EXPECT_EQ(size, c.size_after) << c.offset << "/" << c.ask;
        EXPECT_EQ(r_len, c.r_len_after);
        const PX_UINT32 read = r_len - c.offset;
        EXPECT_EQ(std::memcmp(block + c.offset, data.data(), read), 0);
        for (PX_UINT32 i = 0; i < c.offset; ++i) {
            ASSERT_EQ(block[i], 'o');
        }
        pellax_free(&host.sys, block);
    }
}

TEST(Iobuf, GrowableReadEdges) {
    TestHost host;
    MemStream m(host, "");
    PX_BYTE *block = nullptr;
    PX_UINT32 size = 0, r_len = 10;
    EXPECT_EQ(fips_pellax_iobuf_read(m.plt(), m.stream, &block, 5, &size, &r_len), 201u);
    EXPECT_TRUE(host.logged(201, "Offset is not zero, but buffer is null, this is a mistake"));
    // End of data leaves the caller's block alone.
    PX_BYTE own[8] = {1, 2, 3};
    block = own;
    size = sizeof own;
    r_len = 4;
    ASSERT_EQ(fips_pellax_iobuf_read(m.plt(), m.stream, &block, 3, &size, &r_len), 0u);
    EXPECT_EQ(r_len, 0u);
    EXPECT_EQ(block, own);
    // An offset past the caller's block is refused instead of read beyond it.
    r_len = 4;
    EXPECT_EQ(fips_pellax_iobuf_read(m.plt(), m.stream, &block, 9, &size, &r_len), 201u);
    EXPECT_EQ(host.live_blocks, 1);  // the stream's record
}

TEST(Iobuf, WriteAndPutLimits) {
    TestHost host;
    PELLAX_IOBUF *s = nullptr;
    ASSERT_EQ(fips_pellax_iobuf_create(&host.plt, &s), 0u);
    std::vector<PX_BYTE> big(1025, 7);
    EXPECT_EQ(fips_pellax_iobuf_write(&host.plt, s, big.data(), 1025), 6u);
    EXPECT_TRUE(host.logged(6,
                            "Can't put all data into buffer, space size: 0x400, put data "
                            "length: 0x401"));
    ASSERT_EQ(fips_pellax_iobuf_write(&host.plt, s, big.data(), 1000), 0u);
    for (int i = 0; i < 23; ++i) {
        ASSERT_EQ(fips_pellax_iobuf_put_nofull(&host.plt, s, 1), 0u);
    }
    EXPECT_EQ(fips_pellax_iobuf_put_nofull(&host.plt, s, 1), 30u);  // byte 1024 fills it
    int full = 0;
    EXPECT_EQ(fips_pellax_iobuf_put(&host.plt, s, 1, &full), 6u);
    EXPECT_TRUE(host.logged(1, "Can't put data into buffer any more."));
    PX_UINT32 space = 99;
    ASSERT_EQ(fips_pellax_iobuf_get_space_size(&host.plt, s, &space), 0u);
    EXPECT_EQ(space, 0u);

    // Consumed bytes count as free: write and put compact before appending.
    PX_UINT32 n = 600;
    ASSERT_EQ(fips_pellax_iobuf_read_noalloc(&host.plt, s, big.data(), 0, &n), 0u);
    ASSERT_EQ(fips_pellax_iobuf_get_space_size(&host.plt, s, &space), 0u);
    EXPECT_EQ(space, 600u);
    EXPECT_EQ(fips_pellax_iobuf_write(&host.plt, s, big.data(), 601), 6u);
    ASSERT_EQ(fips_pellax_iobuf_write(&host.plt, s, big.data(), 599), 0u);
    ASSERT_EQ(fips_pellax_iobuf_put(&host.plt, s, 9, &full), 0u);
    EXPECT_EQ(full, 1);
    fips_pellax_iobuf_free(&host.plt, s);
    EXPECT_EQ(host.live_blocks, 0);
}

TEST(Iobuf, WrittenBytesThenEndOfData) {
    TestHost host;
    PELLAX_IOBUF *s = nullptr;
    ASSERT_EQ(fips_pellax_iobuf_create(&host.plt, &s), 0u);
    const PX_BYTE bytes[] = {'x', 0, 0xFF, '\n'};
    ASSERT_EQ(fips_pellax_iobuf_write(&host.plt, s, bytes, sizeof bytes), 0u);
    std::vector<PX_BYTE> got;
    for (;;) {
        PX_BYTE b = 0;
        int eof = 0;
        ASSERT_EQ(fips_pellax_iobuf_get(&host.plt, s, &b, &eof), 0u);
        if (eof) {
            break;
        }
        got.push_back(b);
    }
    EXPECT_EQ(got, std::vector<PX_BYTE>(bytes, bytes + sizeof bytes));
    fips_pellax_iobuf_free(&host.plt, s);
}

TEST(Iobuf, PutFilterAppendsBehindTheKeptPositions) {
    // get keeps its positions on underflow, so a filter using put fills only the tail until
    // the buffer is full, and the next underflow compacts.
    TestHost host;
    const std::string data = pattern(3000);
    MemStream m(host, data, 500);
    m.src.use_put = true;
    std::string got;
    for (;;) {
        PX_BYTE b = 0;
        int eof = 0;
        ASSERT_EQ(fips_pellax_iobuf_get(m.plt(), m.stream, &b, &eof), 0u);
        if (eof) {
            break;
        }
        got += static_cast<char>(b);
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(m.src.appended, (std::vector<size_t>{500, 500, 24, 500, 500, 24, 500, 452, 0}));
}

TEST(Iobuf, FailingFilter) {
    TestHost host;
    MemStream m(host, pattern(2000), 1024);
    m.src.fail_at = 2;
    m.src.fail_after_bytes = 100;
    std::vector<PX_BYTE> out(2000);
    PX_UINT32 n = 2000;
    EXPECT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 0, &n), 6u);
    EXPECT_EQ(n, 2000u);
    EXPECT_TRUE(host.logged(6, "underflow error."));
    // What the filter appended before failing stays readable.
    PX_BYTE b = 0;
    int eof = 0;
    ASSERT_EQ(fips_pellax_iobuf_get(m.plt(), m.stream, &b, &eof), 0u);
    EXPECT_EQ(b, static_cast<PX_BYTE>(m.src.data[1024]));
    n = 2000;
    ASSERT_EQ(fips_pellax_iobuf_read_noalloc(m.plt(), m.stream, out.data(), 0, &n), 0u);
    EXPECT_EQ(n, 2000u - 1025u);
    EXPECT_EQ(out[0], static_cast<PX_BYTE>(m.src.data[1025]));
}

TEST(Iobuf, FilterInitAndFreeFailures) {
    TestHost host;
    MemSource src;
    src.init_rc = 25;
    PELLAX_IOBUF *s = reinterpret_cast<PELLAX_IOBUF *>(&src);
    EXPECT_EQ(fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &src, &s), 25u);
    EXPECT_EQ(s, nullptr);
    EXPECT_TRUE(src.freed);
    EXPECT_TRUE(host.logged(25, "Initialize stream error."));
    EXPECT_EQ(fips_pellax_iobuf_create_and_init(&host.plt, nullptr, &src, &s), 201u);
    EXPECT_EQ(host.live_blocks, 0);

    MemSource noisy;
    noisy.free_rc = 10;
    ASSERT_EQ(fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &noisy, &s), 0u);
    host.logs.clear();
    fips_pellax_iobuf_free(&host.plt, s);
    ASSERT_EQ(host.logs.size(), 1u);
    EXPECT_EQ(host.logs[0].level, PELLAX_LOG_WARNING);
    EXPECT_EQ(host.logs[0].code, 10);
    EXPECT_EQ(host.logs[0].message.rfind("Destory filter error, iobuf: 0x", 0), 0u);
    EXPECT_EQ(host.live_blocks, 0);
}

// A host's own filter, attached through the public form, is called without the table.
struct HostFilter {
    int calls[3] = {0, 0, 0};
    bool delivered = false;
    static PELLAX_ERROR_CODE filter(PELLAX_IOBUF *stream, int command) {
        HostFilter *f = static_cast<HostFilter *>(stream->filter_ctx);
        ++f->calls[command];
        if (command == FILTER_CMD_UNDERFLOW && !f->delivered) {
            f->delivered = true;
            const PX_BYTE bytes[] = {0xAB, 0xCD};
            return pellax_iobuf_write(stream, bytes, 2);
        }
        return 0;
    }
};

TEST(Iobuf, PublicForms) {
    TestHost host;
    HostFilter f;
    PELLAX_IOBUF *s = nullptr;
    uint16_t v = 0;
    EXPECT_EQ(pellax_iobuf_create(&s), 214u);
    EXPECT_EQ(pellax_iobuf_create_and_init(&HostFilter::filter, &f, &s), 214u);
    EXPECT_EQ(pellax_iobuf_read_16(s, &v), 214u);
    EXPECT_EQ(pellax_iobuf_free(s), 214u);
    ASSERT_EQ(host.install(), 0u);
    ASSERT_EQ(pellax_iobuf_create_and_init(&HostFilter::filter, &f, &s), 0u);
    EXPECT_EQ(s->filter_style, 1u);
    EXPECT_EQ(f.calls[FILTER_CMD_INIT], 1);
    EXPECT_EQ(pellax_iobuf_read_16(s, &v), 0u);
    EXPECT_EQ(v, 0xABCD);
    PX_BYTE b = 0;
    EXPECT_EQ(pellax_iobuf_get_noend(s, &b), 114u);

    s_kitCallbackFuncs.plt.sys.fclose = nullptr;
    EXPECT_EQ(pellax_iobuf_get_noend(s, &b), 206u);
    EXPECT_EQ(pellax_iobuf_free(s), 206u);
    s_kitCallbackFuncs.plt.sys.fclose = host.sys.fclose;
    EXPECT_EQ(pellax_iobuf_free(s), 0u);
    EXPECT_EQ(f.calls[FILTER_CMD_FREE], 1);
    EXPECT_EQ(host.live_blocks, 0);
}

// Every allocation of a typical reader's life fails once; nothing leaks and the code is 1.
TEST(Iobuf, AllocationFailures) {
    for (long n = 1;; ++n) {
        TestHost host;
        host.fail_malloc_at = n;
        MemSource src(pattern(900) + "\n" + pattern(300));
        src.chunk = 100;
        PELLAX_IOBUF *s = nullptr;
        PELLAX_ERROR_CODE rc =
            fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &src, &s);
        PX_BYTE *line = nullptr;
        PX_BYTE *block = nullptr;
        PX_UINT32 size = 0, len = 0, max_len = 20000, block_size = 0, r_len = 200;
        if (rc == 0) {
            rc = fips_pellax_iobuf_read_line(&host.plt, s, &line, &len, &size, &max_len);
        }
        if (rc == 0) {
            rc = fips_pellax_iobuf_read(&host.plt, s, &block, 0, &block_size, &r_len);
        }
        if (rc == 0) {
            r_len = 100;
            rc = fips_pellax_iobuf_read(&host.plt, s, &block, 100, &block_size, &r_len);
        }
        if (line != nullptr) {
            pellax_free(&host.sys, line);
        }
        if (block != nullptr) {
            pellax_free(&host.sys, block);
        }
        fips_pellax_iobuf_free(&host.plt, s);
        EXPECT_EQ(host.live_blocks, 0) << n;
        if (!host.malloc_failed) {
            EXPECT_EQ(rc, 0u);
            EXPECT_EQ(r_len, 200u);
            break;
        }
        EXPECT_EQ(rc, 1u) << n;
    }
}

}  // namespace
