#include "Zentrel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "XmlString.h"

using namespace xercesc;

namespace {

const char* const MODULE_ELEMENT = "module";
const char* const SUBMODULE_ELEMENT = "submodule";
const char* const ITEM_ELEMENT = "configitem";
const char* const NAME_ATTRIBUTE = "name";
const char* const ROOT_ELEMENT = "zentrel";

// Internal entities may expand to at most this many entity references, so a
// hostile settings file cannot make the parser exhaust memory.
const XMLSize_t ENTITY_EXPANSION_LIMIT = 10000;

// Elements may nest at most this deep (the root is level 1; a settings
// document needs 4). The pretty printer of the write-back indents each level
// further and recurses once per level, so a hostile depth would make the
// rewritten file grow with the square of the depth and overflow the stack.
const size_t MAX_ELEMENT_DEPTH = 64;

std::string joinPath(const Zentrel::StringList& items) {
    std::string path;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            path += "/";
        path += items[i];
    }
    return path;
}

bool hasTagName(const DOMElement* element, const char* tagName) {
    return toNarrow(element->getTagName()) == tagName;
}

// The file the settings path finally names, so that replacing it keeps a
// symbolic link in place.
std::string resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

// True when no element lies deeper than the limit below (and including)
// the root. Walks the tree without recursion.
bool nestingWithin(DOMNode* root, size_t limit) {
    DOMNode* node = root;
    size_t depth = 1;
    for (;;) {
        DOMNode* child = node->getFirstChild();
        if (child != nullptr) {
            node = child;
            ++depth;
            if (depth > limit && node->getNodeType() == DOMNode::ELEMENT_NODE)
                return false;
            continue;
        }
        while (node != root && node->getNextSibling() == nullptr) {
            node = node->getParentNode();
            --depth;
        }
        if (node == root)
            return true;
        node = node->getNextSibling();
        if (depth > limit && node->getNodeType() == DOMNode::ELEMENT_NODE)
            return false;
    }
}

mode_t defaultFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

Zentrel::Zentrel(const std::string& fileName, bool autoCreate, bool mustExist, bool saveOnClose)
    : ok(true),
      autoCreate(autoCreate),
      saveOnClose(saveOnClose),
      fileName(fileName),
      root(nullptr),
      platformInitialized(false),
      loaded(false) {
    try {
        load(mustExist);
    } catch (const XMLException& e) {
        setFailure("failed parsing file " + fileName + ": " + toNarrow(e.getMessage()));
    } catch (const DOMException& e) {
        setFailure("failed parsing file " + fileName + ": " + toNarrow(e.getMessage()));
    } catch (...) {
        setFailure("failed parsing file " + fileName);
    }
}

Zentrel::~Zentrel() {
    if (saveOnClose && loaded) {
        saveToFile();
    }
    root = nullptr;
    parser.reset();
    errorHandler.reset();
    securityManager.reset();
    if (platformInitialized) {
        XMLPlatformUtils::Terminate();
    }
}

void Zentrel::setSuccess() {
    ok = true;
    error.clear();
}

void Zentrel::setFailure(const std::string& message) {
    ok = false;
    error = message;
}

void Zentrel::load(bool mustExist) {
    XMLPlatformUtils::Initialize();
    platformInitialized = true;

    FILE* probe = std::fopen(fileName.c_str(), "rb");
    if (probe != nullptr) {
        std::fclose(probe);
    } else if (mustExist) {
        setFailure("file " + fileName + " does not exist");
        return;
    } else {
        DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(XmlString("LS"));
        DOMDocument* empty = impl->createDocument(nullptr, XmlString(ROOT_ELEMENT), nullptr);
        bool written = writeDocument(empty->getDocumentElement());
        empty->release();
        if (!written) {
            setFailure("failed parsing file " + fileName);
            return;
        }
    }
    parseFile();
}

