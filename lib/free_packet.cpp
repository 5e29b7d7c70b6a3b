#include "free_packet.h"

namespace {

// The host's free slot is not promised to accept null.
void release(const PELLAX_SYS_API *sys, void *block) {
    if (block != nullptr) {
        pellax_free(sys, block);
    }
}

}  // namespace

void free_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_PACKET *packet) {
    if (packet == nullptr || packet->data == nullptr) {
        return;
    }
    const PELLAX_SYS_API *sys = &plt->sys;
    switch (packet->pkttype) {
        case PKT_SIGNATURE: {
            PELLAX_SIGNATURE *sig = static_cast<PELLAX_SIGNATURE *>(packet->data);
            release(sys, sig->hashed_area);
            release(sys, sig->unhashed_area);
            sig->hashed_area = nullptr;
            sig->unhashed_area = nullptr;
            break;
        }
        case PKT_USER_ID: {
            // Attributes travel as user ids; a plain user id has both pointers null.
            PELLAX_USER_ID *uid = static_cast<PELLAX_USER_ID *>(packet->data);
            release(sys, uid->attributes);
            release(sys, uid->attribute_data);
            uid->attributes = nullptr;
            uid->attribute_data = nullptr;
            uid->attribute_length = 0;
            break;
        }
        default:
            break;
    }
    pellax_free(sys, packet->data);
    packet->data = nullptr;
}

void free_packet_v(const PELLAX_PLT_FUNCS *plt, void *packet) {
    if (packet == nullptr) {
        return;
    }
    free_packet(plt, static_cast<PELLAX_PACKET *>(packet));
    pellax_free(&plt->sys, packet);
}
