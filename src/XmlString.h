#ifndef VEILCAP_XMLSTRING_H
#define VEILCAP_XMLSTRING_H

#include <string>
#include <xercesc/util/XMLString.hpp>

// Conversions between narrow strings in the local code page and the XML
// library's 16-bit strings, with the library's transcoder.

// A 16-bit copy of a narrow string, released with the object.
class XmlString {
  public:
    explicit XmlString(const std::string& text)
        : value(xercesc::XMLString::transcode(text.c_str())) {}
    explicit XmlString(const char* text) : value(xercesc::XMLString::transcode(text)) {}
    ~XmlString() { xercesc::XMLString::release(&value); }
    XmlString(const XmlString&) = delete;
    XmlString& operator=(const XmlString&) = delete;

    const XMLCh* get() const { return value; }
    operator const XMLCh*() const { return value; }

  private:
    XMLCh* value;
};

// A narrow copy of a 16-bit string; null gives the empty string.
inline std::string toNarrow(const XMLCh* text) {
    if (text == nullptr) {
        return std::string();
    }
    char* narrow = xercesc::XMLString::transcode(text);
    std::string result = narrow != nullptr ? narrow : "";
    xercesc::XMLString::release(&narrow);
    return result;
}

#endif
