#include "platform/dao/dbase/CodePage.h"

#include <iconv.h>

#include <QSysInfo>
#include <cerrno>
#include <cstring>
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
    struct Entry {
        std::uint8_t id;
        const char* codePage;
    };
    // Ids 0x03, 0x57, 0x58, 0x59 (and none, and unknown ones) are Windows-1252.
    // clang-format off
    static constexpr Entry kEntries[] = {
        {0x01, "CP437"}, {0x02, "CP850"}, {0x04, "MACINTOSH"}, {0x08, "CP865"}, {0x09, "CP437"},
        {0x0A, "CP850"}, {0x0B, "CP437"}, {0x0D, "CP437"}, {0x0E, "CP850"}, {0x0F, "CP437"},
        {0x10, "CP850"}, {0x11, "CP437"}, {0x12, "CP850"}, {0x13, "CP932"}, {0x14, "CP850"},
        {0x15, "CP437"}, {0x16, "CP850"}, {0x17, "CP865"}, {0x18, "CP437"}, {0x19, "CP437"},
        {0x1A, "CP850"}, {0x1B, "CP437"}, {0x1C, "CP863"}, {0x1D, "CP850"}, {0x1F, "CP852"},
        {0x22, "CP852"}, {0x23, "CP852"}, {0x24, "CP860"}, {0x25, "CP850"}, {0x26, "CP866"},
        {0x37, "CP850"}, {0x40, "CP852"}, {0x4D, "CP936"}, {0x4E, "CP949"}, {0x4F, "CP950"},
        {0x50, "CP874"}, {0x64, "CP852"}, {0x65, "CP866"}, {0x66, "CP865"}, {0x67, "CP861"},
        {0x6A, "CP737"}, {0x6B, "CP857"}, {0x6C, "CP863"}, {0x78, "CP950"}, {0x79, "CP949"},
        {0x7A, "CP936"}, {0x7B, "CP932"}, {0x7C, "CP874"}, {0x7D, "CP1255"}, {0x7E, "CP1256"},
        {0x86, "CP737"}, {0x87, "CP852"}, {0x88, "CP857"}, {0x96, "MAC-CYRILLIC"},
        {0x97, "MAC-CENTRALEUROPE"}, {0xC8, "CP1250"}, {0xC9, "CP1251"}, {0xCA, "CP1254"},
        {0xCB, "CP1253"}, {0xCC, "CP1257"},
    };
    // clang-format on
    for (const Entry& entry : kEntries) {
        if (entry.id == id) return entry.codePage;
    }
    return "CP1252";
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
        const bool converted =
            iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
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
