// Bad input and exhausted memory: key files and signature files cut short, lengths that run
// past the end, files of unsupported packets only, and every allocation failing in turn. Nothing
// may crash or leak, and a signature may come out good only when it is.
#include <gtest/gtest.h>

#include "keyring_support.h"
#include "pellax_vrf_internal.h"

namespace {

struct Outcome {
    PELLAX_ERROR_CODE load = 0;
    bool has_ring = false;
    PELLAX_ERROR_CODE verify = 0;
    PX_UINT32 verdict = 0;
    std::string signer;
};

// Loads keys and verifies sig over data, all from memory, with the library's inner routines.
Outcome load_and_verify(Library &lib, const Bytes &keys, const Bytes &sig, const Bytes &data) {
    Outcome out;
    PELLAX_LIST *ring = nullptr;
    {
        ByteStream in(&lib.funcs.plt, keys, false);
        out.load = in.stream == nullptr ? 1 : pellax_load_key(&lib.funcs, in.stream, &ring);
    }
    out.has_ring = ring != nullptr;
    if (ring != nullptr) {
        ByteStream sig_stream(&lib.funcs.plt, sig, false);
        ByteStream source(&lib.funcs.plt, data, false);
        if (sig_stream.stream == nullptr || source.stream == nullptr) {
            pellax_free_keyring(&lib.funcs.plt, ring);
            out.verify = 1;
            return out;
        }
        const PX_BYTE *fp = nullptr;
        out.verify = pellax_vrf_verify_detach_signature_internal(
            &lib.funcs, source.stream, sig_stream.stream, ring, &fp, &out.verdict);
        if (fp != nullptr) {
            out.signer = to_hex(fp, 20);
        }
    }
    pellax_free_keyring(&lib.funcs.plt, ring);
    return out;
}

std::string rsa2048_fingerprint() {
    Library lib;
    PELLAX_LIST *ring = nullptr;
    ByteStream in(&lib.funcs.plt, fixture("rsa2048.pgp"));
    EXPECT_EQ(pellax_load_key(&lib.funcs, in.stream, &ring), 0u);
    const auto *key = static_cast<PELLAX_PUBLIC_KEY *>(Library::packets(ring).at(0)->data);
    const std::string fp = to_hex(key->fingerprint, 20);
    pellax_free_keyring(&lib.funcs.plt, ring);
    return fp;
}

// The step that fails logs an error line with the code it returns.
bool error_logged(const Library &lib, PELLAX_ERROR_CODE code) {
    for (const LogLine &l : lib.host.logs) {
        if (l.level == PELLAX_LOG_ERROR && l.code == static_cast<int>(code)) {
            return true;
        }
    }
    return false;
}

Bytes prefix(const Bytes &b, size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

// Where the radix-64 data of an armored file ends (before its padding): a cut after it loses
// only padding, checksum and END line, which the armor reader does not insist on.
size_t armor_body_end(const Bytes &armored) {
    const std::string text(armored.begin(), armored.end());
    size_t end = text.rfind("\n=");
    while (end > 0 && text[end - 1] == '=') {
        --end;
    }
    return end;
}

TEST(BadInput, KeyFilesCutShort) {
    const Bytes sig = fixture("data.rsa2048-sha256.sig");
    const Bytes data = fixture("data.bin");
    const std::string fp = rsa2048_fingerprint();
    for (const char *name : {"rsa2048.pgp", "rsa2048.asc"}) {
        const Bytes whole = fixture(name);
        const bool armored = name[8] == 'a';
        for (size_t n = 0; n < whole.size(); ++n) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(n));
            Library lib;
            const Outcome got = load_and_verify(lib, prefix(whole, n), sig, data);
            if (!armored || n < armor_body_end(whole)) {
                EXPECT_FALSE(got.has_ring);
            }
            if (got.load != 0) {
                EXPECT_FALSE(got.has_ring);
                EXPECT_TRUE(error_logged(lib, got.load));
            }
            if (got.verdict == 1) {
                EXPECT_EQ(got.signer, fp);
            }
            EXPECT_EQ(lib.host.live_blocks, 0);
        }
    }
}

