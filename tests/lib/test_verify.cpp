// Detached-signature verification on the gpg fixtures, through the front-end table with files
// and with streams, cross-checked with gpgv's recorded verdicts; then crafted signature files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "keyring_support.h"
#include "pellax_vrf_inner.h"
#include "pellax_vrf_internal.h"

namespace {

// gpgv's verdict per "<signature> <data> <keyring>".
std::map<std::string, std::string> gpgv_verdicts() {
    std::map<std::string, std::string> out;
    std::ifstream in(fixture_path("gpgv.txt"));
    std::string sig, data, keyring, verdict, status;
    while (in >> sig >> data >> keyring >> verdict >> status) {
        out[sig + " " + data + " " + keyring] = verdict;
    }
    return out;
}

std::map<std::string, std::vector<std::string>> gpg_fingerprints() {
    std::map<std::string, std::vector<std::string>> out;
    std::ifstream in(fixture_path("fingerprints.txt"));
    std::string file, fpr;
    while (in >> file >> fpr) {
        out[file].push_back(fpr);
    }
    return out;
}

// Key files named "a.pgp+b.pgp" are the files one after the other, written to a temporary file.
std::string key_file(const std::string &names) {
    if (names.find('+') == std::string::npos) {
        return fixture_path(names);
    }
    Bytes all;
    size_t start = 0;
    while (start <= names.size()) {
        const size_t plus = names.find('+', start);
        const std::string one =
            names.substr(start, plus == std::string::npos ? plus : plus - start);
        const Bytes part = fixture(one);
        all.insert(all.end(), part.begin(), part.end());
        if (plus == std::string::npos) {
            break;
        }
        start = plus + 1;
    }
    const std::string path = testing::TempDir() + "keyring-joined.pgp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(all.data()),
               static_cast<std::streamsize>(all.size()));
    return path;
}

struct Outcome {
    PELLAX_ERROR_CODE init = 0;
    PELLAX_ERROR_CODE code = 0;
    int result = -1;
    std::string fingerprint;
};

// One verification through the front-end table, from files or from streams.
Outcome verify(Library &lib, const std::string &keys, const std::string &sig,
               const std::string &data, bool by_stream) {
    PELLAX_VERIFY_FUNCS t{};
    EXPECT_EQ(pellax_initialize_verify_funcs(&t), 0u);
    PELLAX_VRF_CTX *ctx = nullptr;
    EXPECT_EQ(t.vrf_ctx_create(&ctx), 0u);
    Outcome out;
    const PX_BYTE *fp = nullptr;
    PX_ULONG fp_len = 0;
    if (by_stream) {
        ByteStream key_stream(&lib.funcs.plt, read_file(key_file(keys)));
        out.init = t.verify_initialize_by_stream(ctx, key_stream.stream);
        ByteStream sig_stream(&lib.funcs.plt, fixture(sig));
        ByteStream data_stream(&lib.funcs.plt, fixture(data));
        out.code = t.verify_detach_signature_by_stream(ctx, data_stream.stream, sig_stream.stream,
                                                       &out.result, &fp, &fp_len);
    } else {
        out.init = t.verify_initialize(ctx, key_file(keys).c_str());
        out.code = t.verify_detach_signature(ctx, fixture_path(data).c_str(),
                                             fixture_path(sig).c_str(), &out.result, &fp, &fp_len);
    }
    if (fp != nullptr) {
        EXPECT_EQ(fp_len, 20u);
        out.fingerprint = to_hex(fp, 20);
    }
    EXPECT_EQ(t.vrf_ctx_free(ctx), 0u);
    return out;
}

// How the library's verdict relates to gpgv's on the same files.
enum class Gpgv {
    kAgrees,          // good exactly when gpgv says GOOD
    kKeyUnfit,        // gpgv: good signature, key flagged; here the key is not in the key ring
    kUnsupportedKey,  // gpgv: GOOD; the key's algorithm is not taken here
    kSubkeySigner,    // gpgv: GOOD; subkeys never sign here
    kOneSignatureOnly,
    kTextHashedAsIs,  // gpgv: GOOD; a text signature is hashed without line-end canonicalization
};

struct FixtureCase {
    const char *keys;
    const char *sig;
    const char *data;
    PELLAX_ERROR_CODE init;
    PELLAX_ERROR_CODE code;
    int result;
    const char *signer;  // key file and index into its fingerprints, e.g. "multi.pgp#1"
    const char *gpgv;    // gpgv's recorded verdict (null: no gpgv run)
    Gpgv relation;
};

