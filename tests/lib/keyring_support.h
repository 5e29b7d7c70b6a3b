// Helpers for the key-ring and detached-signature tests: fixture files, OpenPGP packets taken
// apart and put together, an RSA signer for crafted key blocks, streams over bytes, and a host
// with the OpenSSL provider registered.
#ifndef NOTARIX_TESTS_KEYRING_SUPPORT_H
#define NOTARIX_TESTS_KEYRING_SUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mem_source.h"
#include "pellax_list.h"
#include "pellax_packet.h"
#include "test_host.h"

using Bytes = std::vector<uint8_t>;

// A fixed clock after every fixture key's creation (2026-01-01 00:00 UTC).
constexpr int64_t kFixtureNow = 1767225600;

std::string fixture_path(const std::string &name);
Bytes read_file(const std::string &path);
Bytes fixture(const std::string &name);
std::string to_hex(const uint8_t *data, size_t len);

// One packet of a binary OpenPGP stream: its type, its body and the whole packet with header.
struct RawPacket {
    int type;
    Bytes body;
    Bytes raw;
};
std::vector<RawPacket> split_packets(const Bytes &data);
// A new-format packet of this type around body.
Bytes packet(int type, const Bytes &body);
Bytes concat(const std::vector<Bytes> &parts);

// What a crafted signature says. Times are absolute seconds.
struct SigFields {
    uint8_t sig_class = 0x13;
    uint8_t hash = 8;  // OpenPGP hash number
    uint8_t key_algorithm = 1;
    int64_t created = -1;     // creation time subpacket; -1: none
    int key_flags = -1;       // first key flags octet; -1: no subpacket
    int64_t key_expire = -1;  // key expiration subpacket (seconds after key creation)
    int64_t sig_expire = -1;  // signature expiration subpacket
    bool issuer = true;       // issuer subpacket with the signer's key id (or issuer_override)
    bool issuer_override = false;
    uint32_t issuer_id[2] = {0, 0};
    bool corrupt = false;  // flip the last octet of the signature value
};

// An RSA key from a PEM file that signs crafted key blocks and documents.
class Signer {
  public:
    explicit Signer(const std::string &pem_path);
    ~Signer();
    Signer(const Signer &) = delete;
    Signer &operator=(const Signer &) = delete;

    // The version 4 public key packet body with this creation time.
    Bytes key_body(uint32_t created) const;
    Bytes key_packet(uint32_t created, int type = PKT_PUBLIC_KEY) const {
        return packet(type, key_body(created));
    }
    // Key id (high, low) and fingerprint of the key made at this time.
    void keyid(uint32_t created, uint32_t id[2]) const;
    Bytes fingerprint(uint32_t created) const;

    // A signature packet over `material` (the octets hashed before the trailer).
    Bytes sign(const Bytes &material, const SigFields &fields, uint32_t key_created) const;

    // What key signatures hash: the key, and a user id or subkey after it.
    static Bytes key_material(const Bytes &key_body);
    static Bytes uid_material(const std::string &uid);

  private:
    void *pkey_;  // EVP_PKEY
    Bytes n_;
    Bytes e_;
};

// A stream over bytes held in memory (style-0 filter), freed with the holder.
struct ByteStream {
    const PELLAX_PLT_FUNCS *plt;
    MemSource src;
    PELLAX_IOBUF *stream = nullptr;
    // must_open: a failure to create the stream fails the test (else stream stays null).
    ByteStream(const PELLAX_PLT_FUNCS *p, const Bytes &bytes, bool must_open = true);
    ~ByteStream();
    ByteStream(const ByteStream &) = delete;
    ByteStream &operator=(const ByteStream &) = delete;
};

// A test host installed as the library's global table, with the OpenSSL provider registered
// and the clock at kFixtureNow. funcs is a complete callback table for the inner routines.
struct Library {
    TestHost host;
    PELLAX_CALLBACK_FUNCS funcs{};
    Library();
    // Packets of the key ring (null list: none), for looking at records.
    static std::vector<PELLAX_PACKET *> packets(PELLAX_LIST *list);
    bool logged(const std::string &message) const;
    bool logged(int code, const std::string &message) const { return host.logged(code, message); }
};

#endif
