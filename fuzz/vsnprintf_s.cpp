// vsnprintf_s of the bounded routines with a fuzzed destination size, count and format built
// from the conversions the project's log lines use, checked against the C library's snprintf
// (the full text) and the routine's contract: what it returns, what the destination holds, and
// that nothing is written past the room the contract gives (exact-size heap blocks under ASan,
// and a guard pattern inside the destination).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "targets.h"
#include "vsnprintf_s.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kMaxArgs = 3;
constexpr size_t kMaxFormat = 512;

class Reader {
  public:
    Reader(const uint8_t *data, size_t size) : p_(data), left_(size) {}
    bool empty() const { return left_ == 0; }
    uint8_t byte() {
        if (left_ == 0) {
            return 0;
        }
        --left_;
        return *p_++;
    }
    unsigned long word(int octets) {
        unsigned long v = 0;
        for (int i = 0; i < octets; ++i) {
            v = (v << 8) | byte();
        }
        return v;
    }

  private:
    const uint8_t *p_;
    size_t left_;
};

enum class Kind { kInt, kUnsigned, kULong, kText };

struct Arg {
    Kind kind = Kind::kInt;
    int i = 0;
    unsigned u = 0;
    unsigned long ul = 0;
    const char *s = nullptr;
};

struct Case {
    std::string format;
    std::vector<Arg> args;
    std::vector<std::string> texts;  // storage for %s arguments (reserved: pointers stay put)
};

void add_text(Case &c, Reader &in, const char *conversion) {
    const size_t len = in.byte() % 64;
    std::string text;
    for (size_t i = 0; i < len && !in.empty(); ++i) {
        const char ch = static_cast<char>(in.byte());
        text += ch == '\0' ? '.' : ch;
    }
    c.texts.push_back(text);
    Arg a;
    a.kind = Kind::kText;
    a.s = c.texts.back().c_str();
    c.args.push_back(a);
    c.format += conversion;
}

void add_number(Case &c, Reader &in, Kind kind, const char *conversion) {
    Arg a;
    a.kind = kind;
    if (kind == Kind::kInt) {
        a.i = static_cast<int>(static_cast<unsigned>(in.word(4)));
    } else if (kind == Kind::kUnsigned) {
        a.u = static_cast<unsigned>(in.word(4));
    } else {
        a.ul = in.word(8);
    }
    c.args.push_back(a);
    c.format += conversion;
}

// The format and arguments an input describes: one operation per byte.
Case build_case(Reader &in) {
    Case c;
    c.texts.reserve(kMaxArgs);
    while (!in.empty() && c.format.size() < kMaxFormat) {
        const uint8_t op = in.byte();
        if (c.args.size() == kMaxArgs && op % 16 < 12) {
            continue;  // conversions with an argument are full
        }
        switch (op % 16) {
            case 0:
                add_text(c, in, "%s");
                break;
            case 1: {
                const std::string conversion = "%." + std::to_string(in.byte() % 40) + "s";
                add_text(c, in, conversion.c_str());
                break;
            }
            case 2: {
                Arg a;
                a.kind = Kind::kText;  // a null text prints "(null)"
                c.args.push_back(a);
                c.format += "%s";
                break;
            }
            case 3:
                add_number(c, in, Kind::kInt, "%d");
                break;
            case 4:
                add_number(c, in, Kind::kUnsigned, "%u");
                break;
            case 5:
                add_number(c, in, Kind::kUnsigned, "%x");
                break;
            case 6:
                add_number(c, in, Kind::kUnsigned, "%X");
                break;
            case 7:
                add_number(c, in, Kind::kULong, "%lu");
                break;
            case 8:
                add_number(c, in, Kind::kULong, "%lx");
                break;
            case 9:
                add_number(c, in, Kind::kULong, op & 0x80 ? "%08lX" : "%lX");
                break;
            case 10:
                add_number(c, in, Kind::kUnsigned, "%02x");
                break;
            case 11:
                add_number(c, in, Kind::kUnsigned, "%08x");
                break;
            case 12:
                c.format += "%%";
                break;
            default: {
                const char ch = static_cast<char>(in.byte());
                c.format += (ch == '\0' || ch == '%') ? '.' : ch;
                break;
            }
        }
    }
    return c;
}

int ours(char *dest, size_t size, size_t count, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const int n = vsnprintf_s(dest, size, count, format, args);
    va_end(args);
    return n;
}

// Calls f with the arguments as their own types; a trailing 0 keeps every call non-empty.
template <size_t Depth, typename F, typename... Ts>
void with_args(const Arg *args, size_t left, F &f, Ts... values) {
    if constexpr (Depth == kMaxArgs) {
        f(values..., 0);
    } else {
        if (left == 0) {
            f(values..., 0);
            return;
        }
        switch (args->kind) {
            case Kind::kInt:
                with_args<Depth + 1>(args + 1, left - 1, f, values..., args->i);
                return;
            case Kind::kUnsigned:
                with_args<Depth + 1>(args + 1, left - 1, f, values..., args->u);
                return;
            case Kind::kULong:
                with_args<Depth + 1>(args + 1, left - 1, f, values..., args->ul);
                return;
            case Kind::kText:
                with_args<Depth + 1>(args + 1, left - 1, f, values..., args->s);
                return;
        }
    }
}