std::string expected_fingerprint(const char *signer) {
    if (signer == nullptr) {
        return "";
    }
    static const auto all = gpg_fingerprints();
    const std::string s(signer);
    const size_t hash = s.find('#');
    return all.at(s.substr(0, hash)).at(std::stoul(s.substr(hash + 1)));
}

TEST(DetachedSignature, GpgFixtures) {
    const auto gpgv = gpgv_verdicts();
    const FixtureCase cases[] = {
        {"rsa2048.pgp", "data.rsa2048-sha1.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha224.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha256.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha384.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha512.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha256.asc", "data.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.asc", "data.rsa2048-sha256.asc", "data.bin", 0, 0, 1, "rsa2048.pgp#0", nullptr,
         Gpgv::kAgrees},
        {"rsa2048.asc", "data.rsa2048-sha256.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0", nullptr,
         Gpgv::kAgrees},
        {"rsa3072.pgp", "data.rsa3072-sha256.sig", "data.bin", 0, 0, 1, "rsa3072.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa4096.pgp", "data.rsa4096-sha256.sig", "data.bin", 0, 0, 1, "rsa4096.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa3104.pgp", "data.rsa3104-sha256.sig", "data.bin", 0, 0, 1, "rsa3104.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa3104.asc", "data.rsa3104-sha256.sig", "data.bin", 0, 0, 1, "rsa3104.pgp#0", nullptr,
         Gpgv::kAgrees},
        {"future.pgp", "data.future-sha256.sig", "data.bin", 0, 0, 1, "future.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"multi.pgp", "data.rsa3072-sha256.sig", "data.bin", 0, 0, 1, "multi.pgp#1", "GOOD",
         Gpgv::kAgrees},
        {"multi.asc", "data.rsa3072-sha256.sig", "data.bin", 0, 0, 1, "multi.pgp#1", nullptr,
         Gpgv::kAgrees},
        {"mixed.pgp", "data.rsa2048-sha256.sig", "data.bin", 0, 0, 1, "mixed.pgp#2", "GOOD",
         Gpgv::kAgrees},
        {"mixed.asc", "data.rsa2048-sha256.asc", "data.bin", 0, 0, 1, "mixed.pgp#2", nullptr,
         Gpgv::kAgrees},
        {"mixed.pgp", "data.dsa-sha256.sig", "data.bin", 0, 0, 0, nullptr, "GOOD",
         Gpgv::kUnsupportedKey},
        {"mixed.pgp", "data.eddsa-sha256.sig", "data.bin", 0, 0, 0, nullptr, "GOOD",
         Gpgv::kUnsupportedKey},
        {"rsa2048.pgp", "data.rsa2048-sha256.sig", "data-tampered.bin", 0, 0, 0, nullptr, "BAD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha256.bad.sig", "data.bin", 0, 0, 0, nullptr, "BAD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "data.rsa2048-sha512.sig", "data-tampered.bin", 0, 0, 0, nullptr, nullptr,
         Gpgv::kAgrees},
        {"multi.pgp", "data.two.sig", "data.bin", 0, 0, 0, nullptr, "GOOD",
         Gpgv::kOneSignatureOnly},
        {"rsa2048.pgp", "empty.rsa2048.sig", "empty.bin", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa4096.asc", "empty.rsa4096.asc", "empty.bin", 0, 0, 1, "rsa4096.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "empty.rsa2048.sig", "data.bin", 0, 0, 0, nullptr, nullptr, Gpgv::kAgrees},
        {"rsa3072.pgp", "data.rsa2048-sha256.sig", "data.bin", 0, 0, 0, nullptr, "NOKEY",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "text-crlf.rsa2048.sig", "text-crlf.txt", 0, 0, 1, "rsa2048.pgp#0", "GOOD",
         Gpgv::kAgrees},
        {"rsa2048.pgp", "text-lf.rsa2048.sig", "text-lf.txt", 0, 0, 0, nullptr, "GOOD",
         Gpgv::kTextHashedAsIs},
        // A certification is no document signature, even over the very octets it hashes.
        {"rsa2048.pgp", "cert-as-data.sig", "cert-as-data.bin", 0, 0, 0, nullptr, "ERROR",
         Gpgv::kAgrees},
        // Unfit keys never reach the key ring: alone they leave none (123, then 10).
        {"expired.pgp", "data.expired-sha256.sig", "data.bin", 123, 10, 0, nullptr,
         "GOOD-EXPIRED-KEY", Gpgv::kKeyUnfit},
        {"revoked.pgp", "data.revoked-sha256.sig", "data.bin", 123, 10, 0, nullptr,
         "GOOD-REVOKED-KEY", Gpgv::kKeyUnfit},
        {"subsign.pgp", "data.subsign-sha256.sig", "data.bin", 123, 10, 0, nullptr, "GOOD",
         Gpgv::kSubkeySigner},
        {"keyflags-cert.pgp", "data.rsa2048-sha256.sig", "data.bin", 123, 10, 0, nullptr, nullptr,
         Gpgv::kAgrees},
        {"expired.pgp+rsa2048.pgp", "data.expired-sha256.sig", "data.bin", 0, 0, 0, nullptr,
         nullptr, Gpgv::kKeyUnfit},
        {"revoked.pgp+rsa2048.pgp", "data.revoked-sha256.sig", "data.bin", 0, 0, 0, nullptr,
         nullptr, Gpgv::kKeyUnfit},
        {"subsign.pgp+rsa2048.pgp", "data.subsign-sha256.sig", "data.bin", 0, 0, 0, nullptr,
         nullptr, Gpgv::kSubkeySigner},
        {"revoked.pgp+rsa2048.pgp", "data.rsa2048-sha256.sig", "data.bin", 0, 0, 1, "rsa2048.pgp#0",
         nullptr, Gpgv::kAgrees},
    };
    for (const FixtureCase &c : cases) {
        SCOPED_TRACE(std::string(c.keys) + " " + c.sig + " " + c.data);
        if (c.gpgv != nullptr) {
            // gpgv read the binary form of the same keys.
            std::string keyring = c.keys;
            if (keyring.size() > 4 && keyring.compare(keyring.size() - 4, 4, ".asc") == 0) {
                keyring.replace(keyring.size() - 4, 4, ".pgp");
            }
            const auto it = gpgv.find(std::string(c.sig) + " " + c.data + " " + keyring);
            ASSERT_NE(it, gpgv.end());
            EXPECT_EQ(it->second, c.gpgv);
            if (c.relation == Gpgv::kAgrees) {
                EXPECT_EQ(c.result == 1, it->second == "GOOD");
            } else {
                EXPECT_TRUE(c.result == 0 && it->second.rfind("GOOD", 0) == 0);
            }
        }
        for (bool by_stream : {false, true}) {
            SCOPED_TRACE(by_stream ? "streams" : "files");
            Library lib;
            const Outcome got = verify(lib, c.keys, c.sig, c.data, by_stream);
            EXPECT_EQ(got.init, c.init);
            EXPECT_EQ(got.code, c.code);
            EXPECT_EQ(got.result, c.code == 0 ? c.result : -1);
            EXPECT_EQ(got.fingerprint, expected_fingerprint(c.signer));
            EXPECT_EQ(lib.host.live_blocks, 0);
            if (c.code == 0 && !by_stream) {
                EXPECT_TRUE(lib.logged(c.result == 1 ? "Verify detached signature true."
                                                     : "Verify detached signature failed."));
            }
        }
    }
}

