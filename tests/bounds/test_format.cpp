// snprintf_s and vsnprintf_s: the room rules as tables, conversions against the C library's
// snprintf, and random formats, sizes and counts. Destinations sit between guard bytes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "snprintf_s.h"
#include "vsnprintf_s.h"

namespace {

constexpr size_t kGuard = 16;
constexpr char kFill = '#';  // never part of a formatted text below

// A destination of `size` bytes between guards; every byte starts as kFill.
struct Guarded {
    explicit Guarded(size_t n) : size(n), bytes(n + 2 * kGuard, kFill) {}
    char *dest() { return bytes.data() + kGuard; }
    bool guards_intact() const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if ((i < kGuard || i >= kGuard + size) && bytes[i] != kFill)
                return false;
        }
        return true;
    }
    size_t size;
    std::vector<char> bytes;
};

// No format attribute here, so refused formats can be passed on purpose.
int format(char *dest, size_t size, size_t count, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int rc = vsnprintf_s(dest, size, count, fmt, args);
    va_end(args);
    return rc;
}

// The destination holds `text` terminated and, after the terminator, only untouched bytes.
::testing::AssertionResult holds(Guarded &g, const std::string &text) {
    if (!g.guards_intact())
        return ::testing::AssertionFailure() << "guard byte written";
    if (std::memcmp(g.dest(), text.data(), text.size()) != 0 || g.dest()[text.size()] != '\0') {
        return ::testing::AssertionFailure()
               << "holds \"" << std::string(g.dest(), text.size()) << "\", want \"" << text << '"';
    }
    for (size_t i = text.size() + 1; i < g.size; ++i) {
        if (g.dest()[i] != kFill)
            return ::testing::AssertionFailure() << "byte " << i << " written";
    }
    return ::testing::AssertionSuccess();
}

