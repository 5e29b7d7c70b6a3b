#include "vsnprintf_s.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <type_traits>

namespace {

// Receives the characters; holds at most `room` of them and remembers a refused one.
struct Sink {
    char *out;
    size_t room;
    size_t used;
    bool cut;
};

bool put(Sink &s, char c) {
    if (s.used == s.room) {
        s.cut = true;
        return false;
    }
    s.out[s.used++] = c;
    return true;
}

void put_run(Sink &s, char c, size_t n) {
    while (n-- > 0 && put(s, c)) {
    }
}

// A va_list object of our own, so helpers can take it by reference on every ABI.
struct Args {
    va_list ap;
};

enum class Length { none, hh, h, l, ll, z, j, t };

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    size_t width = 0;
    int precision = -1;  // -1: none given
    Length length = Length::none;
    char conv = '\0';
};

// Length of at most `limit` characters of s, reading no further.
size_t bounded_len(const char *s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n] != '\0') {
        ++n;
    }
    return n;
}

bool read_number(const char *&p, int &value) {
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > INT_MAX) {
            return false;
        }
        ++p;
    }
    value = static_cast<int>(v);
    return true;
}

void read_flags(const char *&p, Spec &spec) {
    for (;; ++p) {
        switch (*p) {
            case '-':
                spec.left = true;
                break;
            case '+':
                spec.plus = true;
                break;
            case ' ':
                spec.space = true;
                break;
            case '#':
                spec.alt = true;
                break;
            case '0':
                spec.zero = true;
                break;
            default:
                return;
        }
    }
}

bool read_width(const char *&p, Args &a, Spec &spec) {
    int w = 0;
    if (*p == '*') {
        ++p;
        w = va_arg(a.ap, int);
        if (w == INT_MIN) {
            return false;
        }
        if (w < 0) {  // a negative width from the argument list means left-justified
            spec.left = true;
            w = -w;
        }
    } else if (!read_number(p, w)) {
        return false;
    }
    spec.width = static_cast<size_t>(w);
    return true;
}

bool read_precision(const char *&p, Args &a, Spec &spec) {
    if (*p != '.') {
        return true;
    }
    ++p;
    if (*p == '*') {
        ++p;
        const int v = va_arg(a.ap, int);
        spec.precision = v < 0 ? -1 : v;  // a negative one counts as not given
        return true;
    }
    return read_number(p, spec.precision);
}

void read_length(const char *&p, Spec &spec) {
    switch (*p) {
        case 'h':
            spec.length = p[1] == 'h' ? Length::hh : Length::h;
            break;
        case 'l':
            spec.length = p[1] == 'l' ? Length::ll : Length::l;
            break;
        case 'z':
            spec.length = Length::z;
            break;
        case 'j':
            spec.length = Length::j;
            break;
        case 't':
            spec.length = Length::t;
            break;
        default:
            return;
    }
    p += (spec.length == Length::hh || spec.length == Length::ll) ? 2 : 1;
}

// p stands after the '%'; on success it stands after the conversion character.
bool read_spec(const char *&p, Args &a, Spec &spec) {
    read_flags(p, spec);
    if (!read_width(p, a, spec) || !read_precision(p, a, spec)) {
        return false;
    }
    read_length(p, spec);
    spec.conv = *p;
    if (spec.conv == '\0') {
        return false;
    }
    ++p;
    return true;
}

intmax_t take_signed(Args &a, Length length) {
    switch (length) {
        case Length::hh:
            return static_cast<signed char>(va_arg(a.ap, int));
        case Length::h:
            return static_cast<short>(va_arg(a.ap, int));
        case Length::l:
            return va_arg(a.ap, long);
        case Length::ll:
            return va_arg(a.ap, long long);
        case Length::z:
            return va_arg(a.ap, std::make_signed_t<size_t>);
        case Length::j:
            return va_arg(a.ap, intmax_t);
        case Length::t:
            return va_arg(a.ap, ptrdiff_t);
        case Length::none:
            break;
    }
    return va_arg(a.ap, int);
}

uintmax_t take_unsigned(Args &a, Length length) {
    switch (length) {
        case Length::hh:
            return static_cast<unsigned char>(va_arg(a.ap, unsigned));
        case Length::h:
            return static_cast<unsigned short>(va_arg(a.ap, unsigned));
        case Length::l:
            return va_arg(a.ap, unsigned long);
        case Length::ll:
            return va_arg(a.ap, unsigned long long);
        case Length::z:
            return va_arg(a.ap, size_t);
        case Length::j:
            return va_arg(a.ap, uintmax_t);
        case Length::t:
            return va_arg(a.ap, std::make_unsigned_t<ptrdiff_t>);
        case Length::none:
            break;
    }
    return va_arg(a.ap, unsigned);
}

