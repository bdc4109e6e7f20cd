#include "platform/dao/sheet/XmlStream.h"

#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/dao/sheet/ElementSkipper.h"
#include "platform/dao/sheet/SheetError.h"

namespace keldara::dao::sheet {

namespace {

// The parse and what ended it early: a refused declaration or a handler's exception, which
// must not pass through libxml2's frames.
struct Parse {
    xmlParserCtxtPtr context = nullptr;
    XmlHandler* handler = nullptr;
    std::exception_ptr failure;
    bool doctype = false;

    bool ended() const { return failure || doctype || handler->stopped(); }

    template <typename Event>
    void guarded(Event&& event) {
        try {
            event();
            if (handler->stopped()) xmlStopParser(context);
        } catch (...) {
            failure = std::current_exception();
            xmlStopParser(context);
        }
    }
};

const char* noAttributes[] = {nullptr};

void onStart(void* data, const xmlChar* name, const xmlChar** attributes) {
    auto* parse = static_cast<Parse*>(data);
    const char** pairs = attributes ? reinterpret_cast<const char**>(attributes) : noAttributes;
    parse->guarded([&] {
        parse->handler->declareNamespaces(pairs);
        parse->handler->startElement(splitName(reinterpret_cast<const char*>(name)), pairs);
    });
}

void onEnd(void* data, const xmlChar* name) {
    auto* parse = static_cast<Parse*>(data);
    parse->guarded(
        [&] { parse->handler->endElement(splitName(reinterpret_cast<const char*>(name))); });
}

void onCharacters(void* data, const xmlChar* text, int length) {
    auto* parse = static_cast<Parse*>(data);
    parse->guarded([&] {
        parse->handler->characters(std::string_view(reinterpret_cast<const char*>(text),
                                                    static_cast<std::size_t>(length)));
    });
}

void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* parse = static_cast<Parse*>(data);
    parse->doctype = true;
    xmlStopParser(parse->context);
}

// Errors are taken from the parser's context, not printed.
void quietly(void*, const char*, ...) {}

// Elements as SAX version 1 hands them over: qualified names, attributes as name and value
// pairs, namespace declarations among them.
xmlSAXHandler saxHandler() {
    xmlSAXHandler sax{};
    sax.initialized = 1;
    sax.startElement = onStart;
    sax.endElement = onEnd;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCharacters;
    sax.internalSubset = onDoctype;
    sax.warning = quietly;
    sax.error = quietly;
    sax.fatalError = quietly;
    return sax;
}

struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

QString errorText(xmlParserCtxtPtr context) {
    const xmlError* error = xmlCtxtGetLastError(context);
    if (!error || !error->message) return QStringLiteral("unknown error");
    return QString::fromUtf8(error->message).trimmed() +
           QStringLiteral(" at line %1").arg(error->line);
}

}  // namespace

XmlName splitName(const char* name) {
    const char* colon = nullptr;
    const char* end = name;
    for (; *end; ++end) {
        if (*end == ':' && !colon) colon = end;
    }
    if (!colon) return {{}, std::string_view(name, static_cast<std::size_t>(end - name))};
    return {std::string_view(name, static_cast<std::size_t>(colon - name)),
            std::string_view(colon + 1, static_cast<std::size_t>(end - colon - 1))};
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
        if (std::strncmp(attributes[0], "xmlns", 5) != 0) continue;
        const std::string_view name = attributes[0];
        if (name.size() > 5 && name[5] != ':') continue;
        const std::string prefix(name.size() > 5 ? name.substr(6) : std::string_view());
        auto known = std::find_if(spaces_.begin(), spaces_.end(),
                                  [&](const auto& entry) { return entry.first == prefix; });
        ++declarations_;
        if (known == spaces_.end()) {
            spaces_.emplace_back(prefix, attributes[1]);
        } else {
            known->second = attributes[1];
        }
    }
}

void parseXmlPart(const ZipPackage& package, const QString& part, XmlHandler& handler,
                  std::string_view skippable) {
    static const bool initialized = (xmlInitParser(), true);
    (void)initialized;
    static xmlSAXHandler sax = saxHandler();
    Parse parse{nullptr, &handler, nullptr, false};
    std::unique_ptr<xmlParserCtxt, ContextFree> context(
        xmlCreatePushParserCtxt(&sax, &parse, nullptr, 0, nullptr));
    if (!context) throw std::bad_alloc();
    parse.context = context.get();
    // No limits on the size of texts and names beyond those of the part, as before; entities
    // are never loaded (a document type is refused).
    xmlCtxtUseOptions(context.get(), XML_PARSE_HUGE | XML_PARSE_NONET);
    bool faulty = false;
    const auto feed = [&](const char* data, std::size_t size, bool last) {
        xmlParseChunk(context.get(), data, static_cast<int>(size), last ? 1 : 0);
        if (parse.ended()) return false;
        faulty = !context->wellFormed;
        return !faulty;
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
        if (!faulty && !parse.ended()) skipper.finish();
    }
    if (!faulty && !parse.ended()) feed(nullptr, 0, true);
    if (parse.failure) std::rethrow_exception(parse.failure);
    if (parse.doctype) {
        throw FormatError(
            QStringLiteral("the part %1 declares a document type, which a workbook never does")
                .arg(part));
    }
    if (faulty && !handler.stopped()) {
        throw FormatError(QStringLiteral("the part %1 is not well-formed XML (%2)")
                              .arg(part, errorText(context.get())));
    }
}

}  // namespace keldara::dao::sheet
