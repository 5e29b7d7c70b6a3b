// ASCII armor filter: detection, decoding, checksum, header rules, bad input, pass-through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "armor_filter.h"
#include "file_filter.h"
#include "mem_source.h"
#include "test_host.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Byte-wise CRC-24 as the armor checksum defines it.
PX_UINT32 crc24(const std::string &bytes) {
    PX_UINT32 crc = 0xB704CE;
    for (unsigned char b : bytes) {
        crc ^= static_cast<PX_UINT32>(b) << 16;
        for (int i = 0; i < 8; ++i) {
            crc <<= 1;
            if (crc & 0x1000000) {
                crc ^= 0x1864CFB;
            }
        }
    }
    return crc & 0xFFFFFF;
}

std::string radix64(const std::string &bytes) {
    std::string out;
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        PX_UINT32 g = (static_cast<unsigned char>(bytes[i]) << 16) |
                      (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                      static_cast<unsigned char>(bytes[i + 2]);
        for (int k = 18; k >= 0; k -= 6) {
            out += kAlphabet[(g >> k) & 63];
        }
    }
    const size_t rest = bytes.size() - i;
    if (rest != 0) {
        PX_UINT32 g = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) {
            g |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += kAlphabet[(g >> 18) & 63];
        out += kAlphabet[(g >> 12) & 63];
        out += rest == 2 ? kAlphabet[(g >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string crc_line(PX_UINT32 crc) {
    std::string s = "=";
    for (int k = 18; k >= 0; k -= 6) {
        s += kAlphabet[(crc >> k) & 63];
    }
    return s + "\n";
}

std::string payload(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 131 + (i >> 3)) & 0xFF);
    }
    return s;
}

std::string body_lines(const std::string &bytes, size_t width = 64) {
    const std::string text = radix64(bytes);
    std::string out;
    for (size_t i = 0; i < text.size(); i += width) {
        out += text.substr(i, width) + "\n";
    }
    return out;
}

struct Armor {
    std::string begin = "-----BEGIN PGP PUBLIC KEY BLOCK-----\n";
    std::string headers = "Version: Notarix test\n";
    std::string body;
    std::string crc;
    std::string end = "-----END PGP PUBLIC KEY BLOCK-----\n";
    std::string text() const { return begin + headers + "\n" + body + crc + end; }
};

Armor armor_of(const std::string &bytes) {
    Armor a;
    a.body = body_lines(bytes);
    a.crc = crc_line(crc24(bytes));
    return a;
}

struct Decoded {
    PELLAX_ERROR_CODE rc = 0;
    std::string bytes;
    std::vector<size_t> pieces;  // what each underflow of the armor stream brought
};

// Reads the armor stream to its end with peek and skip, so that every underflow is seen and
// bytes delivered before a failure are kept.
Decoded read_armored(TestHost &host, PELLAX_IOBUF *in) {
    Decoded d;
    PELLAX_IOBUF *armored = nullptr;
    d.rc = pellax_open_armor_filter(&host.plt, in, &armored);
    if (d.rc != 0) {
        return d;
    }
    EXPECT_STREQ(armored->filter_name, "armor");
    for (;;) {
        PX_BYTE b = 0;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_peek(&host.plt, armored, &b);
        const PX_UINT32 n = armored->data_len - armored->read_pos;
        d.bytes.append(reinterpret_cast<char *>(armored->buf) + armored->read_pos, n);
        if (rc != 0) {
            d.rc = rc == 7 && n == 0 ? 0 : rc;
            break;
        }
        d.pieces.push_back(n);
        EXPECT_EQ(fips_pellax_iobuf_skip_rest(&host.plt, armored, n), 0u);
    }
    fips_pellax_iobuf_free(&host.plt, armored);
    return d;
}

Decoded decode(TestHost &host, const std::string &text, size_t chunk = PELLAX_IOBUF_CAPACITY) {
    MemSource src(text);
    src.chunk = chunk;
    PELLAX_IOBUF *in = nullptr;
    Decoded d;
    d.rc = fips_pellax_iobuf_create_and_init(&host.plt, &MemSource::filter, &src, &in);
    if (d.rc == 0) {
        d = read_armored(host, in);
        fips_pellax_iobuf_free(&host.plt, in);
    }
    EXPECT_EQ(host.live_blocks, 0);
    return d;
}

TEST(Armor, Detection) {
    const struct {
        PX_BYTE byte;
        int armored;
    } cases[] = {
        {0x99, 0},  // old format public key
        {0xC2, 0},  // new format signature
        {0xB4, 1},  // old format user id: not a first packet
        {0x2D, 1},  // '-'
        {0x00, 1}, {0x88, 0}, {0xB0, 1}, {0xFD, 0}, {0xFF, 1}, {0xC6, 0}, {0xCD, 1},
    };
    TestHost host;
    for (const auto &c : cases) {
        EXPECT_EQ(pellax_check_data_is_armored(&host.plt, c.byte), c.armored) << int(c.byte);
    }
}

TEST(Armor, Cases) {
    const std::string p = payload(300);
    const Armor good = armor_of(p);
    auto with = [&](auto change) {
        Armor a = good;
        change(a);
        return a.text();
    };
    std::string flipped = good.text();
    flipped[good.begin.size() + good.headers.size() + 1 + 10] ^= 0x01;

    const struct {
        const char *name;
        std::string text;
        PELLAX_ERROR_CODE rc;
        int log_code;
        const char *log;  // a line that must be logged
    } cases[] = {
        {"good", good.text(), 0, 0, nullptr},
        {"no END line", with([](Armor &a) { a.end.clear(); }), 0, 0, nullptr},
        {"bad END line", with([](Armor &a) { a.end = "-----END PGP\n"; }), 0, 0, nullptr},
        {"ends after body", with([](Armor &a) { a.crc.clear(), a.end.clear(); }), 0, 0,
         "get_char_from_radix64_data is over."},
        {"CRLF lines",
         "-----BEGIN PGP PUBLIC KEY BLOCK-----\r\nVersion: x\r\n\r\n" + body_lines(p) + good.crc, 0,
         0, nullptr},
        {"abbreviated BEGIN", with([](Armor &a) { a.begin = "-----BEGIN PGP SIG-----\n"; }), 0, 0,
         nullptr},
        {"Version with letters", with([](Armor &a) { a.headers = "Versionxyz\n"; }), 0, 0, nullptr},
        {"other known keys",
         with([](Armor &a) { a.headers = "Comment: c\nHash: SHA256\nCharset: x\nMessageID: m\n"; }),
         0, 0, nullptr},
        {"junk before BEGIN",
         "hello\n\n----- nothing here\n-----BEGIN PGP STUFF-----\n" + good.text(), 0, 101,
         "find_header_type error."},
        {"CRC removed, END kept", with([](Armor &a) { a.crc.clear(); }), 107, 107,
         "invalid radix64 character."},
        {"body character changed", flipped, 106, 0, "CRC is not right."},
        {"dash in body", with([](Armor &a) { a.body[5] = '-'; }), 107, 107,
         "invalid radix64 character."},
        {"wrong CRC", with([&](Armor &a) { a.crc = crc_line(crc24(p) ^ 1); }), 106, 106,
         "check_crc error."},
        {"CRC of two characters", with([](Armor &a) { a.crc = "=AB\n"; }), 107, 0, "CRC error."},
        {"CRC with a bad character", with([](Armor &a) { a.crc = "=AB*D\n"; }), 107, 107,
         "decode_radix64_crc error."},
        {"equal sign then end", with([](Armor &a) {
             a.crc = "=";
             a.end.clear();
         }),
         106, 0, "No CRC."},
        {"message", with([](Armor &a) { a.begin = "-----BEGIN PGP MESSAGE-----\n"; }), 101, 0,
         "Invalid pgp standard file header."},
        {"empty type text", with([](Armor &a) { a.begin = "----------      \n"; }), 101, 101,
         "check_input error."},
        {"signed message", with([](Armor &a) { a.begin = "-----BEGIN PGP SIGNED MESSAGE-----\n"; }),
         105, 105, "Clear signature verify is not supported."},
        {"unknown key", with([](Armor &a) { a.headers = "Foo: bar\n"; }), 104, 104,
         "parse_signature_or_pubkey error."},
        {"known key in lower case", with([](Armor &a) { a.headers = "version: 1\n"; }), 104, 104,
         "Invalid armor tag, Tag: version: 1\n."},
        {"no BEGIN line", "just\nsome text\nlines\n", 102, 0,
         "Get armor data header line error, data is over."},
        {"empty input", "", 102, 0, "Data is over."},
        {"ends in headers", "-----BEGIN PGP SIGNATURE-----\nVersion: 1\n", 102, 0,
         "signature data is not right."},
        {"overlong body line", with([&](Armor &a) { a.body = std::string(25000, 'A') + "\n"; }),
         106, 0, "line truncated."},
    };
    for (const auto &c : cases) {
        for (size_t chunk : {size_t(1024), size_t(7)}) {
            TestHost host;
            Decoded d = decode(host, c.text, chunk);
            EXPECT_EQ(d.rc, c.rc) << c.name;
            if (c.rc == 0) {
                EXPECT_EQ(d.bytes, p) << c.name;
            }
            if (c.log != nullptr) {
                EXPECT_TRUE(host.logged(c.log_code, c.log)) << c.name;
            }
            if (c.rc != 0 && c.rc != 106 && c.rc != 107) {
                EXPECT_TRUE(host.logged(static_cast<int>(c.rc), "check_data_type_and_read error."))
                    << c.name;
            }
        }
    }
}

TEST(Armor, PadRules) {
    const struct {
        const char *body;
        std::string bytes;
    } cases[] = {
        {"QQ==", "A"},
        {"QUI=", "AB"},
        {"QUJDR=", std::string("ABC") + '\x44'},  // one character: its six bits, high
        {"QUJD", "ABC"},
    };
    for (const auto &c : cases) {
        TestHost host;
        const std::string text = "-----BEGIN PGP SIGNATURE-----\n\n" + std::string(c.body) + "\n" +
                                 crc_line(crc24(c.bytes));
        Decoded d = decode(host, text);
        EXPECT_EQ(d.rc, 0u) << c.body;
        EXPECT_EQ(d.bytes, c.bytes) << c.body;
    }
}

TEST(Armor, OneChecksumAcrossUnderflows) {
    const std::string p = payload(3000);
    for (size_t chunk : {size_t(1), size_t(100), size_t(1024)}) {
        TestHost host;
        Decoded d = decode(host, armor_of(p).text(), chunk);
        ASSERT_EQ(d.rc, 0u);
        EXPECT_EQ(d.bytes, p);
        EXPECT_EQ(d.pieces, (std::vector<size_t>{1024, 1024, 952}));
        EXPECT_TRUE(host.logged(0, "Data is over."));
    }
}

TEST(Armor, KeepsWhatItDeliveredBeforeAFailure) {
    const std::string p = payload(3000);
    Armor a = armor_of(p);
    a.body[2600] = '*';  // about byte 1900, in the second underflow
    TestHost host;
    Decoded d = decode(host, a.text());
    EXPECT_EQ(d.rc, 107u);
    EXPECT_GT(d.bytes.size(), 1800u);
    EXPECT_EQ(d.bytes, p.substr(0, d.bytes.size()));
    EXPECT_TRUE(host.logged(107, "radix64_read error."));
}

std::string slurp(const std::string &path) {
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
        for (int c; (c = std::fgetc(f)) != EOF;) {
            s += static_cast<char>(c);
        }
        std::fclose(f);
    }
    return s;
}

