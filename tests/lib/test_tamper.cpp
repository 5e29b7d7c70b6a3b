// Tampering with a good signature (tests/data/tamper: an RSA 2048 key, a 64-byte file and its
// SHA-256 signature, all made by gpg). No single-bit change of the signed file, of the
// signature's hashed part or of its value may leave a good verdict. Changes elsewhere in the
// signature packet (its header, the unhashed area, the two hash-prefix octets, the value's bit
// count) may keep the verdict or lose it, but never crash. And no change of one octet of the
// key file may let the signature pass with a key of another fingerprint.
#include <gtest/gtest.h>

#include <string>

#include "keyring_support.h"
#include "pellax_vrf_internal.h"

namespace {

Bytes tamper_file(const std::string &name) {
    return read_file(std::string(NOTARIX_TAMPER_DATA) + "/" + name);
}

class Tamper : public ::testing::Test {
  protected:
    Library lib;
    const Bytes key = tamper_file("key.pgp");
    const Bytes sig = tamper_file("data.sig");
    const Bytes data = tamper_file("data.bin");
    std::string fingerprint;

    void SetUp() override {
        lib.funcs.plt.log_callback = nullptr;  // thousands of runs: no log lines to keep
        const Bytes text = tamper_file("fingerprint.txt");
        fingerprint.assign(text.begin(), text.begin() + 40);
    }

    // A key ring from key file bytes; null when nothing loads.
    PELLAX_LIST *load(const Bytes &keys) {
        ByteStream in(&lib.funcs.plt, keys);
        PELLAX_LIST *ring = nullptr;
        if (pellax_load_key(&lib.funcs, in.stream, &ring) != PELLAX_OK) {
            EXPECT_EQ(ring, nullptr);
            return nullptr;
        }
        return ring;
    }

    // The signer's fingerprint for a good verdict, else an empty text.
    std::string verify(PELLAX_LIST *ring, const Bytes &signature, const Bytes &signed_data) {
        ByteStream source(&lib.funcs.plt, signed_data);
        ByteStream sig_stream(&lib.funcs.plt, signature);
        const PX_BYTE *fp = nullptr;
        PX_UINT32 verdict = 0;
        const PELLAX_ERROR_CODE rc = pellax_vrf_verify_detach_signature_internal(
            &lib.funcs, source.stream, sig_stream.stream, ring, &fp, &verdict);
        if (verdict != 1) {
            EXPECT_EQ(fp, nullptr);
            return std::string();
        }
        EXPECT_EQ(rc, 0u);
        EXPECT_NE(fp, nullptr);
        return fp != nullptr ? to_hex(fp, 20) : "(none)";
    }
};

// Which octets of the signature file decide the verdict: the hashed part (version, class,
// algorithms, the counted hashed area) and the signature value's octets.
std::vector<bool> covered_octets(const Bytes &sig) {
    const std::vector<RawPacket> packets = split_packets(sig);
    EXPECT_EQ(packets.size(), 1u);
    const Bytes &body = packets.at(0).body;
    const size_t header = packets.at(0).raw.size() - body.size();
    const size_t hashed_end = 6 + (static_cast<size_t>(body.at(4)) << 8 | body.at(5));
    const size_t unhashed_end =
        hashed_end + 2 + (static_cast<size_t>(body.at(hashed_end)) << 8 | body.at(hashed_end + 1));
    const size_t value_start = unhashed_end + 2 + 2;  // hash prefix, then the bit count
    std::vector<bool> covered(sig.size(), false);
    for (size_t i = 0; i < body.size(); ++i) {
        covered[header + i] = i < hashed_end || i >= value_start;
    }
    return covered;
}

TEST_F(Tamper, NoBitOfTheSignedFileKeepsTheVerdict) {
    PELLAX_LIST *ring = load(key);
    ASSERT_NE(ring, nullptr);
    ASSERT_EQ(verify(ring, sig, data), fingerprint);
    for (size_t bit = 0; bit < data.size() * 8; ++bit) {
        Bytes changed = data;
        changed[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_EQ(verify(ring, sig, changed), "") << "signed file, bit " << bit;
    }
    pellax_free_keyring(&lib.funcs.plt, ring);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST_F(Tamper, SignatureBitsKeepTheVerdictOnlyOutsideWhatIsSigned) {
    const std::vector<bool> covered = covered_octets(sig);
    PELLAX_LIST *ring = load(key);
    ASSERT_NE(ring, nullptr);
    size_t kept = 0;
    for (size_t bit = 0; bit < sig.size() * 8; ++bit) {
        Bytes changed = sig;
        changed[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const std::string signer = verify(ring, changed, data);
        if (covered[bit / 8]) {
            EXPECT_EQ(signer, "") << "signature octet " << bit / 8 << ", bit " << bit % 8;
        } else if (!signer.empty()) {
            EXPECT_EQ(signer, fingerprint) << "signature octet " << bit / 8;
            ++kept;
        }
    }
    EXPECT_GT(kept, 0u);  // the unhashed area really is free to change
    pellax_free_keyring(&lib.funcs.plt, ring);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST_F(Tamper, NoKeyFileOctetLetsAnotherKeySign) {
    for (size_t i = 0; i < key.size(); ++i) {
        // Each single bit, and all of them.
        for (const uint8_t mask : {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF}) {
            Bytes changed = key;
            changed[i] ^= mask;
            PELLAX_LIST *ring = load(changed);
            if (ring != nullptr) {
                const std::string signer = verify(ring, sig, data);
                EXPECT_TRUE(signer.empty() || signer == fingerprint)
                    << "key octet " << i << " changed to " << int(changed[i]) << ": " << signer;
                pellax_free_keyring(&lib.funcs.plt, ring);
            }
            ASSERT_EQ(lib.host.live_blocks, 0) << "key octet " << i;
        }
    }
}

}  // namespace
