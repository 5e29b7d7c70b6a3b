// memcpy_s, memmove_s, memset_s and strcpy_s: edge tables, then random calls against a plain
// model. Every call works inside one arena, so bytes outside the destination act as guards.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "memcpy_s.h"
#include "memmove_s.h"
#include "memset_s.h"
#include "strcpy_s.h"

namespace {

constexpr size_t kArena = 4096;
constexpr long kDest = 1200;      // destination offset inside the arena
constexpr long kNull = LONG_MIN;  // source offset meaning "null pointer"
constexpr long kFar = 1500;       // a source well clear of the destination
constexpr size_t kTooBig = BOUNDS_MAX_DEST_SIZE + 1;

using Bytes = std::vector<unsigned char>;

Bytes pattern() {
    Bytes a(kArena);
    for (size_t i = 0; i < kArena; ++i) {
        a[i] = static_cast<unsigned char>(i * 37 + 11);
    }
    return a;
}

// Where a failed check happened: the first differing arena offset, relative to dest.
::testing::AssertionResult same_arena(const Bytes &got, const Bytes &want) {
    for (size_t i = 0; i < kArena; ++i) {
        if (got[i] != want[i]) {
            return ::testing::AssertionFailure()
                   << "byte at dest" << static_cast<long>(i) - kDest << " is " << int{got[i]}
                   << ", expected " << int{want[i]};
        }
    }
    return ::testing::AssertionSuccess();
}

unsigned char *at(Bytes &a, long offset) {
    return a.data() + kDest + offset;
}

enum class After { untouched, cleared, copied, filled_count, filled_all, emptied };

// What the arena must hold afterwards, from the snapshot taken before the call.
Bytes expected(const Bytes &before, After after, size_t size, long src, size_t count, int value) {
    Bytes want = before;
    switch (after) {
        case After::untouched:
            break;
        case After::cleared:
            std::memset(at(want, 0), 0, size);
            break;
        case After::copied:
            std::memmove(at(want, 0), before.data() + kDest + src, count);
            break;
        case After::filled_count:
            std::memset(at(want, 0), value, count);
            break;
        case After::filled_all:
            std::memset(at(want, 0), value, size);
            break;
        case After::emptied:
            *at(want, 0) = 0;
            break;
    }
    return want;
}

using CopyFn = int (*)(void *, size_t, const void *, size_t);

struct CopyCase {
    const char *what;
    size_t size;
    bool null_dest;
    long src;  // offset from dest, or kNull
    size_t count;
    int cpy_rc;
    After cpy_after;
    int move_rc;
    After move_after;
};

TEST(BoundedCopy, MemcpyAndMemmoveEdges) {
    const CopyCase cases[] = {
        {"exactly fits", 8, false, kFar, 8, 0, After::copied, 0, After::copied},
        {"one byte short", 8, false, kFar, 9, 162, After::cleared, 162, After::cleared},
        {"16 into 8", 8, false, kFar, 16, 162, After::cleared, 162, After::cleared},
        {"zero count", 8, false, kFar, 0, 0, After::untouched, 0, After::untouched},
        {"source is dest", 8, false, 0, 8, 0, After::untouched, 0, After::untouched},
        {"source 4 after dest", 16, false, 4, 8, 182, After::cleared, 0, After::copied},
        {"source 4 before dest", 16, false, -4, 8, 182, After::cleared, 0, After::copied},
        {"adjacent after", 8, false, 8, 8, 0, After::copied, 0, After::copied},
        {"adjacent before", 8, false, -8, 8, 0, After::copied, 0, After::copied},
        {"fit before overlap", 16, false, 4, 17, 162, After::cleared, 162, After::cleared},
        {"null source", 8, false, kNull, 4, 150, After::cleared, 150, After::cleared},
        {"null source, zero count", 8, false, kNull, 0, 150, After::cleared, 150, After::cleared},
        {"pointers before fit", 8, false, kNull, 99, 150, After::cleared, 150, After::cleared},
        {"null dest", 8, true, kFar, 4, 22, After::untouched, 22, After::untouched},
        {"size 0", 0, false, kFar, 0, 34, After::untouched, 34, After::untouched},
        {"size before pointers", 0, true, kNull, 0, 34, After::untouched, 34, After::untouched},
        {"size above largest", kTooBig, false, kFar, 4, 34, After::untouched, 34, After::untouched},
        {"largest size accepted", BOUNDS_MAX_DEST_SIZE, true, kFar, 4, 22, After::untouched, 22,
         After::untouched},
    };
    for (const auto &c : cases) {
        for (const bool move : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (move ? " (memmove_s)" : " (memcpy_s)"));
            Bytes arena = pattern();
            const Bytes before = arena;
            const CopyFn fn = move ? memmove_s : memcpy_s;
            const int rc = fn(c.null_dest ? nullptr : at(arena, 0), c.size,
                              c.src == kNull ? nullptr : at(arena, c.src), c.count);
            EXPECT_EQ(rc, move ? c.move_rc : c.cpy_rc);
            EXPECT_TRUE(same_arena(arena, expected(before, move ? c.move_after : c.cpy_after,
                                                   c.size, c.src, c.count, 0)));
        }
    }
}