TEST(DetachedSignature, TamperedDataReachesTheProvider) {
    Library lib;
    const Outcome got =
        verify(lib, "rsa2048.pgp", "data.rsa2048-sha256.sig", "data-tampered.bin", false);
    EXPECT_EQ(got.result, 0);
    EXPECT_TRUE(lib.logged("pellax_crypto_vrf_final result: 0."));
}

// Crafted signature files against a key ring of the crafted key.
constexpr uint32_t kKeyTime = 1700000000;

const Signer &signer() {
    static const Signer s(fixture_path("craft-rsa2048.pem"));
    return s;
}

Bytes crafted_key_file() {
    const std::string uid = "Crafted <crafted@notarix.invalid>";
    SigFields cert;
    cert.created = kKeyTime;
    cert.key_flags = 0x03;
    const Bytes material =
        concat({Signer::key_material(signer().key_body(kKeyTime)), Signer::uid_material(uid)});
    return concat({signer().key_packet(kKeyTime),
                   packet(PKT_USER_ID, Bytes(uid.begin(), uid.end())),
                   signer().sign(material, cert, kKeyTime)});
}

Bytes document_sig(const Bytes &data, int64_t created, uint8_t sig_class = 0x00) {
    SigFields s;
    s.sig_class = sig_class;
    s.created = created;
    return signer().sign(data, s, kKeyTime);
}

