#include "anonprimitives/AnonPrimitive.h"

AnonPrimitive::AnonPrimitive() : next(nullptr), identityChain(-1) {}

AnonPrimitive::~AnonPrimitive() {}

uint32_t AnonPrimitive::anonymizeChain(uint8_t* buffer, uint32_t length) {
    // The loop form of: r = anonymize(buffer, length); if r.passOn and next
    // is set, return min(r.newLength, next->anonymizeChain(buffer,
    // r.newLength)); else return r.newLength.
    if (isIdentityChain()) {
        return length;  // what the identities would report, without the calls
    }
    AnonPrimitive* current = this;
    uint32_t result = length;
    bool first = true;
    while (current != nullptr) {
        AnonResult r = current->anonymize(buffer, length);
        if (first || r.newLength < result) {
            result = r.newLength;
        }
        first = false;
        if (!r.passOn) {
            break;
        }
        length = r.newLength;
        current = current->next;
    }
    return result;
}

void AnonPrimitive::setNext(AnonPrimitive* primitive) {
    next = primitive;
    identityChain = -1;
}

bool AnonPrimitive::computeIdentityChain() const {
    for (const AnonPrimitive* p = this; p != nullptr; p = p->next) {
        if (!p->isIdentity()) {
            return false;
        }
    }
    return true;
}

AnonPrimitive* AnonPrimitive::getNext() const {
    return next;
}

void AnonPrimitive::destroyChain(AnonPrimitive* first) {
    while (first != nullptr) {
        AnonPrimitive* following = first->next;
        delete first;
        first = following;
    }
}
