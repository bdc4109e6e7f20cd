#include "platform/dao/sheet/ElementSkipper.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace keldara::dao::sheet {

namespace {

constexpr std::string_view kCommentOpener = "--";
constexpr std::string_view kCDataOpener = "[CDATA[";

bool endsName(char c) {
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The characters that end a run within a start tag: its end, or a quoted value.
constexpr auto kTagStops = [] {
    std::array<bool, 256> stops{};
    stops['>'] = stops['"'] = stops['\''] = true;
    return stops;
}();

// Where `c` next stands in data[at, size), or size.
std::size_t find(const char* data, std::size_t at, std::size_t size, char c) {
    const void* found = std::memchr(data + at, c, size - at);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
}

}  // namespace

ElementSkipper::ElementSkipper(std::string_view localName, Feed feed, SkipAsked skipAsked)
    : local_(localName), feed_(std::move(feed)), skipAsked_(std::move(skipAsked)) {}

bool ElementSkipper::take(const char* data, std::size_t size) {
    if (passingAll_) return feed_(data, size);
    piece_ = data;
    size_ = size;
    fedTo_ = 0;
    countedTo_ = 0;
    unitStart_ = 0;
    std::size_t at = 0;
    while (at < size) {
        at = depth_ > 0 && state_ == State::Text ? skimmed(at) : step(at);
        if (stopped_) return false;
        if (passingAll_) return feedPieceTo(size);
    }
    return endOfPiece();
}

bool ElementSkipper::finish() {
    if (passingAll_ || stopped_) return !stopped_;
    dropHeld();
    return feedNewlines();
}

std::size_t ElementSkipper::step(std::size_t at) {
    switch (state_) {
        case State::Text:
            return inText(at);
        case State::Open:
            return afterOpen(at);
        case State::StartName:
            return inStartName(at);
        case State::StartTag:
            return inStartTag(at);
        case State::Quoted: {
            const std::size_t quote = find(piece_, at, size_, quote_);
            if (quote == size_) return size_;
            state_ = State::StartTag;
            return quote + 1;
        }
        case State::EndTag: {
            const std::size_t close = find(piece_, at, size_, '>');
            return close == size_ ? size_ : endOfEndTag(close);
        }
        case State::Bang:
            return afterBang(at);
        case State::Comment:
            return toClosing(at, '-', 2);
        case State::CData:
            return toClosing(at, ']', 2);
        case State::Instruction:
            return toClosing(at, '?', 1);
        case State::Declaration:
            return inDeclaration(at);
    }
    return size_;
}

// Passes over the content while its markup lies whole in the piece and is made of tags: the
// rest goes to step().
std::size_t ElementSkipper::skimmed(std::size_t at) {
    const char* const piece = piece_;
    const std::size_t size = size_;
    dropHeld();
    for (;;) {
        const std::size_t open = find(piece, at, size, '<');
        if (open == size) return size;
        unitStart_ = open;
        if (open + 1 == size || piece[open + 1] == '!' || piece[open + 1] == '?') {
            state_ = State::Open;
            return open + 1;
        }
        if (piece[open + 1] == '/') {
            const std::size_t close = find(piece, open + 2, size, '>');
            if (close == size) {
                state_ = State::EndTag;
                return size;
            }
            if (depth_ == 1) return endOfEndTag(close);
            --depth_;
            at = close + 1;
            continue;
        }
        std::size_t stop = open + 1;
        for (;;) {
            while (stop < size && !kTagStops[static_cast<unsigned char>(piece[stop])]) ++stop;
            if (stop == size) {
                state_ = State::StartTag;
                selfClosing_ = piece[size - 1] == '/';
                return size;
            }
            if (piece[stop] == '>') break;
            const std::size_t quote = find(piece, stop + 1, size, piece[stop]);
            if (quote == size) {
                state_ = State::Quoted;
                quote_ = piece[stop];
                return size;
            }
            stop = quote + 1;
        }
        if (piece[stop - 1] != '/') ++depth_;
        at = stop + 1;
    }
}

std::size_t ElementSkipper::inText(std::size_t at) {
    const std::size_t open = find(piece_, at, size_, '<');
    if (open == size_) return size_;
    dropHeld();
    unitStart_ = open;
    state_ = State::Open;
    return open + 1;
}

std::size_t ElementSkipper::afterOpen(std::size_t at) {
    marks_ = 0;
    switch (piece_[at]) {
        case '/':
            state_ = State::EndTag;
            return at + 1;
        case '?':
            state_ = State::Instruction;
            return at + 1;
        case '!':
            state_ = State::Bang;
            return at + 1;
        default:
            state_ = State::StartName;
            matched_ = 0;
            nameMatches_ = true;
            selfClosing_ = false;
            return at;
    }
}

// Within passed-over content names do not matter.
std::size_t ElementSkipper::inStartName(std::size_t at) {
    if (depth_ > 0) {
        state_ = State::StartTag;
        return at;
    }
    for (; at < size_; ++at) {
        const char c = piece_[at];
        if (endsName(c)) {
            nameMatches_ = nameMatches_ && matched_ == local_.size();
            state_ = State::StartTag;
            return at;
        }
        if (c == ':') {
            matched_ = 0;
            nameMatches_ = true;
        } else if (nameMatches_ && matched_ < local_.size() && local_[matched_] == c) {
            ++matched_;
        } else {
            nameMatches_ = false;
        }
    }
    return size_;
}

std::size_t ElementSkipper::inStartTag(std::size_t at) {
    for (; at < size_; ++at) {
        const char c = piece_[at];
        if (c == '"' || c == '\'') {
            quote_ = c;
            selfClosing_ = false;
            state_ = State::Quoted;
            return at + 1;
        }
        if (c == '>') return endOfStartTag(at);
        selfClosing_ = c == '/';
    }
    return size_;
}

// "<!--" opens a comment, "<![CDATA[" a CDATA section, anything else a declaration.
std::size_t ElementSkipper::afterBang(std::size_t at) {
    const char c = piece_[at];
    if (marks_ == 0) {
        opener_ = c == '-' ? kCommentOpener : c == '[' ? kCDataOpener : std::string_view();
    }
    if (static_cast<std::size_t>(marks_) < opener_.size() && opener_[marks_] == c) {
        if (static_cast<std::size_t>(++marks_) == opener_.size()) {
            state_ = opener_ == kCommentOpener ? State::Comment : State::CData;
            marks_ = 0;
        }
        return at + 1;
    }
    state_ = State::Declaration;
    return at;
}

std::size_t ElementSkipper::inDeclaration(std::size_t at) {
    if (depth_ == 0) {
        passingAll_ = true;
        return size_;
    }
    const std::size_t close = find(piece_, at, size_, '>');
    if (close == size_) return size_;
    state_ = State::Text;
    return close + 1;
}

// To the '>' after `marksNeeded` marks: "-->", "]]>", "?>".
std::size_t ElementSkipper::toClosing(std::size_t at, char mark, int marksNeeded) {
    for (; at < size_; ++at) {
        const char c = piece_[at];
        if (c == '>' && marks_ >= marksNeeded) {
            state_ = State::Text;
            return at + 1;
        }
        marks_ = c == mark ? marks_ + 1 : 0;
    }
    return size_;
}

std::size_t ElementSkipper::endOfStartTag(std::size_t at) {
    state_ = State::Text;
    const std::size_t next = at + 1;
    if (depth_ > 0) {
        if (!selfClosing_) ++depth_;
        return next;
    }
    if (!nameMatches_ || selfClosing_) return next;
    if (!feedPieceTo(next)) return size_;
    if (skipAsked_()) {
        depth_ = 1;
        countedTo_ = next;
    }
    return next;
}

std::size_t ElementSkipper::endOfEndTag(std::size_t at) {
    state_ = State::Text;
    const std::size_t next = at + 1;
    if (depth_ == 0 || --depth_ > 0) return next;
    countNewlines(countedTo_, unitStart_);
    if (!feedNewlines() || !feed_(held_.data(), held_.size())) {
        stopped_ = true;
        return size_;
    }
    held_.clear();
    fedTo_ = unitStart_;
    return next;
}

bool ElementSkipper::endOfPiece() {
    if (depth_ == 0) return feedPieceTo(size_);
    // An end tag begun here may close the element passed over: its bytes are kept.
    const bool inEndTag = state_ == State::Open || state_ == State::EndTag;
    const std::size_t kept = inEndTag ? unitStart_ : size_;
    countNewlines(countedTo_, kept);
    if (inEndTag) held_.append(piece_ + kept, size_ - kept);
    return true;
}

bool ElementSkipper::feedPieceTo(std::size_t end) {
    if (end > fedTo_ && !feed_(piece_ + fedTo_, end - fedTo_)) stopped_ = true;
    fedTo_ = end;
    return !stopped_;
}

bool ElementSkipper::feedNewlines() {
    static const std::string kNewlines(4096, '\n');
    for (; newlines_ > 0;) {
        const std::size_t some = std::min(newlines_, kNewlines.size());
        if (!feed_(kNewlines.data(), some)) return false;
        newlines_ -= some;
    }
    return true;
}

void ElementSkipper::countNewlines(std::size_t from, std::size_t to) {
    if (to <= from) return;
    for (std::size_t at = find(piece_, from, to, '\n'); at < to;
         at = find(piece_, at + 1, to, '\n'))
        ++newlines_;
}

// The markup held from earlier pieces turned out not to close the element passed over.
void ElementSkipper::dropHeld() {
    if (held_.empty()) return;
    newlines_ += std::count(held_.begin(), held_.end(), '\n');
    held_.clear();
}

}  // namespace keldara::dao::sheet
