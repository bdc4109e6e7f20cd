#pragma once

#include <QString>
#include <exception>
#include <string_view>

#include "platform/dao/sheet/ZipPackage.h"

// XML parts of a package read as a stream (expat): elements arrive one by one as they are
// parsed, with their names split into namespace and local name.
namespace keldara::dao::sheet {

// An element's or attribute's name: the namespace it is in (empty for none) and its local
// name; prefixes do not matter.
struct XmlName {
    std::string_view space;
    std::string_view local;
};
XmlName splitName(const char* name);

// The value of the attribute with that local name (and namespace, unless `space` is empty);
// null when the element has none.
const char* attribute(const char** attributes, std::string_view local, std::string_view space = {});

class XmlHandler {
  public:
    virtual ~XmlHandler() = default;
    virtual void startElement(XmlName name, const char** attributes) = 0;
    virtual void endElement(XmlName name) = 0;
    virtual void characters(std::string_view) {}

    // Ends the reading after this event, the rest of the part unread.
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_; }

  private:
    bool stopped_ = false;
};

// Reads an XML part of the package through the handler. A document type declaration is
// refused (workbook XML never has one, and entity expansion needs one). Throws FormatError
// for XML that is not well-formed, or what the handler throws.
void parseXmlPart(const ZipPackage& package, const QString& part, XmlHandler& handler);

}  // namespace keldara::dao::sheet
