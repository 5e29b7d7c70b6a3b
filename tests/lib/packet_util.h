// Helpers for packet tests: a stream over bytes in memory, packet builders, and a holder that
// parses a whole stream and releases what it got.
#ifndef NOTARIX_TESTS_PACKET_UTIL_H
#define NOTARIX_TESTS_PACKET_UTIL_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "free_packet.h"
#include "parse.h"
#include "pellax_iobuf.h"
#include "test_host.h"

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes be(uint64_t value, int octets) {
    Bytes out;
    for (int i = octets - 1; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return out;
}

// A style-0 filter that hands out a byte vector, as much as the stream has room for.
struct MemorySource {
    Bytes data;
    size_t pos = 0;

    static PELLAX_ERROR_CODE filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                    int command) {
        MemorySource *src = static_cast<MemorySource *>(stream->filter_ctx);
        switch (command) {
            case FILTER_CMD_INIT:
                stream->filter_name = "memory";
                return 0;
            case FILTER_CMD_UNDERFLOW: {
                PX_UINT32 space = 0;
                PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
                if (rc != 0) {
                    return rc;
                }
                size_t n = src->data.size() - src->pos;
                if (n > space) {
                    n = space;
                }
                if (n == 0) {
                    return 0;
                }
                rc = fips_pellax_iobuf_write(plt, stream, src->data.data() + src->pos,
                                             static_cast<PX_UINT32>(n));
                src->pos += n;
                return rc;
            }
            case FILTER_CMD_FREE:
                stream->filter_ctx = nullptr;
                stream->filter_name = nullptr;
                return 0;
            default:
                return 0;
        }
    }
};

// A stream over bytes; null when the host could not make it.
class MemoryStream {
  public:
    MemoryStream(TestHost &host, Bytes data) : host_(host) {
        src_.data = std::move(data);
        fips_pellax_iobuf_create_and_init(&host_.plt, &MemorySource::filter, &src_, &stream_);
    }
    ~MemoryStream() { fips_pellax_iobuf_free(&host_.plt, stream_); }
    MemoryStream(const MemoryStream &) = delete;
    MemoryStream &operator=(const MemoryStream &) = delete;
    PELLAX_IOBUF *get() const { return stream_; }

  private:
    TestHost &host_;
    MemorySource src_;
    PELLAX_IOBUF *stream_ = nullptr;
};

// Every packet of a stream, parsed until the end or the first failure (whose partly filled
// envelope is kept too), and released with free_packet.
class ParsedPackets {
  public:
    ParsedPackets(TestHost &host, const Bytes &data) : host_(host) {
        MemoryStream stream(host, data);
        if (stream.get() == nullptr) {
            rc = 1;
            return;
        }
        for (;;) {
            PELLAX_PACKET packet{0, nullptr};
            int end = 0;
            rc = parse_packet(&host.plt, stream.get(), &packet, &end);
            if (rc != 0 || end != 0) {
                if (packet.data != nullptr) {
                    failed.push_back(packet);
                }
                break;
            }
            packets.push_back(packet);
        }
    }
    ~ParsedPackets() {
        for (PELLAX_PACKET &p : packets) {
            free_packet(&host_.plt, &p);
        }
        for (PELLAX_PACKET &p : failed) {
            free_packet(&host_.plt, &p);
        }
    }
    ParsedPackets(const ParsedPackets &) = delete;
    ParsedPackets &operator=(const ParsedPackets &) = delete;

    std::vector<uint32_t> types() const {
        std::vector<uint32_t> out;
        for (const PELLAX_PACKET &p : packets) {
            out.push_back(p.pkttype);
        }
        return out;
    }
    template <typename T>
    T *at(size_t i) const {
        return static_cast<T *>(packets.at(i).data);
    }

    PELLAX_ERROR_CODE rc = 0;
    std::vector<PELLAX_PACKET> packets;
    std::vector<PELLAX_PACKET> failed;

  private:
    TestHost &host_;
};

/* ---- builders ---------------------------------------------------------------------------- */

// New-format header with the shortest length encoding.
inline Bytes new_header(uint8_t type, uint32_t length) {
    Bytes out{static_cast<uint8_t>(0xC0 | type)};
    if (length < 192) {
        out.push_back(static_cast<uint8_t>(length));
    } else if (length < 8384) {
        const uint32_t v = length - 192;
        out.push_back(static_cast<uint8_t>(192 + (v >> 8)));
        out.push_back(static_cast<uint8_t>(v & 0xFF));
    } else {
        out.push_back(255);
        Bytes four = be(length, 4);
        out.insert(out.end(), four.begin(), four.end());
    }
    return out;
}

inline Bytes packet(uint8_t type, const Bytes &body) {
    return cat({new_header(type, static_cast<uint32_t>(body.size())), body});
}

// An MPI of bits significant bits: top bit set, the rest fill.
inline Bytes mpi(uint32_t bits, uint8_t fill = 0xA5) {
    Bytes out = be(bits, 2);
    const uint32_t octets = (bits + 7) / 8;
    for (uint32_t i = 0; i < octets; ++i) {
        out.push_back(fill);
    }
    if (octets > 0) {
        const uint32_t top = (bits - 1) % 8;
        out[2] = static_cast<uint8_t>((1u << top) | (fill & ((1u << top) - 1)));
    }
    return out;
}

constexpr uint32_t kKeyTime = 0x5F5E1000;

inline Bytes key_body(uint8_t version = 4, uint8_t algorithm = 1, uint32_t nbits = 2048,
                      const Bytes &tail = {}) {
    return cat({{version},
                be(kKeyTime, 4),
                {algorithm},
                mpi(nbits),
                {0x00, 0x11, 0x01, 0x00, 0x01},
                tail});
}

inline Bytes user_id(const std::string &name) {
    return packet(PKT_USER_ID, Bytes(name.begin(), name.end()));
}

// One signature subpacket with the shortest length encoding.
inline Bytes subpkt(uint8_t type, const Bytes &data) {
    const uint32_t length = static_cast<uint32_t>(data.size()) + 1;
    Bytes out;
    if (length < 192) {
        out.push_back(static_cast<uint8_t>(length));
    } else if (length < 8384) {
        const uint32_t v = length - 192;
        out.push_back(static_cast<uint8_t>(192 + (v >> 8)));
        out.push_back(static_cast<uint8_t>(v & 0xFF));
    } else {
        out.push_back(255);
        Bytes four = be(length, 4);
        out.insert(out.end(), four.begin(), four.end());
    }
    out.push_back(type);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes sig_body(const Bytes &hashed, const Bytes &unhashed, uint8_t key_algorithm = 1,
                      const Bytes &value = mpi(2047), uint8_t version = 4,
                      uint8_t sig_class = 0x13) {
    return cat({{version, sig_class, key_algorithm, 8},
                be(hashed.size(), 2),
                hashed,
                be(unhashed.size(), 2),
                unhashed,
                {0xAB, 0xCD},
                value});
}

inline Bytes repeat(uint8_t octet, size_t count) {
    return Bytes(count, octet);
}

#endif