TEST(Armor, GpgFixturesDecodeLikeDearmor) {
    for (const char *name : {"pubkey", "sig"}) {
        TestHost host;
        const std::string base = std::string(ARMOR_FIXTURES) + "/" + name;
        PELLAX_IOBUF *in = nullptr;
        ASSERT_EQ(pellax_open_file_filter(&host.plt, (base + ".asc").c_str(), "rb", &in), 0u);
        PX_BYTE first = 0;
        ASSERT_EQ(fips_pellax_iobuf_peek(&host.plt, in, &first), 0u);
        EXPECT_EQ(pellax_check_data_is_armored(&host.plt, first), 1);
        Decoded d = read_armored(host, in);
        fips_pellax_iobuf_free(&host.plt, in);
        EXPECT_EQ(d.rc, 0u) << name;
        EXPECT_EQ(d.bytes, slurp(base + ".bin")) << name;
        EXPECT_EQ(host.live_blocks, 0);
        EXPECT_EQ(host.open_files, 0);
    }
}

// Input found binary is passed through byte for byte: the first line is replayed exactly as
// the source held it, with no line feed added and nothing lost at the line limit.
TEST(Armor, PassThroughKeepsTheSourceBytes) {
    const std::string bin = payload(30000);
    auto no_feed = [](std::string s) {
        for (char &c : s) {
            if (c == '\n') {
                c = 'n';
            }
        }
        return s;
    };
    const struct {
        const char *name;
        std::string data;
    } cases[] = {
        {"binary, no line feed", "\x99" + no_feed(bin.substr(0, 500))},
        {"binary, line feed early", "\x99\x01\n" + bin.substr(0, 3000)},
        {"binary, first line beyond the limit",
         "\x99" + no_feed(bin.substr(0, 25000)) + "\n" + bin.substr(0, 100)},
        {"text-like, first line beyond the limit", "A" + no_feed(bin.substr(0, 25000))},
        {"binary, line of exactly 19997 bytes", "\x99" + no_feed(bin.substr(0, 19996)) + "\n"},
        {"binary, single byte", "\x99"},
    };
    for (const auto &c : cases) {
        for (size_t chunk : {size_t(1024), size_t(3)}) {
            TestHost host;
            Decoded d = decode(host, c.data, chunk);
            EXPECT_EQ(d.rc, 0u) << c.name;
            EXPECT_EQ(d.bytes.size(), c.data.size()) << c.name;
            EXPECT_TRUE(d.bytes == c.data) << c.name;
            for (size_t n : d.pieces) {
                EXPECT_LE(n, 1024u);
            }
        }
    }
}