TEST(BoundedFill, MemsetEdges) {
    const struct {
        const char *what;
        size_t size;
        bool null_dest;
        size_t count;
        int rc;
        After after;
    } cases[] = {
        {"exactly fits", 8, false, 8, 0, After::filled_count},
        {"one byte short", 8, false, 9, 162, After::filled_all},
        {"count 6 into 4", 4, false, 6, 162, After::filled_all},
        {"part of the destination", 8, false, 3, 0, After::filled_count},
        {"zero count", 8, false, 0, 0, After::untouched},
        {"empty request", 0, false, 0, 0, After::untouched},
        {"size 0 with a count", 0, false, 1, 34, After::untouched},
        {"size above largest", kTooBig, false, 1, 34, After::untouched},
        {"null dest", 8, true, 4, 22, After::untouched},
        {"null dest, empty request", 0, true, 0, 22, After::untouched},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes arena = pattern();
        const Bytes before = arena;
        const int value = 0x1C3;  // only the low byte is stored
        EXPECT_EQ(memset_s(c.null_dest ? nullptr : at(arena, 0), c.size, value, c.count), c.rc);
        EXPECT_TRUE(same_arena(arena, expected(before, c.after, c.size, 0, c.count, 0xC3)));
    }
}

// Puts a text of `len` letters with its terminator at dest + offset.
void place_text(Bytes &arena, long offset, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        at(arena, offset)[i] = static_cast<unsigned char>('a' + i % 26);
    }
    at(arena, offset)[len] = 0;
}

TEST(BoundedTextCopy, StrcpyEdges) {
    const struct {
        const char *what;
        size_t size;
        bool null_dest;
        long src;
        size_t len;
        int rc;
        After after;
    } cases[] = {
        {"exactly fits", 8, false, kFar, 7, 0, After::copied},
        {"one byte short", 8, false, kFar, 8, 162, After::emptied},
        {"1024 characters into 1024", 1024, false, kFar, 1024, 162, After::emptied},
        {"empty text", 1, false, kFar, 0, 0, After::copied},
        {"source is dest", 8, false, 0, 5, 0, After::untouched},
        {"source is dest, too long", 8, false, 0, 8, 162, After::emptied},
        {"source inside dest", 16, false, 2, 5, 182, After::emptied},
        {"source runs into dest", 16, false, -4, 6, 182, After::emptied},
        {"source past the written part of dest", 16, false, 10, 3, 182, After::emptied},
        {"source ends before dest", 16, false, -6, 5, 0, After::copied},
        {"fit before overlap", 4, false, -2, 4, 162, After::emptied},
        {"null source", 8, false, kNull, 0, 150, After::emptied},
        {"null dest", 8, true, kFar, 3, 22, After::untouched},
        {"size 0", 0, false, kFar, 3, 34, After::untouched},
        {"size above largest", kTooBig, false, kFar, 3, 34, After::untouched},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes arena = pattern();
        if (c.src != kNull) {
            place_text(arena, c.src, c.len);
        }
        const Bytes before = arena;
        char *dest = c.null_dest ? nullptr : reinterpret_cast<char *>(at(arena, 0));
        const char *src = c.src == kNull ? nullptr : reinterpret_cast<char *>(at(arena, c.src));
        EXPECT_EQ(strcpy_s(dest, c.size, src), c.rc);
        EXPECT_TRUE(same_arena(arena, expected(before, c.after, c.size, c.src, c.len + 1, 0)));
    }
}