TEST(BadInput, SignatureFilesCutShort) {
    const Bytes keys = fixture("rsa2048.pgp");
    const Bytes data = fixture("data.bin");
    for (const char *name : {"data.rsa2048-sha256.sig", "data.rsa2048-sha256.asc"}) {
        const Bytes whole = fixture(name);
        const bool armored = name[20] == 'a';
        for (size_t n = 0; n < whole.size(); ++n) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(n));
            Library lib;
            const Outcome got = load_and_verify(lib, keys, prefix(whole, n), data);
            ASSERT_TRUE(got.has_ring);
            if (!armored || n < armor_body_end(whole)) {
                EXPECT_EQ(got.verdict, 0u);
                EXPECT_TRUE(got.signer.empty());
            }
            if (got.verify != 0) {
                EXPECT_EQ(got.verdict, 0u);
                EXPECT_TRUE(error_logged(lib, got.verify));
            }
            EXPECT_EQ(lib.host.live_blocks, 0);
        }
    }
}

// One octet of the packet lengths changed so that the length runs past the end of the data.
TEST(BadInput, LengthsPastTheEnd) {
    const Bytes keys = fixture("rsa2048.pgp");
    const Bytes sig = fixture("data.rsa2048-sha256.sig");
    const Bytes data = fixture("data.bin");
    const auto key_packets = split_packets(keys);
    const auto sig_packets = split_packets(sig);
    ASSERT_EQ(key_packets.size(), 3u);
    // A new-format five-octet length in place of each packet's own.
    const auto huge = [](const RawPacket &p) {
        Bytes out{static_cast<uint8_t>(0xC0 | p.type), 0xFF, 0x7F, 0xFF, 0xFF, 0xF0};
        out.insert(out.end(), p.body.begin(), p.body.end());
        return out;
    };
    const struct {
        const char *name;
        Bytes keys;
        Bytes sig;
        bool load_fails;
    } cases[] = {
        {"key packet", concat({huge(key_packets[0]), key_packets[1].raw, key_packets[2].raw}), sig,
         true},
        {"user id packet", concat({key_packets[0].raw, huge(key_packets[1]), key_packets[2].raw}),
         sig, true},
        {"self-signature packet",
         concat({key_packets[0].raw, key_packets[1].raw, huge(key_packets[2])}), sig, true},
        {"signature packet", keys, huge(sig_packets[0]), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Library lib;
        const Outcome got = load_and_verify(lib, c.keys, c.sig, data);
        if (c.load_fails) {
            // A key packet running past the end swallows the rest of the file: its key is then
            // left without a self-signature.
            EXPECT_TRUE(got.load != 0 || !got.has_ring);
            if (got.load != 0) {
                EXPECT_TRUE(lib.logged(got.load, "proc_packets error."));
            }
        } else {
            EXPECT_EQ(got.load, 0u);
            EXPECT_NE(got.verify, 0u);
        }
        EXPECT_EQ(got.verdict, 0u);
        EXPECT_EQ(lib.host.live_blocks, 0);
    }
}

TEST(BadInput, OnlyUnsupportedPackets) {
    const auto mixed = split_packets(fixture("mixed.pgp"));
    Bytes dsa_and_eddsa;
    for (const RawPacket &p : mixed) {
        if (p.type == PKT_PUBLIC_KEY && !dsa_and_eddsa.empty() && p.body.at(5) == 1) {
            break;  // the RSA key
        }
        dsa_and_eddsa.insert(dsa_and_eddsa.end(), p.raw.begin(), p.raw.end());
    }
    Bytes secret_key{4, 0x65, 0x92, 0x00, 0x00, 1, 0x00, 0x08, 0xC5, 0x00, 0x08, 0x03, 0xFE};
    const struct {
        const char *name;
        Bytes keys;
    } cases[] = {
        {"DSA and EdDSA keys", dsa_and_eddsa},
        {"a secret key packet", packet(PKT_SECRET_KEY, secret_key)},
        {"a marker packet", packet(PKT_MARKER, Bytes{'P', 'G', 'P'})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Library lib;
        const Outcome got = load_and_verify(lib, c.keys, Bytes{}, Bytes{});
        EXPECT_EQ(got.load, 0u);
        EXPECT_FALSE(got.has_ring);
        EXPECT_EQ(lib.host.live_blocks, 0);
    }
}

// The octets of a signature packet (at `start` in its file) that its signature does not cover
// and that may change without changing the verdict: the unhashed area, the two-octet hash
// prefix, and the low bits of the value's bit count.
std::vector<bool> uncovered_octets(const RawPacket &sig, size_t start, size_t file_size) {
    std::vector<bool> out(file_size, false);
    const size_t header = sig.raw.size() - sig.body.size();
    const Bytes &b = sig.body;
    const size_t hashed = (size_t(b[4]) << 8) | b[5];
    const size_t unhashed_at = 6 + hashed;
    const size_t unhashed = (size_t(b[unhashed_at]) << 8) | b[unhashed_at + 1];
    const size_t prefix_at = unhashed_at + 2 + unhashed;
    for (size_t i = unhashed_at + 2; i < prefix_at + 2; ++i) {
        out[start + header + i] = true;
    }
    out[start + header + prefix_at + 3] = true;  // low octet of the bit count
    return out;
}

// Every octet of a key file and of a signature file changed in turn: a good verdict survives
// only changes to octets the signatures do not cover.
TEST(BadInput, EveryOctetChanged) {
    const Bytes keys = fixture("rsa2048.pgp");
    const Bytes sig = fixture("data.rsa2048-sha256.sig");
    const Bytes data = fixture("data.bin");
    const std::string fp = rsa2048_fingerprint();
    const auto key_packets = split_packets(keys);
    ASSERT_EQ(key_packets.size(), 3u);
    const size_t self_sig_at = key_packets[0].raw.size() + key_packets[1].raw.size();
    const struct {
        const char *name;
        const Bytes &file;
        std::vector<bool> may_pass;
        bool is_key_file;
    } targets[] = {
        {"key file", keys, uncovered_octets(key_packets[2], self_sig_at, keys.size()), true},
        {"signature file", sig, uncovered_octets(split_packets(sig).at(0), 0, sig.size()), false},
    };
    for (const auto &t : targets) {
        for (size_t i = 0; i < t.file.size(); ++i) {
            for (const uint8_t flip : {0x01, 0x80}) {
                SCOPED_TRACE(std::string(t.name) + " octet " + std::to_string(i) + " ^ " +
                             std::to_string(flip));
                Bytes changed = t.file;
                changed[i] ^= flip;
                Library lib;
                const Outcome got = t.is_key_file ? load_and_verify(lib, changed, sig, data)
                                                  : load_and_verify(lib, keys, changed, data);
                if (!t.may_pass[i]) {
                    EXPECT_EQ(got.verdict, 0u);
                }
                if (got.verdict == 1) {
                    EXPECT_EQ(got.signer, fp);
                }
                EXPECT_EQ(lib.host.live_blocks, 0);
            }
        }
    }
}

// Every allocation of a load and a verification fails in turn, armored and not: each run ends
// cleanly, and a good verdict still comes only with the signer's fingerprint.
TEST(BadInput, EveryAllocationFailingInTurn) {
    const std::string fp = rsa2048_fingerprint();
    const Bytes data = fixture("data.bin");
    for (const auto &files : {std::make_pair("rsa2048.pgp", "data.rsa2048-sha256.sig"),
                              std::make_pair("rsa2048.asc", "data.rsa2048-sha256.asc")}) {
        const Bytes keys = fixture(files.first);
        const Bytes sig = fixture(files.second);
        for (long n = 1;; ++n) {
            SCOPED_TRACE(std::string(files.first) + " allocation " + std::to_string(n));
            Library lib;
            lib.host.malloc_calls = 0;
            lib.host.fail_malloc_at = n;
            const Outcome got = load_and_verify(lib, keys, sig, data);
            EXPECT_EQ(lib.host.live_blocks, 0);
            if (got.verdict == 1) {
                EXPECT_EQ(got.signer, fp);
            }
            if (!lib.host.malloc_failed) {
                EXPECT_EQ(got.verdict, 1u);
                break;
            }
            ASSERT_LT(n, 5000);
        }
    }
}

}  // namespace
