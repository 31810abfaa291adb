#ifndef VEILCAP_PACKETS_OWNEDBYTES_H
#define VEILCAP_PACKETS_OWNEDBYTES_H

#include <cstdint>

// The variable-length fields (IPv4 and TCP options, payload) are malloc'ed
// blocks owned by their packet, with a length of their own. These helpers
// hold the one way of copying, replacing and adopting such a block.

// A new malloc'ed copy of the block, never null (1 byte for an empty
// block), so callers can always free it.
uint8_t* copyOwnedBytes(const uint8_t* block, uint32_t length);

// Replaces the block with a copy of data; a length of 0 frees it.
void assignOwnedBytes(uint8_t*& block, uint32_t& blockLength, const uint8_t* data, uint32_t length);

// Replaces the block with the malloc'ed data, which the owner now holds
// (freed at once for a length of 0).
void adoptOwnedBytes(uint8_t*& block, uint32_t& blockLength, uint8_t* data, uint32_t length);

#endif
