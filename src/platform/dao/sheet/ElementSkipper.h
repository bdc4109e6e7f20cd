#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace keldara::dao::sheet {

// Hands the bytes of an XML document, as they arrive in pieces, on to a parser, except the
// content of the elements it is asked to pass over: their start and end tags go on, and of what
// lies between only its line breaks (so that the parser's line numbers stay right). Passing
// over costs a scan for markup instead of a parse. Only elements of one local name (whatever
// their prefix) can be passed over: the bytes are handed on up to the end of each such start
// tag, and then `skipAsked` says whether its content is to be passed over.
//
// The scan knows tags (with quoted attribute values, in which '>' may stand), end tags,
// comments, CDATA sections and processing instructions. At a declaration outside passed-over
// content (a document type, which the parser refuses) it hands on the rest as it is. Content
// passed over is not checked: the parse that reads it finds its faults.
class ElementSkipper {
  public:
    // Hands bytes to the parser; false when the reading is to end.
    using Feed = std::function<bool(const char* data, std::size_t size)>;
    using SkipAsked = std::function<bool()>;

    ElementSkipper(std::string_view localName, Feed feed, SkipAsked skipAsked);

    // Takes the next piece of the document; false when the parser ended the reading.
    bool take(const char* data, std::size_t size);
    // After the last piece: hands on the line breaks of content that did not end.
    bool finish();

  private:
    enum class State {
        Text,
        Open,  // after '<'
        StartName,
        StartTag,  // after the name, outside quotes
        Quoted,
        EndTag,
        Bang,  // after "<!"
        Comment,
        CData,
        Instruction,
        Declaration,
    };

    std::size_t skimmed(std::size_t at);
    std::size_t step(std::size_t at);
    std::size_t inText(std::size_t at);
    std::size_t afterOpen(std::size_t at);
    std::size_t inStartName(std::size_t at);
    std::size_t inStartTag(std::size_t at);
    std::size_t afterBang(std::size_t at);
    std::size_t inDeclaration(std::size_t at);
    std::size_t toClosing(std::size_t at, char mark, int marksNeeded);
    std::size_t endOfStartTag(std::size_t at);
    std::size_t endOfEndTag(std::size_t at);
    bool endOfPiece();

    bool feedPieceTo(std::size_t end);
    bool feedNewlines();
    void countNewlines(std::size_t from, std::size_t to);
    void dropHeld();

    const std::string local_;
    const Feed feed_;
    const SkipAsked skipAsked_;

    State state_ = State::Text;
    bool passingAll_ = false;
    bool stopped_ = false;
    std::size_t depth_ = 0;  // of the elements open within the content passed over

    // The name being scanned: how much of it matches the local name so far.
    std::size_t matched_ = 0;
    bool nameMatches_ = false;
    bool selfClosing_ = false;
    char quote_ = '"';
    std::string_view opener_;  // "--" or "[CDATA[" after "<!"
    int marks_ = 0;            // of the opener matched, or closing marks ('-', ']', '?') seen

    // The piece being scanned, what of it went to the parser, and where the current markup
    // began in it (0 when it began in an earlier piece).
    const char* piece_ = nullptr;
    std::size_t size_ = 0;
    std::size_t fedTo_ = 0;
    std::size_t countedTo_ = 0;
    std::size_t unitStart_ = 0;
    // While passing over: the line breaks not handed on yet, and the beginning of an end tag
    // (or of a '<') left over from earlier pieces, which goes on if it closes the element.
    std::size_t newlines_ = 0;
    std::string held_;
};

}  // namespace keldara::dao::sheet
