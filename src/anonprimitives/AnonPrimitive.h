#ifndef VEILCAP_ANONPRIMITIVES_ANONPRIMITIVE_H
#define VEILCAP_ANONPRIMITIVES_ANONPRIMITIVE_H

#include <cstdint>

// The result of one primitive: whether the field goes on to the next
// primitive of the chain, and the field's length after this primitive.
struct AnonResult {
    bool passOn;
    uint32_t newLength;
};

// An anonymization primitive: transforms the bytes of one header field in
// place. Primitives form a chain through next; a primitive does
// not own its next.
class AnonPrimitive {
  public:
    AnonPrimitive();
    virtual ~AnonPrimitive();

    AnonPrimitive(const AnonPrimitive&) = delete;
    AnonPrimitive& operator=(const AnonPrimitive&) = delete;

    // Transforms the length bytes at buffer in place; never lengthens them.
    virtual AnonResult anonymize(uint8_t* buffer, uint32_t length) = 0;

    // Runs this primitive and, while each hands the field on, the ones
    // behind it, each on the length its predecessor reported. Returns the
    // smallest length reported by the primitives that ran.
    uint32_t anonymizeChain(uint8_t* buffer, uint32_t length);

    void setNext(AnonPrimitive* primitive);
    AnonPrimitive* getNext() const;

    // True when this primitive leaves every field unchanged and hands it on
    // (AnonIdentity).
    virtual bool isIdentity() const { return false; }
    // True when the chain from this primitive on consists of identities
    // only: it then changes nothing, and callers may skip running it (most
    // fields of a typical profile). Computed at the first call; a chain is
    // complete before it is used, and setNext() forgets the answer.
    bool isIdentityChain() const {
        if (identityChain < 0) {
            identityChain = computeIdentityChain() ? 1 : 0;
        }
        return identityChain == 1;
    }

    // Deletes first and every primitive behind it; null is allowed.
    static void destroyChain(AnonPrimitive* first);

  protected:
    AnonPrimitive* next;

  private:
    bool computeIdentityChain() const;

    mutable int8_t identityChain;  // -1 unknown, 0 no, 1 yes
};

#endif
