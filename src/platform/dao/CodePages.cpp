#include "platform/dao/CodePages.h"

#include <iconv.h>

#include <QSysInfo>
#include <QVarLengthArray>
#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/dao/Ascii.h"
#include "platform/dao/DaoError.h"

namespace keldara::dao {

namespace {

const char* utf16Name() {
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
}

iconv_t asIconv(void* converter) {
    return static_cast<iconv_t>(converter);
}

enum class ByteResult { Character, Undefined, Incomplete };

// Converts one byte on its own. A stateful converter (Vietnamese) is flushed so that a
// character it holds back to combine with the next one comes out.
ByteResult convertByte(iconv_t converter, unsigned char byte, char16_t& character) {
    char in = static_cast<char>(byte);
    char16_t out[4] = {};
    char* inPtr = &in;
    std::size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        return errno == EINVAL ? ByteResult::Incomplete : ByteResult::Undefined;
    }
    iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    if (outLeft != sizeof out - sizeof(char16_t)) return ByteResult::Undefined;
    character = out[0];
    return ByteResult::Character;
}

}  // namespace

QByteArray iconvNameOfCodePage(int codePage) {
    switch (codePage) {
        case 367:    // "US-ASCII": Excel writes it for Western files too
        case 32769:  // Windows Latin 1 as Excel 2.x-4.x name it
            return QByteArrayLiteral("CP1252");
        case 1200:
        case 21010:  // written by some Excel versions for UTF-16
            return QByteArrayLiteral("UTF-16LE");
        case 1361:
            return QByteArrayLiteral("JOHAB");
        case 10000:
        case 32768:
            return QByteArrayLiteral("MACINTOSH");
        case 10007:
            return QByteArrayLiteral("MAC-CYRILLIC");
        case 10029:
            return QByteArrayLiteral("MAC-CENTRALEUROPE");
        case 10079:
            return QByteArrayLiteral("MAC-IS");
        default:
            return QByteArrayLiteral("CP") + QByteArray::number(codePage);
    }
}

int codePageOfLanguageDriver(std::uint8_t id) {
    struct Entry {
        std::uint8_t id;
        int codePage;
    };
    // Ids 0x03, 0x57, 0x58, 0x59 (and none, and unknown ones) are Windows-1252.
    // clang-format off
    static constexpr Entry kEntries[] = {
        {0x01, 437}, {0x02, 850}, {0x04, 10000}, {0x08, 865}, {0x09, 437}, {0x0A, 850},
        {0x0B, 437}, {0x0D, 437}, {0x0E, 850}, {0x0F, 437}, {0x10, 850}, {0x11, 437},
        {0x12, 850}, {0x13, 932}, {0x14, 850}, {0x15, 437}, {0x16, 850}, {0x17, 865},
        {0x18, 437}, {0x19, 437}, {0x1A, 850}, {0x1B, 437}, {0x1C, 863}, {0x1D, 850},
        {0x1F, 852}, {0x22, 852}, {0x23, 852}, {0x24, 860}, {0x25, 850}, {0x26, 866},
        {0x37, 850}, {0x40, 852}, {0x4D, 936}, {0x4E, 949}, {0x4F, 950}, {0x50, 874},
        {0x64, 852}, {0x65, 866}, {0x66, 865}, {0x67, 861}, {0x6A, 737}, {0x6B, 857},
        {0x6C, 863}, {0x78, 950}, {0x79, 949}, {0x7A, 936}, {0x7B, 932}, {0x7C, 874},
        {0x7D, 1255}, {0x7E, 1256}, {0x86, 737}, {0x87, 852}, {0x88, 857}, {0x96, 10007},
        {0x97, 10029}, {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
    };
    // clang-format on
    for (const Entry& entry : kEntries) {
        if (entry.id == id) return entry.codePage;
    }
    return 1252;
}

int ansiCodePageOf(const QLocale& locale) {
    switch (locale.script()) {
        case QLocale::CyrillicScript:
            return 1251;
        case QLocale::GreekScript:
            return 1253;
        case QLocale::HebrewScript:
            return 1255;
        case QLocale::ArabicScript:
            return 1256;
        case QLocale::ThaiScript:
            return 874;
        case QLocale::JapaneseScript:
            return 932;
        case QLocale::KoreanScript:
            return 949;
        case QLocale::SimplifiedHanScript:
            return 936;
        case QLocale::TraditionalHanScript:
            return 950;
        default:
            break;
    }
    switch (locale.language()) {
        case QLocale::Chinese:
            return 936;
        case QLocale::Japanese:
            return 932;
        case QLocale::Korean:
            return 949;
        case QLocale::Turkish:
        case QLocale::Azerbaijani:
            return 1254;
        case QLocale::Estonian:
        case QLocale::Latvian:
        case QLocale::Lithuanian:
            return 1257;
        case QLocale::Vietnamese:
            return 1258;
        case QLocale::Polish:
        case QLocale::Czech:
        case QLocale::Slovak:
        case QLocale::Hungarian:
        case QLocale::Slovenian:
        case QLocale::Croatian:
        case QLocale::Romanian:
        case QLocale::Albanian:
        case QLocale::Bosnian:
        case QLocale::Serbian:
            return 1250;
        default:
            return 1252;
    }
}

// Single-byte code pages decode through a table filled once; a code page where some byte
// alone is an incomplete sequence is multi-byte, and iconv decodes each value.
CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {
    iconv_t converter = iconv_open(utf16Name(), iconvNameOfCodePage(codePage).constData());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw DaoError(DaoError::General,
                       QStringLiteral("Text in code page %1 cannot be decoded: iconv does not "
                                      "know that code page.")
                           .arg(codePage));
    }
    bool multiByte = false;
    for (int byte = 0; byte < 256; ++byte) {
        char16_t character = 0;
        const ByteResult result =
            convertByte(converter, static_cast<unsigned char>(byte), character);
        multiByte = multiByte || result == ByteResult::Incomplete;
        table_[byte] = result == ByteResult::Character ? character : static_cast<char16_t>(byte);
        decodesToItself_[byte] = result == ByteResult::Character && character == byte;
    }
    asciiCompatible_ = table_['A'] == u'A';
    if (multiByte) {
        // Here only a byte below 0x80 is surely a character on its own.
        std::fill(decodesToItself_.begin() + 0x80, decodesToItself_.end(), false);
        converter_ = converter;
    } else {
        iconv_close(converter);
    }
}

