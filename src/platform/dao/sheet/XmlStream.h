#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dao/sheet/ZipPackage.h"

// XML parts of a package read as a stream (libxml2's SAX parser): elements arrive one by one as
// they are parsed, with their names split into prefix and local name. Most readers go by local
// names alone; a namespace is looked up only when asked for. Namespace declarations hold from
// the element that makes them to the end of the part: workbook parts make them on their root.
namespace keldara::dao::sheet {

// An element's or attribute's name as written: its prefix (empty for none) and local name.
struct XmlName {
    std::string_view prefix;
    std::string_view local;
};
XmlName splitName(const char* name);

// The value of the attribute with that local name, whatever its prefix; null when the
// element has none.
const char* attribute(const char** attributes, std::string_view local);

class XmlHandler {
  public:
    virtual ~XmlHandler() = default;
    virtual void startElement(XmlName name, const char** attributes) = 0;
    virtual void endElement(XmlName name) = 0;
    virtual void characters(std::string_view) {}

    // Ends the reading after this event, the rest of the part unread.
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_; }

    // Called on the start of an element of the local name the part is read with as
    // skippable (see parseXmlPart): its content is passed over unparsed, its end comes next.
    // Elsewhere it does nothing.
    void skipContent() { skipAsked_ = true; }
    bool takeSkipRequest() { return std::exchange(skipAsked_, false); }

    // The namespace a prefix stands for where the reading is.
    std::string_view spaceOf(std::string_view prefix) const;
    bool is(XmlName name, std::string_view space, std::string_view local) const {
        return name.local == local && spaceOf(name.prefix) == space;
    }
    // The value of the attribute with that local name (in that namespace), or null.
    const char* attribute(const char** attributes, std::string_view local,
                          std::string_view space) const;
    const char* attribute(const char** attributes, std::string_view local) const {
        return sheet::attribute(attributes, local);
    }

    // Takes note of the namespaces an element declares.
    void declareNamespaces(const char** attributes);
    // How many declarations were taken note of so far.
    std::size_t declarations() const { return declarations_; }

  private:
    bool stopped_ = false;
    std::size_t declarations_ = 0;
    bool skipAsked_ = false;
    std::vector<std::pair<std::string, std::string>> spaces_;  // by prefix
};

// Whether a prefix stands for one namespace where a handler's reading is. The prefix found to
// stand for it is remembered until the next declaration, so that a test of the usual prefix is
// a comparison of a few characters.
class NamespaceTest {
  public:
    explicit NamespaceTest(std::string_view space) : space_(space) {}

    bool holds(const XmlHandler& handler, std::string_view prefix) {
        if (handler.declarations() == declarations_ && prefix == knownPrefix_) return true;
        if (handler.spaceOf(prefix) != space_) return false;
        knownPrefix_.assign(prefix);
        declarations_ = handler.declarations();
        return true;
    }
    bool holds(const XmlHandler& handler, XmlName name, std::string_view local) {
        return name.local == local && holds(handler, name.prefix);
    }

  private:
    std::string_view space_;
    std::string knownPrefix_;
    std::size_t declarations_ = ~std::size_t(0);
};

// Reads an XML part of the package through the handler. A document type declaration is
// refused (workbook XML never has one, and entity expansion needs one). Throws FormatError
// for XML that is not well-formed, or what the handler throws. The handler may pass over the
// content of elements of the local name `skippable` (ElementSkipper): faults within it are
// then not found.
void parseXmlPart(const ZipPackage& package, const QString& part, XmlHandler& handler,
                  std::string_view skippable = {});

}  // namespace keldara::dao::sheet
