#ifndef VEILCAP_ANONPRIMITIVES_ANONBYTEWISEHASHHMACSHA1_H
#define VEILCAP_ANONPRIMITIVES_ANONBYTEWISEHASHHMACSHA1_H

#include <string>

#include "anonprimitives/AnonBytewise.h"

// Bytewise substitution by the first byte of HMAC-SHA1(key, b) for each
// single byte value b.
class AnonBytewiseHashHmacSha1 : public AnonBytewise {
  public:
    // A key longer than 65535 bytes ends the process with a configuration
    // error (status 2).
    explicit AnonBytewiseHashHmacSha1(const std::string& key);
};

#endif
