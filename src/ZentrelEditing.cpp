// The editing half of the configuration document: creating, changing and
// deleting entries in the loaded tree. Changes reach the settings file
// through the write-back at destruction.

#include <cassert>

#include "XmlString.h"
#include "Zentrel.h"

using namespace xercesc;

namespace {
const char* const MODULE_ELEMENT = "module";
const char* const SUBMODULE_ELEMENT = "submodule";
const char* const ITEM_ELEMENT = "configitem";
}  // namespace

// The XML library signals invalid names and similar misuse with DOM
// exceptions; editing reports them through the status instead.
#define CATCH_DOM_FAILURE                     \
    catch (const DOMException& e) {           \
        setFailure(toNarrow(e.getMessage())); \
    }

void Zentrel::createModule(const std::string& module) {
    if (root == nullptr)
        return;
    try {
        if (!existsModule(module)) {
            appendChild(root, MODULE_ELEMENT, module);
        }
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::deleteModule(const std::string& module) {
    if (!existsModule(module))
        return;
    DOMElement* element = getModule(module);
    if (element == nullptr)
        return;
    root->removeChild(element)->release();
    setSuccess();
}

void Zentrel::createSubmodule(const std::string& module, const std::string& submodule) {
    if (root == nullptr)
        return;
    try {
        if (!existsSubmodule(module, submodule)) {
            DOMElement* parent = getModule(module);
            if (parent == nullptr)
                return;
            appendChild(parent, SUBMODULE_ELEMENT, submodule);
        }
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::createSubmodule(const std::string& path) {
    StringList items;
    if (splitPath(path, 2, items))
        createSubmodule(items[0], items[1]);
}

void Zentrel::deleteSubmodule(const std::string& module, const std::string& submodule) {
    if (!existsSubmodule(module, submodule))
        return;
    DOMElement* parent = getModule(module);
    if (parent == nullptr)
        return;
    DOMElement* element = getSubmodule(module, submodule);
    if (element == nullptr)
        return;
    parent->removeChild(element)->release();
    setSuccess();
}

void Zentrel::deleteSubmodule(const std::string& path) {
    StringList items;
    if (splitPath(path, 2, items))
        deleteSubmodule(items[0], items[1]);
}

void Zentrel::createConfigItem(const std::string& module, const std::string& submodule,
                               const std::string& item) {
    if (root == nullptr)
        return;
    try {
        if (!existsConfigItem(module, submodule, item)) {
            DOMElement* parent = getSubmodule(module, submodule);
            if (parent == nullptr)
                return;
            appendChild(parent, ITEM_ELEMENT, item);
        }
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::createConfigItem(const std::string& path) {
    StringList items;
    if (splitPath(path, 3, items))
        createConfigItem(items[0], items[1], items[2]);
}

void Zentrel::deleteConfigItem(const std::string& module, const std::string& submodule,
                               const std::string& item) {
    if (!existsConfigItem(module, submodule, item))
        return;
    DOMElement* parent = getSubmodule(module, submodule);
    if (parent == nullptr)
        return;
    DOMElement* element = getConfigItem(module, submodule, item);
    if (element == nullptr)
        return;
    parent->removeChild(element)->release();
    setSuccess();
}

void Zentrel::deleteConfigItem(const std::string& path) {
    StringList items;
    if (splitPath(path, 3, items))
        deleteConfigItem(items[0], items[1], items[2]);
}

void Zentrel::setConfigValue(const std::string& module, const std::string& submodule,
                             const std::string& item, const std::string& value) {
    DOMElement* element = getConfigItem(module, submodule, item);
    if (element == nullptr)
        return;
    try {
        element->setTextContent(XmlString(value));
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::setConfigValue(const std::string& path, const std::string& value) {
    StringList items;
    if (splitPath(path, 3, items))
        setConfigValue(items[0], items[1], items[2], value);
}

void Zentrel::createConfigAttribute(const std::string& module, const std::string& submodule,
                                    const std::string& item, const std::string& attribute) {
    setConfigAttributeValue(module, submodule, item, attribute, std::string());
}

void Zentrel::createConfigAttribute(const std::string& path) {
    StringList items;
    if (splitPath(path, 4, items))
        createConfigAttribute(items[0], items[1], items[2], items[3]);
}

void Zentrel::setConfigAttributeValue(const std::string& module, const std::string& submodule,
                                      const std::string& item, const std::string& attribute,
                                      const std::string& value) {
    DOMElement* element = getConfigItem(module, submodule, item);
    if (element == nullptr)
        return;
    try {
        element->setAttribute(XmlString(attribute), XmlString(value));
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::setConfigAttributeValue(const std::string& path, const std::string& value) {
    StringList items;
    if (splitPath(path, 4, items)) {
        setConfigAttributeValue(items[0], items[1], items[2], items[3], value);
    }
}

void Zentrel::deleteConfigAttribute(const std::string& module, const std::string& submodule,
                                    const std::string& item, const std::string& attribute) {
    if (!existsConfigItem(module, submodule, item))
        return;
    DOMElement* element = getConfigItem(module, submodule, item);
    if (element == nullptr)
        return;
    try {
        element->removeAttribute(XmlString(attribute));
        setSuccess();
    }
    CATCH_DOM_FAILURE
}

void Zentrel::deleteConfigAttribute(const std::string& path) {
    StringList items;
    if (splitPath(path, 4, items))
        deleteConfigAttribute(items[0], items[1], items[2], items[3]);
}

// Removes every element and text child of the root; comments and
// processing instructions stay.
void Zentrel::deleteAllModules() {
    if (root == nullptr)
        return;
    setSuccess();
    for (;;) {
        DOMNode* victim = nullptr;
        for (DOMNode* child = root->getFirstChild(); child != nullptr;
             child = child->getNextSibling()) {
            DOMNode::NodeType type = child->getNodeType();
            if (type == DOMNode::ELEMENT_NODE || type == DOMNode::TEXT_NODE) {
                victim = child;
                break;
            }
        }
        if (victim == nullptr)
            break;
        root->removeChild(victim)->release();
    }
    assert(getModuleNames().empty());
}
