#include "platform/dao/sheet/XmlStream.h"

#include <expat.h>

#include <algorithm>
#include <memory>

#include "platform/dao/sheet/ElementSkipper.h"
#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::sheet {

namespace {

// The parse and what ended it early: a refused declaration or a handler's exception, which
// must not pass through expat's frames.
struct Parse {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    std::exception_ptr failure;
    bool doctype = false;

    template <typename Event>
    void guarded(Event&& event) {
        try {
            event();
            if (handler->stopped()) XML_StopParser(parser, XML_FALSE);
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* parse = static_cast<Parse*>(data);
    parse->guarded([&] {
        parse->handler->declareNamespaces(attributes);
        parse->handler->startElement(splitName(name), attributes);
    });
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto* parse = static_cast<Parse*>(data);
    parse->guarded([&] { parse->handler->endElement(splitName(name)); });
}

void XMLCALL onCharacters(void* data, const XML_Char* text, int length) {
    auto* parse = static_cast<Parse*>(data);
    parse->guarded([&] {
        parse->handler->characters(std::string_view(text, static_cast<std::size_t>(length)));
    });
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* parse = static_cast<Parse*>(data);
    parse->doctype = true;
    XML_StopParser(parse->parser, XML_FALSE);
}

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

XmlName splitName(const char* name) {
    for (const char* c = name; *c; ++c) {
        if (*c == ':') return {std::string_view(name, static_cast<std::size_t>(c - name)), c + 1};
    }
    return {{}, name};
}

const char* attribute(const char** attributes, std::string_view local) {
    for (; *attributes; attributes += 2) {
        if (splitName(attributes[0]).local == local) return attributes[1];
    }
    return nullptr;
}

std::string_view XmlHandler::spaceOf(std::string_view prefix) const {
    for (const auto& [declared, space] : spaces_) {
        if (declared == prefix) return space;
    }
    return {};
}

const char* XmlHandler::attribute(const char** attributes, std::string_view local,
                                  std::string_view space) const {
    for (; *attributes; attributes += 2) {
        const XmlName name = splitName(attributes[0]);
        // An attribute without a prefix is in no namespace, whatever the default one is.
        if (name.local == local && !name.prefix.empty() && spaceOf(name.prefix) == space) {
            return attributes[1];
        }
    }
    return nullptr;
}

void XmlHandler::declareNamespaces(const char** attributes) {
    for (; *attributes; attributes += 2) {
        const std::string_view name = attributes[0];
        if (!name.starts_with("xmlns")) continue;
        if (name.size() > 5 && name[5] != ':') continue;
        const std::string prefix(name.size() > 5 ? name.substr(6) : std::string_view());
        auto known = std::find_if(spaces_.begin(), spaces_.end(),
                                  [&](const auto& entry) { return entry.first == prefix; });
        if (known == spaces_.end()) {
            spaces_.emplace_back(prefix, attributes[1]);
        } else {
            known->second = attributes[1];
        }
    }
}

void parseXmlPart(const ZipPackage& package, const QString& part, XmlHandler& handler,
                  std::string_view skippable) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    Parse parse{parser.get(), &handler, nullptr, false};
    XML_SetUserData(parser.get(), &parse);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onCharacters);
    XML_SetStartDoctypeDeclHandler(parser.get(), onDoctype);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 6)
    // A start tag handed on must be parsed at once, for its handler to ask for a skip.
    XML_SetReparseDeferralEnabled(parser.get(), XML_FALSE);
#endif
    bool ended = false;
    const auto feed = [&](const char* data, std::size_t size, bool last) {
        if (XML_Parse(parser.get(), data, static_cast<int>(size), last) != XML_STATUS_ERROR) {
            return !handler.stopped();
        }
        ended = true;
        return false;
    };
    const auto feedPiece = [&](const char* data, std::size_t size) {
        return feed(data, size, false);
    };
    if (skippable.empty()) {
        package.readPart(part, feedPiece);
    } else {
        handler.takeSkipRequest();
        ElementSkipper skipper(skippable, feedPiece, [&] { return handler.takeSkipRequest(); });
        package.readPart(
            part, [&](const char* data, std::size_t size) { return skipper.take(data, size); });
        if (!ended && !handler.stopped()) skipper.finish();
    }
    if (!ended && !handler.stopped()) feed(nullptr, 0, true);
    if (parse.failure) std::rethrow_exception(parse.failure);
    if (parse.doctype) {
        throw FormatError(
            QStringLiteral("the part %1 declares a document type, which a workbook never does")
                .arg(part));
    }
    if (ended && !handler.stopped()) {
        throw FormatError(
            QStringLiteral("the part %1 is not well-formed XML (%2 at line %3)")
                .arg(part)
                .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser.get()))))
                .arg(XML_GetCurrentLineNumber(parser.get())));
    }
}

}  // namespace keldara::dao::sheet
