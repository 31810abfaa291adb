#ifndef VEILCAP_ANONPRIMITIVES_ANONFACTORY_H
#define VEILCAP_ANONPRIMITIVES_ANONFACTORY_H

#include <map>
#include <string>

#include "anonprimitives/AnonPrimitive.h"

// Builds primitive chains from the attributes of one profile entry (Part
// 5.3). Has no state; one object serves a whole profile load.
class AnonFactory {
  public:
    // The chain named by the "anon" attribute (names separated by commas),
    // with the primitives' parameters taken from the same map; null without
    // "anon" or when a name is unknown ("unknown anonprimitive NAME" is
    // printed, and the primitives built behind it are deleted). A missing
    // required attribute ends the process with status 2. The caller owns
    // the whole chain (see AnonPrimitive::destroyChain).
    AnonPrimitive* create(const std::map<std::string, std::string>& attributes);

  private:
    AnonPrimitive* createPrimitive(const std::string& name,
                                   const std::map<std::string, std::string>& attributes);
};

#endif