void Zentrel::parseFile() {
    parser.reset(new XercesDOMParser());
    errorHandler.reset(new HandlerBase());
    parser->setErrorHandler(errorHandler.get());
    // Settings come from elsewhere: never fetch external DTDs or entities,
    // and bound entity expansion.
    securityManager.reset(new SecurityManager());
    securityManager->setEntityExpansionLimit(ENTITY_EXPANSION_LIMIT);
    parser->setSecurityManager(securityManager.get());
    parser->setDisableDefaultEntityResolution(true);
    parser->setLoadExternalDTD(false);
    parser->parse(fileName.c_str());

    DOMDocument* document = parser->getDocument();
    root = document != nullptr ? document->getDocumentElement() : nullptr;
    if (root == nullptr) {
        setFailure("parsing xml file " + fileName + " failed");
        return;
    }
    if (!hasTagName(root, ROOT_ELEMENT)) {
        setFailure("invalid root item in file " + fileName);
        return;
    }
    if (!nestingWithin(root, MAX_ELEMENT_DEPTH)) {
        setFailure("elements nested deeper than " + std::to_string(MAX_ELEMENT_DEPTH) +
                   " levels in file " + fileName);
        return;
    }
    loaded = true;
    setSuccess();
}

// Serializes the node with the pretty printer (and a byte-order mark where
// the serializer offers one) into memory.
static bool serialize(DOMNode* node, std::string& bytes) {
    DOMLSSerializer* serializer = nullptr;
    DOMLSOutput* output = nullptr;
    bool written = false;
    try {
        DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(XmlString("LS"));
        serializer = static_cast<DOMImplementationLS*>(impl)->createLSSerializer();
        DOMConfiguration* config = serializer->getDomConfig();
        if (config->canSetParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true)) {
            config->setParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true);
        }
        if (config->canSetParameter(XMLUni::fgDOMWRTBOM, true)) {
            config->setParameter(XMLUni::fgDOMWRTBOM, true);
        }
        MemBufFormatTarget target;
        output = static_cast<DOMImplementationLS*>(impl)->createLSOutput();
        output->setByteStream(&target);
        written = serializer->write(node, output);
        bytes.assign(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
    } catch (...) {
        written = false;
    }
    if (output != nullptr)
        output->release();
    if (serializer != nullptr)
        serializer->release();
    return written;
}

static bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the serialized node to a temporary file beside the settings file
// and renames it over the settings file, so a failure on the way never
// leaves a damaged settings file behind.
bool Zentrel::writeDocument(DOMNode* node) {
    std::string bytes;
    if (!serialize(node, bytes)) {
        return false;
    }
    std::string target = resolvedPath(fileName);
    std::string tempName = target + ".XXXXXX";
    int fd = mkstemp(&tempName[0]);
    if (fd < 0) {
        return false;
    }
    struct stat original;
    mode_t mode =
        stat(target.c_str(), &original) == 0 ? (original.st_mode & 07777) : defaultFileMode();
    bool written = fchmod(fd, mode) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || std::rename(tempName.c_str(), target.c_str()) != 0) {
        std::remove(tempName.c_str());
        return false;
    }
    return true;
}

// Blank text between the elements of the three structural levels is only
// layout. The pretty printer adds its own layout, so dropping the old one
// keeps the file from growing blank lines with every write-back. Item
// values are never touched.
static void removeLayoutText(DOMElement* element, int depth) {
    DOMNode* child = element->getFirstChild();
    while (child != nullptr) {
        DOMNode* following = child->getNextSibling();
        if (child->getNodeType() == DOMNode::TEXT_NODE) {
            std::string text = toNarrow(child->getNodeValue());
            if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
                element->removeChild(child)->release();
            }
        } else if (child->getNodeType() == DOMNode::ELEMENT_NODE && depth < 2) {
            removeLayoutText(static_cast<DOMElement*>(child), depth + 1);
        }
        child = following;
    }
}

void Zentrel::saveToFile() {
    try {
        removeLayoutText(root, 0);
        writeDocument(root);
    } catch (...) {
        // The destructor must not throw; the settings file stays as it was.
    }
}

bool Zentrel::splitPath(const std::string& path, size_t expectedItems, StringList& items) {
    items.clear();
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > start)
            items.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    if (items.size() != expectedItems) {
        setFailure("path " + joinPath(items) + " does not contain " +
                   std::to_string(expectedItems) + " items");
        return false;
    }
    return true;
}

DOMElement* Zentrel::findChild(DOMElement* parent, const char* elementName,
                               const std::string& name) {
    XmlString nameAttribute(NAME_ATTRIBUTE);
    for (DOMNode* child = parent->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE)
            continue;
        DOMElement* element = static_cast<DOMElement*>(child);
        if (hasTagName(element, elementName) &&
            toNarrow(element->getAttribute(nameAttribute)) == name) {
            return element;
        }
    }
    return nullptr;
}

