#ifndef VEILCAP_ANONPRIMITIVES_ANONRESULTCACHE_H
#define VEILCAP_ANONPRIMITIVES_ANONRESULTCACHE_H

#include <cstdint>
#include <cstring>
#include <memory>

// A memo of a deterministic primitive's results for short fields (1 to 16
// bytes: addresses, MACs), so that an address seen again costs a table
// look-up instead of 32 AES rounds (CryptoPAn) or two SHA-1 blocks (HMAC).
// Real traces repeat a small set of addresses most of the time, so most
// look-ups hit.
//
// Direct-mapped: a field has one slot, chosen by a hash of its bytes and
// length; a newer field evicts an older one. Only primitives whose output
// depends on nothing but the field's bytes and length may use it: a hit
// then yields exactly the bytes a fresh computation would, so the output
// trace does not change.
class AnonResultCache {
  public:
    static const uint32_t MAX_FIELD_LENGTH = 16;

    AnonResultCache();
    ~AnonResultCache();
    AnonResultCache(const AnonResultCache&) = delete;
    AnonResultCache& operator=(const AnonResultCache&) = delete;

    // True when the field of length bytes is in the memo: its result has
    // then been written over it. Fields longer than MAX_FIELD_LENGTH or
    // empty are never in the memo.
    bool lookUp(uint8_t* field, uint32_t length) const;

    // Remembers that original (length bytes) became result.
    void store(const uint8_t* original, const uint8_t* result, uint32_t length);

    static bool fits(uint32_t length) { return length >= 1 && length <= MAX_FIELD_LENGTH; }

    // Transforms the field in place: from the memo when it is there,
    // otherwise by compute() (which transforms the field in place), whose
    // result is then remembered. Fields that do not fit go to compute().
    template <typename Compute>
    void transform(uint8_t* field, uint32_t length, Compute compute) {
        if (!fits(length)) {
            compute();
            return;
        }
        if (lookUp(field, length)) {
            return;
        }
        uint8_t original[MAX_FIELD_LENGTH];
        std::memcpy(original, field, length);
        compute();
        store(original, field, length);
    }

  private:
    // The slot count: a power of two, 160 KB per cache.
    static const uint32_t SLOT_BITS = 12;

    struct Slot {
        uint64_t input[2];  // the field, zero-padded to 16 bytes
        uint8_t output[MAX_FIELD_LENGTH];
        uint32_t length;  // 0: empty slot
    };

    static void pad(const uint8_t* field, uint32_t length, uint64_t padded[2]);
    static uint32_t slotIndex(const uint64_t padded[2], uint32_t length);

    // Allocated at the first store, so an unused primitive costs nothing.
    std::unique_ptr<Slot[]> slots;
};

#endif