// Damaged armor of every kind ends, with a code from the armor range or success, and never
// reads outside its blocks (the sanitizer build checks that).
TEST(Armor, MutatedInputAlwaysEnds) {
    const std::string good = armor_of(payload(700)).text();
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    for (int round = 0; round < 400; ++round) {
        std::string text = good;
        const int edits = 1 + static_cast<int>(next() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = next() % text.size();
            switch (next() % 4) {
                case 0:
                    text[at] = static_cast<char>(next() & 0xFF);
                    break;
                case 1:
                    text.erase(at, next() % 50);
                    break;
                case 2:
                    text.insert(at, std::string(next() % 30000, static_cast<char>(next() & 0xFF)));
                    break;
                default:
                    text.resize(at);
                    break;
            }
            if (text.empty()) {
                break;
            }
        }
        TestHost host;
        Decoded d = decode(host, text, 1 + next() % 1024);
        const PELLAX_ERROR_CODE allowed[] = {0, 101, 102, 104, 105, 106, 107};
        EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), d.rc), std::end(allowed))
            << "round " << round << " rc " << d.rc;
    }
}

TEST(Armor, AllocationFailures) {
    const std::string p = payload(2000);
    const std::string text = armor_of(p).text();
    for (long n = 1;; ++n) {
        TestHost host;
        host.fail_malloc_at = n;
        Decoded d = decode(host, text);
        if (!host.malloc_failed) {
            EXPECT_EQ(d.rc, 0u);
            EXPECT_EQ(d.bytes, p);
            break;
        }
        // A failed log buffer only loses a log line; any other failure reports 1.
        if (d.rc == 0) {
            EXPECT_EQ(d.bytes, p) << n;
        } else {
            EXPECT_EQ(d.rc, 1u) << n;
        }
    }
}

}  // namespace