// An empty destination keeps nothing of the text: each byte is untouched or zero.
::testing::AssertionResult emptied(Guarded &g) {
    if (!g.guards_intact())
        return ::testing::AssertionFailure() << "guard byte written";
    if (g.dest()[0] != '\0')
        return ::testing::AssertionFailure() << "first byte not cleared";
    for (size_t i = 1; i < g.size; ++i) {
        if (g.dest()[i] != kFill && g.dest()[i] != '\0') {
            return ::testing::AssertionFailure() << "byte " << i << " keeps text";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult untouched(const Guarded &g) {
    for (char b : g.bytes) {
        if (b != kFill)
            return ::testing::AssertionFailure() << "a byte was written";
    }
    return ::testing::AssertionSuccess();
}

std::string letters(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

// What the room rules make of a full text: the kept part and the result.
struct Outcome {
    std::string text;
    int rc;
};
Outcome by_the_rules(const std::string &full, size_t size, size_t count) {
    const int len = static_cast<int>(full.size());
    if (count < size)
        return full.size() <= count ? Outcome{full, len} : Outcome{full.substr(0, count), -1};
    return full.size() <= size - 1 ? Outcome{full, len} : Outcome{"", -1};
}

TEST(BoundedFormat, RoomRules) {
    const struct {
        const char *what;
        size_t size;
        size_t count;
        size_t len;
        int rc;
        size_t kept;  // characters kept; 0 with rc -1 means an empty destination
    } cases[] = {
        {"size 512, count 511, 600 characters", 512, 511, 600, -1, 511},
        {"size 16, count 16, 20 characters", 16, 16, 20, -1, 0},
        {"count 2047, size 2048, 2047 characters", 2048, 2047, 2047, 2047, 2047},
        {"count rules: exactly fits", 8, 5, 5, 5, 5},
        {"count rules: one byte short", 8, 5, 6, -1, 5},
        {"size rules: exactly fits", 8, 8, 7, 7, 7},
        {"size rules: one byte short", 8, 8, 8, -1, 0},
        {"count above size: exactly fits", 8, 100, 7, 7, 7},
        {"count above size: one byte short", 8, 100, 8, -1, 0},
        {"all ones: exactly fits", 8, BOUNDS_COUNT_ALL, 7, 7, 7},
        {"all ones: one byte short", 8, BOUNDS_COUNT_ALL, 8, -1, 0},
        {"count 0, empty text", 8, 0, 0, 0, 0},
        {"count 0, one character", 8, 0, 1, -1, 0},
        {"size 1, empty text", 1, 5, 0, 0, 0},
        {"largest count accepted", 8, BOUNDS_MAX_DEST_SIZE - 1, 7, 7, 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = letters(c.len);
        Guarded g(c.size);
        EXPECT_EQ(snprintf_s(g.dest(), c.size, c.count, "%s", text.c_str()), c.rc);
        EXPECT_TRUE(c.rc == -1 && c.kept == 0 ? emptied(g) : holds(g, text.substr(0, c.kept)));
    }
}

TEST(BoundedFormat, RefusedArguments) {
    const struct {
        const char *what;
        bool null_dest;
        size_t size;
        size_t count;
        bool null_format;
        bool cleared;  // whether dest[0] is cleared
    } cases[] = {
        {"null dest", true, 8, 4, false, false},
        {"null format", false, 8, 4, true, true},
        {"size 0", false, 0, 0, false, false},
        {"size above largest", false, BOUNDS_MAX_DEST_SIZE + 1, 4, false, false},
        {"count 2^31 - 1", false, 8, BOUNDS_MAX_DEST_SIZE, false, true},
        {"count 2^31", false, 8, BOUNDS_MAX_DEST_SIZE + 1, false, true},
        {"count all ones but one", false, 8, BOUNDS_COUNT_ALL - 1, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Guarded g(8);
        EXPECT_EQ(format(c.null_dest ? nullptr : g.dest(), c.size, c.count,
                         c.null_format ? nullptr : "abc"),
                  -1);
        EXPECT_TRUE(c.cleared ? emptied(g) : untouched(g));
    }
}

// Formats with our formatter and with the C library, room unlimited, and compares.
template <typename... A>
::testing::AssertionResult like_libc(const char *fmt, A... args) {
    char want[512];
    const int n = std::snprintf(want, sizeof want, fmt, args...);
    Guarded g(sizeof want);
    const int rc = format(g.dest(), sizeof want, BOUNDS_COUNT_ALL, fmt, args...);
    if (rc != n || !holds(g, std::string(want, n))) {
        return ::testing::AssertionFailure() << fmt << ": gives \"" << std::string(g.dest(), 40)
                                             << "\" (" << rc << "), want \"" << want << '"';
    }
    return ::testing::AssertionSuccess();
}

TEST(BoundedFormat, ConversionsAsTheCLibrary) {
    void *p = reinterpret_cast<void *>(uintptr_t{0x7ffe12ab});
    EXPECT_TRUE(like_libc("%d|%i|%d|%d", 0, -42, INT_MIN, INT_MAX));
    EXPECT_TRUE(like_libc("%u|%u|%lu|%ld", 0u, UINT_MAX, ULONG_MAX, LONG_MIN));
    EXPECT_TRUE(like_libc("%llu|%lld|%llx", ULLONG_MAX, LLONG_MIN, 0x1234567890abcdefULL));
    EXPECT_TRUE(like_libc("%x|%X|%o|%lx|%lX", 0xbeefu, 0xbeefu, 8u, 0xcafeUL, 0xcafeUL));
    EXPECT_TRUE(like_libc("%08x|%02x|%02x|%08lX", 0xabcu, 7u, 0x1ffu, 0xdeadbeefUL));
    EXPECT_TRUE(like_libc("%#x|%#X|%#o|%#o|%#x|%#.3o", 255u, 255u, 8u, 0u, 0u, 8u));
    EXPECT_TRUE(like_libc("%+d|% d|%+d|% d|%+ d", 5, 5, -5, 0, 1));
    EXPECT_TRUE(like_libc("%-6d|%6d|%06d|%-06d|%+06d|%#010x", -12, -12, -12, -12, 12, 42u));
    EXPECT_TRUE(like_libc("%.0d|%.0x|%5.0d|%.3d|%08.3d|%#.0o", 0, 0u, 0, -7, 7, 0u));
    EXPECT_TRUE(like_libc("%hhd|%hhu|%hd|%hu|%hhx", 300, 300u, 70000, 70000u, 0x1ffu));
    EXPECT_TRUE(like_libc("%zu|%zd|%zx|%td|%jd|%ju", SIZE_MAX, static_cast<ptrdiff_t>(-3),
                          size_t{0xabc}, ptrdiff_t{-9}, INTMAX_MIN, UINTMAX_MAX));
    EXPECT_TRUE(like_libc("%*d|%-*d|%.*d|%*.*x|%.*d", 5, 42, 5, 42, 3, 7, -6, -1, 255u, -2, 0));
    EXPECT_TRUE(like_libc("%s|%.20s|%8s|%-8s|%.2s|%.0s|%8.2s", "text",
                          "a long text of more than twenty", "ab", "ab", "xyz", "abc", "xyz"));
    EXPECT_TRUE(like_libc("%c|%3c|%-3c|a%cb", 'a', 'b', 'c', 0));
    EXPECT_TRUE(like_libc("%p|%20p|%-20p|%p|%8p", p, p, p, static_cast<void *>(nullptr),
                          static_cast<void *>(nullptr)));
    EXPECT_TRUE(like_libc("100%% sure %s%%", "yes"));
    EXPECT_TRUE(like_libc("\r\n[%s]:[%s]:[%lu]:[%s:%d]:%s", "Tue Jun 11 10:00:00 2024\n", "ERROR",
                          140001UL, "parse.cpp", 88, "Packet length item is too long."));
}

TEST(BoundedFormat, NullTextPrintsNull) {
    const char *none = nullptr;
    Guarded g(32);
    EXPECT_EQ(format(g.dest(), g.size, BOUNDS_COUNT_ALL, "[%s|%8s|%-7s]", none, none, none), 25);
    EXPECT_TRUE(holds(g, "[(null)|  (null)|(null) ]"));
}

TEST(BoundedFormat, PrecisionBoundsTheReadOfAText) {
    const std::vector<char> raw(20, 'z');  // no terminator: the sanitizer build sees any overread
    Guarded g(64);
    EXPECT_EQ(format(g.dest(), g.size, BOUNDS_COUNT_ALL, "%.20s|%.5s|%24.20s", raw.data(),
                     raw.data(), raw.data()),
              51);
    EXPECT_TRUE(holds(g, std::string(20, 'z') + "|zzzzz|    " + std::string(20, 'z')));
}

TEST(BoundedFormat, RefusedFormatsEmptyTheDestination) {
    const struct {
        const char *fmt;
        size_t size;
        size_t count;
    } cases[] = {
        {"%n", 32, BOUNDS_COUNT_ALL},
        {"ab%nc", 32, BOUNDS_COUNT_ALL},
        {"%s%n", 8, 4},
        {"%f", 32, BOUNDS_COUNT_ALL},
        {"%e", 32, BOUNDS_COUNT_ALL},
        {"%g", 32, BOUNDS_COUNT_ALL},
        {"%a", 32, BOUNDS_COUNT_ALL},
        {"%Lf", 32, BOUNDS_COUNT_ALL},
        {"%5%", 32, BOUNDS_COUNT_ALL},
        {"abc%", 32, BOUNDS_COUNT_ALL},
        {"%l", 32, BOUNDS_COUNT_ALL},
        {"%ls", 32, BOUNDS_COUNT_ALL},
        {"%lc", 32, BOUNDS_COUNT_ALL},
        {"%hp", 32, BOUNDS_COUNT_ALL},
        {"%k", 32, BOUNDS_COUNT_ALL},
        {"%2147483648d", 32, BOUNDS_COUNT_ALL},
        {"%.2147483648d", 32, BOUNDS_COUNT_ALL},
    };
    int target = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fmt);
        Guarded g(c.size);
        EXPECT_EQ(format(g.dest(), c.size, c.count, c.fmt, "abcdefgh", &target), -1);
        EXPECT_TRUE(emptied(g));
    }
    EXPECT_EQ(target, 0);
    Guarded g(16);
    EXPECT_EQ(format(g.dest(), g.size, BOUNDS_COUNT_ALL, "%*d", INT_MIN, 1), -1);
    EXPECT_TRUE(emptied(g));
}

TEST(BoundedFormat, HugeWidthStopsAtTheRoom) {
    Guarded g(16);
    EXPECT_EQ(format(g.dest(), g.size, 8, "%2147483647d", 1), -1);
    EXPECT_TRUE(holds(g, "        "));
    Guarded h(16);
    EXPECT_EQ(format(h.dest(), h.size, BOUNDS_COUNT_ALL, "%.*u|%*s", INT_MAX, 1u, INT_MAX, ""), -1);
    EXPECT_TRUE(emptied(h));
}

// Random formats of one argument type, checked against the C library and the room rules.
template <typename T>
void fuzz(std::mt19937 &rng, const std::vector<const char *> &lengths, const char *convs,
          const char *flags, bool precision, T (*make)(std::mt19937 &)) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        std::string fmt;
        for (int k = pick(1, 3); k > 0; --k) {
            fmt.append("xy :[]", 0, static_cast<size_t>(pick(0, 3)));
            fmt += '%';
            for (const char *f = flags; *f != '\0'; ++f) {
                if (pick(0, 3) == 0)
                    fmt += *f;
            }
            if (pick(0, 1) == 0)
                fmt += std::to_string(pick(1, 12));
            if (precision && pick(0, 2) == 0)
                fmt += pick(0, 3) == 0 ? "." : "." + std::to_string(pick(0, 12));
            fmt += lengths[static_cast<size_t>(pick(0, static_cast<int>(lengths.size()) - 1))];
            fmt += convs[pick(0, static_cast<int>(std::strlen(convs)) - 1)];
        }
        const T a = make(rng), b = make(rng), c = make(rng);
        char ref[512];
        const int n = std::snprintf(ref, sizeof ref, fmt.c_str(), a, b, c);
        ASSERT_GE(n, 0);
        const std::string full(ref, static_cast<size_t>(n));
        for (int call = 0; call < 4; ++call) {
            const size_t size = static_cast<size_t>(pick(1, 48));
            const size_t count =
                pick(0, 4) == 0 ? BOUNDS_COUNT_ALL : static_cast<size_t>(pick(0, 52));
            SCOPED_TRACE(::testing::Message() << '"' << fmt << "\" size " << size << " count "
                                              << count << " want \"" << full << '"');
            const Outcome want = by_the_rules(full, size, count);
            Guarded g(size);
            ASSERT_EQ(format(g.dest(), size, count, fmt.c_str(), a, b, c), want.rc);
            ASSERT_TRUE(want.rc == -1 && want.text.empty() ? emptied(g) : holds(g, want.text));
        }
    }
}

template <typename T>
T any_int(std::mt19937 &rng) {
    const T edges[] = {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), T(0), T(1),
                       T(-1)};
    const int roll = std::uniform_int_distribution<int>(0, 9)(rng);
    return roll < 5 ? edges[roll] : std::uniform_int_distribution<T>()(rng);
}

const char *any_text(std::mt19937 &rng) {
    static const std::string long_text = letters(30);
    const char *const pool[] = {"", "a", "hello", "mixed Case 123", long_text.c_str()};
    return pool[std::uniform_int_distribution<int>(0, 4)(rng)];
}

int any_char(std::mt19937 &rng) {
    return std::uniform_int_distribution<int>(0, 255)(rng);
}

void *any_pointer(std::mt19937 &rng) {
    return std::uniform_int_distribution<int>(0, 5)(rng) == 0
               ? nullptr
               : reinterpret_cast<void *>(std::uniform_int_distribution<uintptr_t>(1)(rng));
}

TEST(BoundedFormat, RandomFormatsMatchTheCLibrary) {
    std::mt19937 rng(7411);
    const char *signed_flags = "-+ 0";
    const char *unsigned_flags = "-+ #0";
    fuzz<int>(rng, {"", "hh", "h"}, "di", signed_flags, true, any_int<int>);
    fuzz<unsigned>(rng, {"", "hh", "h"}, "uoxX", unsigned_flags, true, any_int<unsigned>);
    fuzz<long>(rng, {"l"}, "di", signed_flags, true, any_int<long>);
    fuzz<unsigned long>(rng, {"l"}, "uoxX", unsigned_flags, true, any_int<unsigned long>);
    fuzz<long long>(rng, {"ll"}, "di", signed_flags, true, any_int<long long>);
    fuzz<unsigned long long>(rng, {"ll"}, "uoxX", unsigned_flags, true,
                             any_int<unsigned long long>);
    fuzz<size_t>(rng, {"z"}, "uoxX", unsigned_flags, true, any_int<size_t>);
    fuzz<ptrdiff_t>(rng, {"t"}, "di", signed_flags, true, any_int<ptrdiff_t>);
    fuzz<intmax_t>(rng, {"j"}, "di", signed_flags, true, any_int<intmax_t>);
    fuzz<uintmax_t>(rng, {"j"}, "uoxX", unsigned_flags, true, any_int<uintmax_t>);
    fuzz<const char *>(rng, {""}, "s", "-", true, any_text);
    fuzz<int>(rng, {""}, "c", "-", false, any_char);
    fuzz<void *>(rng, {""}, "p", "-", false, any_pointer);
}

}  // namespace
