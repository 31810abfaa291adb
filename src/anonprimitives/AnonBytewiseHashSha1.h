#ifndef VEILCAP_ANONPRIMITIVES_ANONBYTEWISEHASHSHA1_H
#define VEILCAP_ANONPRIMITIVES_ANONBYTEWISEHASHSHA1_H

#include "anonprimitives/AnonBytewise.h"

// Bytewise substitution by the first byte of the SHA-1 digest of each
// single byte value.
class AnonBytewiseHashSha1 : public AnonBytewise {
  public:
    AnonBytewiseHashSha1();
};

#endif
