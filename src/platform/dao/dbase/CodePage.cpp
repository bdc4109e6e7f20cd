#include "platform/dao/dbase/CodePage.h"

#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <vector>

#include "platform/dao/DaoError.h"

namespace keldara::dao::dbase {

namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

const char* utf16Name() {
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
}

bool isMultiByte(const char* codePage) {
    for (const char* name : {"CP932", "CP936", "CP949", "CP950"}) {
        if (std::strcmp(codePage, name) == 0) return true;
    }
    return false;
}

iconv_t openConverter(const char* codePage) {
    iconv_t converter = iconv_open(utf16Name(), codePage);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw DaoError(DaoError::General,
                       QStringLiteral("The code page %1 of the dBase table cannot be decoded: "
                                      "iconv does not know it.")
                           .arg(QLatin1String(codePage)));
    }
    return converter;
}

}  // namespace

const char* codePageOfLanguageDriver(std::uint8_t id) {
    switch (id) {
        case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15:
        case 0x18: case 0x19: case 0x1B:
            return "CP437";
        case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16:
        case 0x1A: case 0x1D: case 0x25: case 0x37:
            return "CP850";
        case 0x04: return "MACINTOSH";
        case 0x08: case 0x17: case 0x66: return "CP865";
        case 0x13: case 0x7B: return "CP932";
        case 0x1C: case 0x6C: return "CP863";
        case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87: return "CP852";
        case 0x24: return "CP860";
        case 0x26: case 0x65: return "CP866";
        case 0x4D: case 0x7A: return "CP936";
        case 0x4E: case 0x79: return "CP949";
        case 0x4F: case 0x78: return "CP950";
        case 0x50: case 0x7C: return "CP874";
        case 0x67: return "CP861";
        case 0x6A: case 0x86: return "CP737";
        case 0x6B: case 0x88: return "CP857";
        case 0x7D: return "CP1255";
        case 0x7E: return "CP1256";
        case 0x96: return "MAC-CYRILLIC";
        case 0x97: return "MAC-CENTRALEUROPE";
        case 0xC8: return "CP1250";
        case 0xC9: return "CP1251";
        case 0xCA: return "CP1254";
        case 0xCB: return "CP1253";
        case 0xCC: return "CP1257";
        default: return "CP1252";  // 0x00, 0x03, 0x57, 0x58, 0x59 and unknown ids
    }
}

TextDecoder::TextDecoder(const char* codePage)
    : codePage_(codePage), multiByte_(isMultiByte(codePage)) {
    iconv_t converter = openConverter(codePage);
    if (multiByte_) {
        converter_ = converter;
        return;
    }
    for (int byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        char16_t out[2] = {};
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const bool converted = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) !=
                                   static_cast<std::size_t>(-1) &&
                               outLeft == sizeof out - sizeof(char16_t);
        table_[byte] = converted ? out[0] : static_cast<char16_t>(byte);
    }
    iconv_close(converter);
}

TextDecoder::~TextDecoder() {
    if (converter_) iconv_close(static_cast<iconv_t>(converter_));
}

QString TextDecoder::decode(const char* data, qsizetype size) const {
    if (multiByte_) return decodeMultiByte(data, size);
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i) out[i] = table_[in[i]];
    return text;
}

QString TextDecoder::decodeMultiByte(const char* data, qsizetype size) const {
    auto converter = static_cast<iconv_t>(converter_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    // Each input byte yields at most one UTF-16 unit in these code pages; the slack covers
    // the replacement characters and a surrogate pair at the end.
    std::vector<char16_t> buffer(static_cast<std::size_t>(size) + 4);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = static_cast<std::size_t>(size);
    std::size_t produced = 0;
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(buffer.data() + produced);
        std::size_t outLeft = (buffer.size() - produced) * sizeof(char16_t);
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        produced = buffer.size() - outLeft / sizeof(char16_t);
        if (result != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: one undecodable byte, replaced, and decoding goes on after it.
        if (produced >= buffer.size()) buffer.resize(buffer.size() * 2);
        buffer[produced++] = kReplacementCharacter;
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    return QString(reinterpret_cast<const QChar*>(buffer.data()), static_cast<qsizetype>(produced));
}

}  // namespace keldara::dao::dbase