struct Internal {
    PELLAX_ERROR_CODE code;
    PX_UINT32 verdict;
    const PX_BYTE *fingerprint;
};

Internal verify_internal(Library &lib, const Bytes &sig_file, const Bytes &data) {
    Internal out{0, 7, nullptr};
    PELLAX_LIST *ring = nullptr;
    {
        ByteStream keys(&lib.funcs.plt, crafted_key_file());
        EXPECT_EQ(pellax_load_key(&lib.funcs, keys.stream, &ring), 0u);
    }
    {
        ByteStream sig(&lib.funcs.plt, sig_file);
        ByteStream source(&lib.funcs.plt, data);
        out.code = pellax_vrf_verify_detach_signature_internal(
            &lib.funcs, source.stream, sig.stream, ring, &out.fingerprint, &out.verdict);
    }
    pellax_free_keyring(&lib.funcs.plt, ring);
    return out;
}

TEST(DetachedSignature, CraftedSignatureFiles) {
    const Bytes data = {'s', 'i', 'g', 'n', 'e', 'd'};
    const Bytes good = document_sig(data, kKeyTime + 10);
    const Bytes marker = packet(10, Bytes{'P', 'G', 'P'});
    SigFields expiring;
    expiring.sig_class = 0x00;
    expiring.created = kKeyTime + 10;
    expiring.sig_expire = 60;  // passed long ago: not looked at
    SigFields unknown_issuer;
    unknown_issuer.sig_class = 0x00;
    unknown_issuer.created = kKeyTime + 10;
    unknown_issuer.issuer_override = true;
    unknown_issuer.issuer_id[0] = 0xDEADBEEF;
    const struct {
        const char *name;
        Bytes sig_file;
        PELLAX_ERROR_CODE code;
        PX_UINT32 verdict;
        const char *log;
    } cases[] = {
        {"good", good, 0, 1, "Verify detached signature true."},
        {"text class over the same octets", document_sig(data, kKeyTime + 10, 0x01), 0, 1, nullptr},
        {"followed by a packet of another kind", concat({good, packet(PKT_USER_ID, Bytes{'x'})}), 0,
         1, nullptr},
        {"expired signature still verifies", signer().sign(data, expiring, kKeyTime), 0, 1,
         nullptr},
        {"made before the key", document_sig(data, kKeyTime - 1), 120, 0,
         "Check signature message error."},
        {"two signatures", concat({good, good}), 102, 0,
         "Detach signature data error, there are more than one signature packets exist."},
        // A user id's tag is no packet a signature file starts with: read as armor, it fails.
        {"user id first", concat({packet(PKT_USER_ID, Bytes{'x'}), good}), 102, 0,
         "Parse packet error."},
        {"a key first", concat({crafted_key_file(), good}), 102, 0,
         "Detach signature data error, first packet is not signature packet."},
        {"marker packet first: nothing is kept", concat({marker, good}), 102, 0,
         "Move cursor to next error."},
        {"issuer not in the key ring", signer().sign(data, unknown_issuer, kKeyTime), 0, 0,
         "Can't find verify public key."},
        {"standalone class", document_sig(data, kKeyTime + 10, 0x02), 108, 0,
         "Signature class is not a document signature, class: 0x02."},
        {"key revocation class", document_sig(data, kKeyTime + 10, 0x20), 108, 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Library lib;
        const Internal got = verify_internal(lib, c.sig_file, data);
        EXPECT_EQ(got.code, c.code);
        EXPECT_EQ(got.verdict, c.verdict);
        if (c.verdict == 1) {
            ASSERT_NE(got.fingerprint, nullptr);
        } else {
            EXPECT_EQ(got.fingerprint, nullptr);
        }
        if (c.log != nullptr) {
            EXPECT_TRUE(lib.logged(c.log));
        }
        EXPECT_EQ(lib.host.live_blocks, 0);
        // Whatever the code, the entry points fold data-format failures into a plain "no".
        EXPECT_EQ(do_with_signature_verify_return(c.code), 0u);
    }
}

}  // namespace
