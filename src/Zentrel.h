#ifndef VEILCAP_ZENTREL_H
#define VEILCAP_ZENTREL_H

#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/SecurityManager.hpp>

// The configuration document: an XML file of modules, submodules and
// configuration items, held as a DOM tree and addressed by names or by
// slash-separated paths ("module/submodule/item/attribute").
//
// Operations never throw. Each records its outcome: isOk() tells whether
// the last operation succeeded, getError() why it did not.
class Zentrel {
  public:
    typedef std::vector<std::string> StringList;
    typedef std::map<std::string, std::string> AttributeMap;

    Zentrel(const std::string& fileName, bool autoCreate, bool mustExist, bool saveOnClose);
    virtual ~Zentrel();

    Zentrel(const Zentrel&) = delete;
    Zentrel& operator=(const Zentrel&) = delete;

    bool isOk() const { return ok; }
    std::string getError() const { return error; }

    // Lookups and probes.
    xercesc::DOMElement* getModule(const std::string& module);
    xercesc::DOMElement* getSubmodule(const std::string& module, const std::string& submodule);
    xercesc::DOMElement* getConfigItem(const std::string& module, const std::string& submodule,
                                       const std::string& item);
    bool existsModule(const std::string& module);
    bool existsSubmodule(const std::string& module, const std::string& submodule);
    bool existsSubmodule(const std::string& path);
    bool existsConfigItem(const std::string& module, const std::string& submodule,
                          const std::string& item);
    bool existsConfigItem(const std::string& path);
    bool existsConfigAttribute(const std::string& module, const std::string& submodule,
                               const std::string& item, const std::string& attribute);
    bool existsConfigAttribute(const std::string& path);

    // Reads.
    std::string getConfigValue(const std::string& module, const std::string& submodule,
                               const std::string& item);
    std::string getConfigValue(const std::string& path);
    std::string getConfigAttributeValue(const std::string& module, const std::string& submodule,
                                        const std::string& item, const std::string& attribute);
    std::string getConfigAttributeValue(const std::string& path);
    std::string getSubmoduleAttributeValue(const std::string& module, const std::string& submodule,
                                           const std::string& attribute);
    StringList getConfigAttributeNames(const std::string& module, const std::string& submodule,
                                       const std::string& item);
    StringList getConfigAttributeNames(const std::string& path);
    AttributeMap getConfigAttributeMap(const std::string& module, const std::string& submodule,
                                       const std::string& item);
    AttributeMap getConfigAttributeMap(const std::string& path);
    StringList getModuleNames();
    StringList getSubmoduleNames(const std::string& module);
    StringList getConfigItemNames(const std::string& module, const std::string& submodule);
    StringList getConfigItemNames(const std::string& path);

    // Editing. Changes reach the file through the write-back at destruction.
    void createModule(const std::string& module);
    void deleteModule(const std::string& module);
    void createSubmodule(const std::string& module, const std::string& submodule);
    void createSubmodule(const std::string& path);
    void deleteSubmodule(const std::string& module, const std::string& submodule);
    void deleteSubmodule(const std::string& path);
    void createConfigItem(const std::string& module, const std::string& submodule,
                          const std::string& item);
    void createConfigItem(const std::string& path);
    void deleteConfigItem(const std::string& module, const std::string& submodule,
                          const std::string& item);
    void deleteConfigItem(const std::string& path);
    void setConfigValue(const std::string& module, const std::string& submodule,
                        const std::string& item, const std::string& value);
    void setConfigValue(const std::string& path, const std::string& value);
    void createConfigAttribute(const std::string& module, const std::string& submodule,
                               const std::string& item, const std::string& attribute);
    void createConfigAttribute(const std::string& path);
    void setConfigAttributeValue(const std::string& module, const std::string& submodule,
                                 const std::string& item, const std::string& attribute,
                                 const std::string& value);
    void setConfigAttributeValue(const std::string& path, const std::string& value);
    void deleteConfigAttribute(const std::string& module, const std::string& submodule,
                               const std::string& item, const std::string& attribute);
    void deleteConfigAttribute(const std::string& path);
    void deleteAllModules();

  private:
    void setSuccess();
    void setFailure(const std::string& message);
    void load(bool mustExist);
    void parseFile();
    bool writeDocument(xercesc::DOMNode* node);
    void saveToFile();

    // Splits a path and checks its item count; on a wrong count records the
    // failure and returns false.
    bool splitPath(const std::string& path, size_t expectedItems, StringList& items);

    xercesc::DOMElement* findChild(xercesc::DOMElement* parent, const char* elementName,
                                   const std::string& name);
    xercesc::DOMElement* appendChild(xercesc::DOMElement* parent, const char* elementName,
                                     const std::string& name);
    StringList childNames(xercesc::DOMElement* parent, const char* elementName);

    bool ok;
    std::string error;
    bool autoCreate;
    bool saveOnClose;
    std::string fileName;
    std::unique_ptr<xercesc::XercesDOMParser> parser;
    std::unique_ptr<xercesc::HandlerBase> errorHandler;
    xercesc::DOMElement* root;
    std::unique_ptr<xercesc::SecurityManager> securityManager;
    bool platformInitialized;
    // Set once the file was parsed into a document with the right root; only
    // such a document is ever written back.
    bool loaded;
};

#endif
