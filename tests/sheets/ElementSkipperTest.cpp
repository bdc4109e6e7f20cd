// The scan that passes over the content of an .ods file's tables when they are listed: what it
// hands on to the parser, whatever the pieces the document arrives in.
#include <gtest/gtest.h>

#include <string>

#include "platform/dao/sheet/ElementSkipper.h"

namespace keldara::test::sheets {
namespace {

// What the skipper hands on when the document comes in pieces of `pieceSize` bytes and every
// element named "table" (whatever its prefix) is passed over, unless its start tag ends in
// "keep\">".
std::string handedOn(const std::string& document, std::size_t pieceSize) {
    std::string fed;
    dao::sheet::ElementSkipper skipper(
        "table",
        [&](const char* data, std::size_t size) {
            fed.append(data, size);
            return true;
        },
        [&] { return !fed.ends_with("keep\">"); });
    for (std::size_t at = 0; at < document.size(); at += pieceSize)
        skipper.take(document.data() + at, std::min(pieceSize, document.size() - at));
    skipper.finish();
    return fed;
}

TEST(ElementSkipper, HandsOnAllButTheContentPassedOver) {
    const std::pair<std::string, std::string> cases[] = {
        // markup within the content that looks like its end: quoted, in a comment, in CDATA,
        // nested elements of the same name; its line breaks go on
        {"<?xml version=\"1.0\"?><a><t:table n=\"x>y\" m='</t:table>'><!-- </t:table> --><b>\n"
         "<![CDATA[</t:table>]]></b><table/><t:table><c/>\r\n</t:table><?p </t:table>?>"
         "</t:table>\n<table>q</table></a>",
         "<?xml version=\"1.0\"?><a><t:table n=\"x>y\" m='</t:table>'>\n\n</t:table>\n"
         "<table></table></a>"},
        // other names, empty elements, elements the handler keeps, markup outside
        {"<a><!-- <table> --><tables>1</tables><x:table/><table n=\"keep\"><r>2</r></table>"
         "<![CDATA[<table>]]><table >3</table ></a>",
         "<a><!-- <table> --><tables>1</tables><x:table/><table n=\"keep\"><r>2</r></table>"
         "<![CDATA[<table>]]><table ></table ></a>"},
        // a document type is handed on as it is, for the parser to refuse
        {"<!DOCTYPE a [<!ENTITY e \"<table>\">]><a><table>&e;</table></a>",
         "<!DOCTYPE a [<!ENTITY e \"<table>\">]><a><table>&e;</table></a>"},
        // content that does not end: its line breaks go on
        {"<a><table>\n<b>", "<a><table>\n"},
    };
    for (const auto& [document, expected] : cases) {
        for (std::size_t pieceSize = 1; pieceSize <= document.size(); ++pieceSize)
            EXPECT_EQ(handedOn(document, pieceSize), expected) << "pieces of " << pieceSize;
    }
}

}  // namespace
}  // namespace keldara::test::sheets