CodePageDecoder::~CodePageDecoder() {
    if (converter_) iconv_close(asIconv(converter_));
}

QString CodePageDecoder::decode(const char* data, qsizetype size) const {
    if (converter_) return decodeMultiByte(data, size, nullptr);
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i) out[i] = table_[in[i]];
    return text;
}

bool CodePageDecoder::decodesToLatin1(const char* data, qsizetype size) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    return std::all_of(bytes, bytes + size,
                       [this](unsigned char b) { return decodesToItself_[b]; });
}

std::optional<QString> CodePageDecoder::decodeStrict(const char* data, qsizetype size) const {
    if (!converter_) return decode(data, size);
    bool invalid = false;
    QString text = decodeMultiByte(data, size, &invalid);
    if (invalid) return std::nullopt;
    return text;
}

// With `invalid` given, stops at the first invalid sequence and sets it.
QString CodePageDecoder::decodeMultiByte(const char* data, qsizetype size, bool* invalid) const {
    if (asciiCompatible_ && isAscii(data, size)) return QString::fromLatin1(data, size);
    iconv_t converter = asIconv(converter_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // One UTF-16 unit per input byte at most in these code pages, but for surrogate pairs.
    // Field values are short: their buffer stays on the stack.
    QVarLengthArray<char16_t, 256> buffer(size + 4);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = static_cast<std::size_t>(size);
    std::size_t produced = 0;
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(buffer.data() + produced);
        std::size_t outLeft =
            (static_cast<std::size_t>(buffer.size()) - produced) * sizeof(char16_t);
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        produced = static_cast<std::size_t>(buffer.size()) - outLeft / sizeof(char16_t);
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno != E2BIG) {  // an undefined or cut-short sequence
            if (invalid) {
                *invalid = true;
                return {};
            }
            if (produced >= static_cast<std::size_t>(buffer.size()))
                buffer.resize(buffer.size() * 2);
            buffer[produced++] = static_cast<unsigned char>(*in);
            ++in;
            --inLeft;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        } else {
            buffer.resize(buffer.size() * 2);
        }
    }
    return QString(reinterpret_cast<const QChar*>(buffer.data()), static_cast<qsizetype>(produced));
}

}  // namespace keldara::dao
