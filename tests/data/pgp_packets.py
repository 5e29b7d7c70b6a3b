"""Splits OpenPGP packet data for the fixture scripts that rearrange or cut gpg's output."""


def split(data):
    """Every packet of data as (tag, whole packet, body); old and new headers, no partial lengths."""
    packets, i = [], 0
    while i < len(data):
        ctb = data[i]
        if ctb & 0x40:
            kind, first = ctb & 0x3F, data[i + 1]
            if first < 192:
                header, length = 2, first
            elif first < 224:
                header, length = 3, ((first - 192) << 8) + data[i + 2] + 192
            else:
                header, length = 6, int.from_bytes(data[i + 2:i + 6], "big")
        else:
            kind, octets = (ctb >> 2) & 0x0F, 1 << (ctb & 3)
            header, length = 1 + octets, int.from_bytes(data[i + 1:i + 1 + octets], "big")
        packets.append((kind, data[i:i + header + length], data[i + header:i + header + length]))
        i += header + length
    return packets