DOMElement* Zentrel::appendChild(DOMElement* parent, const char* elementName,
                                 const std::string& name) {
    DOMElement* element = parent->getOwnerDocument()->createElement(XmlString(elementName));
    element->setAttribute(XmlString(NAME_ATTRIBUTE), XmlString(name));
    parent->appendChild(element);
    return element;
}

Zentrel::StringList Zentrel::childNames(DOMElement* parent, const char* elementName) {
    StringList names;
    XmlString nameAttribute(NAME_ATTRIBUTE);
    for (DOMNode* child = parent->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE)
            continue;
        DOMElement* element = static_cast<DOMElement*>(child);
        if (hasTagName(element, elementName)) {
            names.push_back(toNarrow(element->getAttribute(nameAttribute)));
        }
    }
    return names;
}

// ---------------------------------------------------------------- lookups

DOMElement* Zentrel::getModule(const std::string& module) {
    if (root == nullptr) {
        setFailure("invalid root node");
        return nullptr;
    }
    DOMElement* element = findChild(root, MODULE_ELEMENT, module);
    if (element != nullptr) {
        setSuccess();
        return element;
    }
    if (!autoCreate) {
        setFailure("module " + module + " not found");
        return nullptr;
    }
    setSuccess();
    createModule(module);
    return findChild(root, MODULE_ELEMENT, module);
}

DOMElement* Zentrel::getSubmodule(const std::string& module, const std::string& submodule) {
    DOMElement* parent = getModule(module);
    if (parent == nullptr) {
        setFailure("invalid module: " + module);
        return nullptr;
    }
    DOMElement* element = findChild(parent, SUBMODULE_ELEMENT, submodule);
    if (element != nullptr) {
        setSuccess();
        return element;
    }
    if (!autoCreate) {
        setFailure("submodule " + submodule + " not found");
        return nullptr;
    }
    setSuccess();
    createSubmodule(module, submodule);
    return findChild(parent, SUBMODULE_ELEMENT, submodule);
}

DOMElement* Zentrel::getConfigItem(const std::string& module, const std::string& submodule,
                                   const std::string& item) {
    DOMElement* parent = getSubmodule(module, submodule);
    if (parent == nullptr) {
        setFailure("invalid submodule " + submodule + " in module " + module);
        return nullptr;
    }
    DOMElement* element = findChild(parent, ITEM_ELEMENT, item);
    if (element != nullptr) {
        setSuccess();
        return element;
    }
    if (!autoCreate) {
        setFailure("configelement " + item + " not found");
        return nullptr;
    }
    setSuccess();
    createConfigItem(module, submodule, item);
    return findChild(parent, ITEM_ELEMENT, item);
}

bool Zentrel::existsModule(const std::string& module) {
    bool saved = autoCreate;
    autoCreate = false;
    bool found = getModule(module) != nullptr;
    autoCreate = saved;
    return found;
}

bool Zentrel::existsSubmodule(const std::string& module, const std::string& submodule) {
    bool saved = autoCreate;
    autoCreate = false;
    bool found = getSubmodule(module, submodule) != nullptr;
    autoCreate = saved;
    return found;
}

bool Zentrel::existsSubmodule(const std::string& path) {
    StringList items;
    return splitPath(path, 2, items) && existsSubmodule(items[0], items[1]);
}

bool Zentrel::existsConfigItem(const std::string& module, const std::string& submodule,
                               const std::string& item) {
    bool saved = autoCreate;
    autoCreate = false;
    bool found = getConfigItem(module, submodule, item) != nullptr;
    autoCreate = saved;
    return found;
}

bool Zentrel::existsConfigItem(const std::string& path) {
    StringList items;
    return splitPath(path, 3, items) && existsConfigItem(items[0], items[1], items[2]);
}

bool Zentrel::existsConfigAttribute(const std::string& module, const std::string& submodule,
                                    const std::string& item, const std::string& attribute) {
    if (!existsConfigItem(module, submodule, item)) {
        return false;
    }
    DOMElement* element = getConfigItem(module, submodule, item);
    return element->getAttributeNode(XmlString(attribute)) != nullptr;
}

