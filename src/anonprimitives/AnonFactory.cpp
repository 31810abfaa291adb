#include "anonprimitives/AnonFactory.h"

#include <cassert>
#include <cstdlib>

#include "Console.h"
#include "ExitStatus.h"
#include "anonprimitives/AnonBroadcastHandler.h"
#include "anonprimitives/AnonBytewiseHashHmacSha1.h"
#include "anonprimitives/AnonBytewiseHashSha1.h"
#include "anonprimitives/AnonConstOverwrite.h"
#include "anonprimitives/AnonContinuousChar.h"
#include "anonprimitives/AnonCryptoPan.h"
#include "anonprimitives/AnonHashHmacSha1.h"
#include "anonprimitives/AnonHashSha1.h"
#include "anonprimitives/AnonIdentity.h"
#include "anonprimitives/AnonRandomize.h"
#include "anonprimitives/AnonShorten.h"
#include "anonprimitives/AnonShuffle.h"
#include "anonprimitives/AnonWhitenoise.h"
#include "anonprimitives/Trim.h"

namespace {

typedef std::map<std::string, std::string> AttributeMap;

// The value of a required attribute; ends the process when it is missing.
const std::string& required(const AttributeMap& attributes, const char* attribute,
                            const char* className) {
    AttributeMap::const_iterator it = attributes.find(attribute);
    if (it == attributes.end()) {
        exitWithConfigurationError(std::string("incomplete configuration for ") + className +
                                   ": missing " + attribute + " attribute");
    }
    return it->second;
}

unsigned long readNumber(const std::string& text, int base) {
    return std::strtoul(text.c_str(), nullptr, base);
}

}  // namespace

AnonPrimitive* AnonFactory::create(const AttributeMap& attributes) {
    AttributeMap::const_iterator anon = attributes.find("anon");
    if (anon == attributes.end()) {
        return nullptr;
    }
    const std::string& spec = anon->second;
    std::string name;
    AnonPrimitive* tail = nullptr;
    std::string::size_type comma = spec.find(',');
    if (comma != std::string::npos) {
        name = trim(spec.substr(0, comma));
        AttributeMap mapcopy(attributes);
        AttributeMap::iterator iname = mapcopy.find("anon");
        assert(iname != mapcopy.end());
        iname->second = trim(spec.substr(comma + 1));
        tail = create(mapcopy);
    } else {
        name = spec;
    }

    // The tail is released if building this primitive leaves by an
    // exception (a configuration-error handler that throws, see ExitStatus.h)
    // or fails.
    struct TailGuard {
        AnonPrimitive* chain;
        ~TailGuard() { AnonPrimitive::destroyChain(chain); }
    } guard{tail};
    AnonPrimitive* primitive = createPrimitive(name, attributes);
    if (primitive == nullptr) {
        printLine("unknown anonprimitive " + name);
        return nullptr;
    }
    guard.chain = nullptr;
    primitive->setNext(tail);
    return primitive;
}

AnonPrimitive* AnonFactory::createPrimitive(const std::string& name,
                                            const AttributeMap& attributes) {
    if (name == "AnonIdentity") {
        return new AnonIdentity();
    }
    if (name == "AnonConstOverwrite") {
        const std::string& value = required(attributes, "anonval", "AnonConstOverwrite");
        return new AnonConstOverwrite(static_cast<uint8_t>(readNumber(value, 16) & 0xFF));
    }
    if (name == "AnonContinuousChar") {
        return new AnonContinuousChar();
    }
    if (name == "AnonRandomize") {
        return new AnonRandomize();
    }
    if (name == "AnonShuffle") {
        return new AnonShuffle();
    }
    if (name == "AnonWhitenoise") {
        const std::string& value = required(attributes, "strength", "AnonWhitenoise");
        return new AnonWhitenoise(static_cast<uint8_t>(readNumber(value, 10) & 0xFF));
    }
    if (name == "AnonShorten") {
        const std::string& value = required(attributes, "newlen", "AnonShorten");
        return new AnonShorten(static_cast<uint32_t>(readNumber(value, 10)));
    }
    if (name == "AnonHashSha1") {
        return new AnonHashSha1();
    }
    if (name == "AnonHashHmacSha1") {
        return new AnonHashHmacSha1(required(attributes, "key", "AnonHashHmacSha1"));
    }
    if (name == "AnonBytewiseHashSha1") {
        return new AnonBytewiseHashSha1();
    }
    if (name == "AnonBytewiseHashHmacSha1") {
        return new AnonBytewiseHashHmacSha1(
            required(attributes, "key", "AnonBytewiseHashHmacSha1"));
    }
    if (name == "AnonBroadcastHandler") {
        return new AnonBroadcastHandler();
    }
    if (name == "AnonCryptoPan") {
        return new AnonCryptoPan(required(attributes, "key", "AnonCryptoPan"));
    }
    return nullptr;
}
