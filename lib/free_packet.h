/* Release of the records parse_packet hangs into an envelope. */
#ifndef PELLAX_FREE_PACKET_H
#define PELLAX_FREE_PACKET_H

#include "pellax_packet.h"
#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

/* Releases the envelope's record and everything it points to, then clears data; the envelope
 * itself stays. A null envelope or a null data does nothing; a partly filled record is fine. */
void free_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_PACKET *packet);

/* free_packet, then releases the envelope (a PELLAX_PACKET from pellax_malloc). Shaped as a
 * list release function, so packet lists own their envelopes. */
void free_packet_v(const PELLAX_PLT_FUNCS *plt, void *packet);

PELLAX_EXTERN_C_END

#endif