size_t pick_size(uint8_t b) {
    switch (b) {
        case 250:
            return BOUNDS_MAX_DEST_SIZE;
        case 251:
            return BOUNDS_MAX_DEST_SIZE + 1;
        case 252:
            return static_cast<size_t>(-1);
        case 253:
            return 1024;
        case 254:
            return 2048;
        default:
            return b % 80;
    }
}

size_t pick_count(uint8_t b, size_t size) {
    switch (b % 8) {
        case 0:
            return size - 1;
        case 1:
            return size;
        case 2:
            return size + 1;
        case 3:
            return BOUNDS_COUNT_ALL;
        case 4:
            return b / 8;
        case 5:
            return BOUNDS_MAX_DEST_SIZE;
        case 6:
            return BOUNDS_MAX_DEST_SIZE - 1;
        default:
            return static_cast<size_t>(-2);
    }
}

}  // namespace

int fuzz_vsnprintf_s(const uint8_t *data, size_t size) {
    Reader in(data, size);
    const size_t dest_size = pick_size(in.byte());
    const size_t count = pick_count(in.byte(), dest_size);
    const uint8_t nulls = in.byte();
    Case c = build_case(in);
    const char *format = nulls == 0xFF ? nullptr : c.format.c_str();

    // The full text, from the C library.
    std::string full;
    {
        auto reference = [&](auto... values) {
            const int n = std::snprintf(nullptr, 0, c.format.c_str(), values...);
            fuzz::check(n >= 0, "reference formatting failed");
            full.resize(static_cast<size_t>(n) + 1);
            std::snprintf(full.data(), full.size(), c.format.c_str(), values...);
            full.resize(static_cast<size_t>(n));
        };
        with_args<0>(c.args.data(), c.args.size(), reference);
    }
    const size_t len = full.size();

    const bool usable = dest_size != 0 && dest_size <= BOUNDS_MAX_DEST_SIZE && nulls != 0xFE;
    // The destination: exactly dest_size bytes where that is small enough to allocate, else
    // room for the text and a guard tail.
    const size_t block = dest_size != 0 && dest_size <= 4096 ? dest_size : len + 64;
    unsigned char *dest = static_cast<unsigned char *>(std::malloc(block));
    fuzz::check(dest != nullptr, "no memory");
    std::memset(dest, kGuard, block);
    char *target = nulls == 0xFE ? nullptr : reinterpret_cast<char *>(dest);

    int got = 0;
    {
        auto call = [&](auto... values) {
            got = ours(target, dest_size, count, format, values...);
        };
        with_args<0>(c.args.data(), c.args.size(), call);
    }

    auto untouched_from = [&](size_t from) {
        for (size_t i = from; i < block; ++i) {
            if (dest[i] != kGuard) {
                return false;
            }
        }
        return true;
    };
    const bool bad_count = count >= BOUNDS_MAX_DEST_SIZE && count != BOUNDS_COUNT_ALL;
    if (!usable || format == nullptr || bad_count) {
        fuzz::check(got == -1, "refused arguments did not give -1");
        fuzz::check(untouched_from(usable ? 1 : 0), "refused arguments wrote to the destination");
        fuzz::check(!usable || dest[0] == 0, "refused arguments left the first byte");
    } else {
        const bool keep_cut = count < dest_size;
        const size_t room = keep_cut ? count : dest_size - 1;
        if (len <= room) {
            fuzz::check(got == static_cast<int>(len), "length of a text that fits");
            fuzz::check(std::memcmp(dest, full.data(), len) == 0 && dest[len] == 0,
                        "text that fits differs from snprintf");
            fuzz::check(untouched_from(len + 1), "written past the terminator");
        } else if (keep_cut) {
            fuzz::check(got == -1, "a cut text did not give -1");
            fuzz::check(std::memcmp(dest, full.data(), count) == 0 && dest[count] == 0,
                        "cut text is not the text's beginning");
            fuzz::check(untouched_from(count + 1), "written past the cut text");
        } else {
            fuzz::check(got == -1, "a text too long did not give -1");
            fuzz::check(dest[0] == 0, "a text too long left a text");
            for (size_t i = 1; i < room && i < block; ++i) {
                fuzz::check(dest[i] == 0 || dest[i] == kGuard, "a dropped text left bytes");
            }
            fuzz::check(untouched_from(room > 1 ? room : 1), "written past the room");
        }
    }
    std::free(dest);
    return 0;
}