bool Zentrel::existsConfigAttribute(const std::string& path) {
    StringList items;
    return splitPath(path, 4, items) &&
           existsConfigAttribute(items[0], items[1], items[2], items[3]);
}

// ------------------------------------------------------------------ reads

std::string Zentrel::getConfigValue(const std::string& module, const std::string& submodule,
                                    const std::string& item) {
    if (!existsConfigItem(module, submodule, item)) {
        setFailure("invalid config element");
        return std::string();
    }
    DOMElement* element = getConfigItem(module, submodule, item);
    assert(element->getNodeType() == DOMNode::ELEMENT_NODE);
    setSuccess();
    return toNarrow(element->getTextContent());
}

std::string Zentrel::getConfigValue(const std::string& path) {
    StringList items;
    if (!splitPath(path, 3, items))
        return std::string();
    return getConfigValue(items[0], items[1], items[2]);
}

std::string Zentrel::getConfigAttributeValue(const std::string& module,
                                             const std::string& submodule, const std::string& item,
                                             const std::string& attribute) {
    if (!existsConfigItem(module, submodule, item)) {
        setFailure("invalid config element");
        return std::string();
    }
    DOMElement* element = getConfigItem(module, submodule, item);
    assert(element->getNodeType() == DOMNode::ELEMENT_NODE);
    setSuccess();
    return toNarrow(element->getAttribute(XmlString(attribute)));
}

std::string Zentrel::getConfigAttributeValue(const std::string& path) {
    StringList items;
    if (!splitPath(path, 4, items))
        return std::string();
    return getConfigAttributeValue(items[0], items[1], items[2], items[3]);
}

std::string Zentrel::getSubmoduleAttributeValue(const std::string& module,
                                                const std::string& submodule,
                                                const std::string& attribute) {
    if (!existsSubmodule(module, submodule)) {
        setFailure("invalid submodule");
        return std::string();
    }
    DOMElement* element = getSubmodule(module, submodule);
    assert(element->getNodeType() == DOMNode::ELEMENT_NODE);
    setSuccess();
    return toNarrow(element->getAttribute(XmlString(attribute)));
}

Zentrel::StringList Zentrel::getConfigAttributeNames(const std::string& module,
                                                     const std::string& submodule,
                                                     const std::string& item) {
    StringList names;
    if (!existsConfigItem(module, submodule, item)) {
        return names;
    }
    DOMElement* element = getConfigItem(module, submodule, item);
    DOMNamedNodeMap* attributes = element->getAttributes();
    for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
        names.push_back(toNarrow(attributes->item(i)->getNodeName()));
    }
    return names;
}

Zentrel::StringList Zentrel::getConfigAttributeNames(const std::string& path) {
    StringList items;
    if (!splitPath(path, 3, items))
        return StringList();
    return getConfigAttributeNames(items[0], items[1], items[2]);
}

Zentrel::AttributeMap Zentrel::getConfigAttributeMap(const std::string& module,
                                                     const std::string& submodule,
                                                     const std::string& item) {
    AttributeMap attributes;
    for (const std::string& name : getConfigAttributeNames(module, submodule, item)) {
        attributes[name] = getConfigAttributeValue(module, submodule, item, name);
    }
    return attributes;
}

Zentrel::AttributeMap Zentrel::getConfigAttributeMap(const std::string& path) {
    StringList items;
    if (!splitPath(path, 3, items))
        return AttributeMap();
    return getConfigAttributeMap(items[0], items[1], items[2]);
}

Zentrel::StringList Zentrel::getModuleNames() {
    if (root == nullptr) {
        setFailure("invalid root node");
        return StringList();
    }
    setSuccess();
    return childNames(root, MODULE_ELEMENT);
}

Zentrel::StringList Zentrel::getSubmoduleNames(const std::string& module) {
    if (!existsModule(module)) {
        return StringList();
    }
    return childNames(getModule(module), SUBMODULE_ELEMENT);
}

Zentrel::StringList Zentrel::getConfigItemNames(const std::string& module,
                                                const std::string& submodule) {
    if (!existsSubmodule(module, submodule)) {
        return StringList();
    }
    return childNames(getSubmodule(module, submodule), ITEM_ELEMENT);
}

Zentrel::StringList Zentrel::getConfigItemNames(const std::string& path) {
    StringList items;
    if (!splitPath(path, 2, items))
        return StringList();
    return getConfigItemNames(items[0], items[1]);
}