TEST(BoundedTextCopy, UnterminatedSourceIsReadOnlyToTheSize) {
    std::vector<char> src(16, 'x');  // no terminator: the sanitizer build sees any overread
    char dest[16];
    EXPECT_EQ(strcpy_s(dest, sizeof dest, src.data()), 162);
    EXPECT_EQ(dest[0], '\0');
}

// The plain model the random calls are checked against, on arena offsets.
int model(int routine, Bytes &a, bool null_dest, size_t size, long src, size_t count, int value) {
    const long d = kDest;
    if (routine == 2) {
        if ((size == 0 && count != 0) || size > BOUNDS_MAX_DEST_SIZE)
            return 34;
        if (null_dest)
            return 22;
        std::fill_n(&a[d], count > size ? size : count, static_cast<unsigned char>(value));
        return count > size ? 162 : 0;
    }
    if (size == 0 || size > BOUNDS_MAX_DEST_SIZE)
        return 34;
    if (null_dest)
        return 22;
    const size_t reset = routine == 3 ? 1 : size;
    if (src == kNull)
        return std::fill_n(&a[d], reset, 0), 150;
    if (routine == 3)
        count = std::strlen(reinterpret_cast<const char *>(&a[d + src])) + 1;
    if (count > size)
        return std::fill_n(&a[d], reset, 0), 162;
    if (count == 0 || src == 0)
        return 0;
    const long reach = routine == 3 ? static_cast<long>(size) : static_cast<long>(count);
    const bool overlap = d + src < d + reach && d < d + src + static_cast<long>(count);
    if (overlap && routine != 1)
        return std::fill_n(&a[d], reset, 0), 182;
    const Bytes block(&a[d + src], &a[d + src] + count);
    std::copy(block.begin(), block.end(), &a[d]);
    return 0;
}

TEST(BoundedMemory, RandomCallsMatchTheModel) {
    std::mt19937 rng(20240611);
    auto pick = [&rng](long lo, long hi) {
        return std::uniform_int_distribution<long>(lo, hi)(rng);
    };
    for (int round = 0; round < 4000; ++round) {
        const int routine = static_cast<int>(pick(0, 3));  // memcpy, memmove, memset, strcpy
        Bytes arena(kArena);
        for (auto &b : arena)
            b = static_cast<unsigned char>(pick(0, 255));
        const long roll = pick(0, 39);
        const size_t size = roll == 0 ? 0 : roll == 1 ? kTooBig : static_cast<size_t>(pick(1, 64));
        const bool null_dest = pick(0, 29) == 0;
        const long src = pick(0, 29) == 0 ? kNull : pick(-100, 100);
        size_t count = static_cast<size_t>(pick(0, 80));
        const int value = static_cast<int>(pick(-300, 300));
        if (routine == 3 && src != kNull)
            place_text(arena, src, count);
        SCOPED_TRACE(::testing::Message() << "round " << round << " routine " << routine << " size "
                                          << size << " src " << src << " count " << count);
        Bytes want = arena;
        const int want_rc = model(routine, want, null_dest, size, src, count, value);
        unsigned char *d = null_dest ? nullptr : at(arena, 0);
        const unsigned char *s = src == kNull ? nullptr : at(arena, src);
        int rc = -1;
        switch (routine) {
            case 0:
                rc = memcpy_s(d, size, s, count);
                break;
            case 1:
                rc = memmove_s(d, size, s, count);
                break;
            case 2:
                rc = memset_s(d, size, value, count);
                break;
            default:
                rc = strcpy_s(reinterpret_cast<char *>(d), size, reinterpret_cast<const char *>(s));
        }
        ASSERT_EQ(rc, want_rc);
        ASSERT_TRUE(same_arena(arena, want));
    }
}

}  // namespace