// Sign or base prefix, zeros, digits and padding of one integer conversion.
void put_integer(Sink &s, const Spec &spec, uintmax_t magnitude, bool negative) {
    const bool hex = spec.conv == 'x' || spec.conv == 'X' || spec.conv == 'p';
    const unsigned base = hex ? 16 : (spec.conv == 'o' ? 8 : 10);
    const char *set = spec.conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[sizeof(uintmax_t) * 3];  // least significant first; octal needs the most
    size_t n = 0;
    const bool is_zero = magnitude == 0;
    for (; magnitude != 0; magnitude /= base) {
        digits[n++] = set[magnitude % base];
    }
    const size_t precision = spec.precision < 0 ? 1 : static_cast<size_t>(spec.precision);
    size_t zeros = precision > n ? precision - n : 0;
    if (spec.conv == 'o' && spec.alt && zeros == 0) {
        zeros = 1;  // the alternative form starts with a 0
    }
    char prefix[2];
    size_t prefix_len = 0;
    if (spec.conv == 'd' || spec.conv == 'i') {
        if (negative || spec.plus || spec.space) {
            prefix[prefix_len++] = negative ? '-' : (spec.plus ? '+' : ' ');
        }
    } else if (hex && (spec.alt || spec.conv == 'p') && !is_zero) {
        prefix[prefix_len++] = '0';
        prefix[prefix_len++] = spec.conv == 'X' ? 'X' : 'x';
    }
    const size_t total = prefix_len + zeros + n;
    size_t pad = spec.width > total ? spec.width - total : 0;
    if (spec.zero && !spec.left && spec.precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!spec.left) {
        put_run(s, ' ', pad);
    }
    for (size_t i = 0; i < prefix_len; ++i) {
        put(s, prefix[i]);
    }
    put_run(s, '0', zeros);
    while (n > 0 && put(s, digits[n - 1])) {
        --n;
    }
    if (spec.left) {
        put_run(s, ' ', pad);
    }
}

// Writes at most `limit` characters of text, padded to the width; reads no further than needed.
void put_text(Sink &s, const Spec &spec, const char *text, size_t limit) {
    size_t pad = 0;
    if (spec.width > 0) {
        const size_t shown = bounded_len(text, limit < spec.width ? limit : spec.width);
        pad = spec.width - shown;
    }
    if (!spec.left) {
        put_run(s, ' ', pad);
    }
    for (size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        if (!put(s, text[i])) {
            break;
        }
    }
    if (spec.left) {
        put_run(s, ' ', pad);
    }
}

// One conversion; false for a conversion we refuse (%n, floating point, unknown ones).
bool convert(Sink &s, const Spec &spec, Args &a) {
    const size_t limit = spec.precision < 0 ? SIZE_MAX : static_cast<size_t>(spec.precision);
    switch (spec.conv) {
        case 'd':
        case 'i': {
            const intmax_t v = take_signed(a, spec.length);
            const uintmax_t magnitude =
                v < 0 ? uintmax_t{0} - static_cast<uintmax_t>(v) : static_cast<uintmax_t>(v);
            put_integer(s, spec, magnitude, v < 0);
            return true;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            put_integer(s, spec, take_unsigned(a, spec.length), false);
            return true;
        default:
            break;
    }
    if (spec.length != Length::none) {  // wide characters and texts are not supported
        return false;
    }
    switch (spec.conv) {
        case 'c': {
            const size_t pad = spec.width > 1 ? spec.width - 1 : 0;
            if (!spec.left) {
                put_run(s, ' ', pad);
            }
            put(s, static_cast<char>(va_arg(a.ap, int)));
            if (spec.left) {
                put_run(s, ' ', pad);
            }
            return true;
        }
        case 's': {
            const char *text = va_arg(a.ap, const char *);
            put_text(s, spec, text != nullptr ? text : "(null)", limit);
            return true;
        }
        case 'p': {
            const void *ptr = va_arg(a.ap, const void *);
            if (ptr == nullptr) {
                put_text(s, spec, "(nil)", SIZE_MAX);
            } else {
                put_integer(s, spec, reinterpret_cast<uintptr_t>(ptr), false);
            }
            return true;
        }
        default:
            return false;
    }
}

bool format_all(Sink &s, const char *p, Args &a) {
    while (*p != '\0') {
        if (*p != '%') {
            put(s, *p++);
            continue;
        }
        if (p[1] == '%') {
            put(s, '%');
            p += 2;
            continue;
        }
        ++p;
        Spec spec;
        if (!read_spec(p, a, spec) || !convert(s, spec, a)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int vsnprintf_s(char *dest, size_t dest_size, size_t count, const char *format, va_list args) {
    const bool usable = dest != nullptr && dest_size != 0 && dest_size <= BOUNDS_MAX_DEST_SIZE;
    if (!usable || format == nullptr ||
        (count >= BOUNDS_MAX_DEST_SIZE && count != BOUNDS_COUNT_ALL)) {
        if (usable) {
            dest[0] = '\0';
        }
        return -1;
    }
    // A count below the size keeps a cut text; otherwise the size limits it and a cut text goes.
    const bool keep_cut = count < dest_size;
    Sink sink{dest, keep_cut ? count : dest_size - 1, 0, false};
    Args a;
    va_copy(a.ap, args);
    const bool formatted = format_all(sink, format, a);
    va_end(a.ap);
    if (formatted && (!sink.cut || keep_cut)) {
        dest[sink.used] = '\0';
        return sink.cut ? -1 : static_cast<int>(sink.used);
    }
    memset(dest, 0, sink.used);  // nothing of a dropped text stays behind
    dest[0] = '\0';
    return -1;
}
