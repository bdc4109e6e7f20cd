#include "platform/dao/access/JetText.h"

#include <errno.h>
#include <iconv.h>

#include <array>
#include <vector>

namespace keldara::dao::access {

namespace {

// Windows-1252 bytes 0x80-0x9F; the five that Windows leaves unassigned map to the C1
// control of the same number, as Windows itself converts them, so no byte is ever lost.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(const char* data, qsizetype length) {
    QString text(length, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < length; ++i) {
        const auto byte = static_cast<quint8>(data[i]);
        out[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

bool isAscii(const char* data, qsizetype length) {
    for (qsizetype i = 0; i < length; ++i) {
        if (static_cast<quint8>(data[i]) >= 0x80) return false;
    }
    return true;
}

std::optional<QString> decodeWithIconv(const QByteArray& codec, const char* data,
                                       qsizetype length) {
    iconv_t converter = iconv_open("UTF-16LE", codec.constData());
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> output(static_cast<std::size_t>(length) * 4 + 4);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = static_cast<std::size_t>(length);
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    const auto bytes = output.size() - outLeft;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(output.data()),
                              static_cast<qsizetype>(bytes / 2));
}

QString fromUtf16Le(const char* data, qsizetype length) {
    QString text(length / 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i + 1 < length; i += 2) {
        out[i / 2] = QChar(static_cast<char16_t>(static_cast<quint8>(data[i]) |
                                                 (static_cast<quint8>(data[i + 1]) << 8)));
    }
    return text;
}

}  // namespace

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

QByteArray iconvNameOfCodePage(int codePage) {
    switch (codePage) {
        case 936:
            return QByteArrayLiteral("GBK");
        case 950:
            return QByteArrayLiteral("BIG5");
        case 932:
            return QByteArrayLiteral("CP932");
        case 949:
            return QByteArrayLiteral("CP949");
        case 874:
            return QByteArrayLiteral("CP874");
        default:
            return QByteArrayLiteral("CP") + QByteArray::number(codePage);
    }
}

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {}

std::optional<QString> CodePageDecoder::decode(const char* data, qsizetype length) const {
    if (codePage_ == 1252) return decodeCp1252(data, length);
    if (isAscii(data, length)) return QString::fromLatin1(data, length);
    return decodeWithIconv(iconvNameOfCodePage(codePage_), data, length);
}

QString decodeJet4Text(const char* data, qsizetype length) {
    const bool compressed =
        length >= 2 && static_cast<quint8>(data[0]) == 0xFF && static_cast<quint8>(data[1]) == 0xFE;
    if (!compressed) return fromUtf16Le(data, length);
    QString text;
    text.reserve(length);
    bool oneByteMode = true;
    qsizetype i = 2;
    while (i < length) {
        const auto byte = static_cast<quint8>(data[i]);
        if (byte == 0) {
            oneByteMode = !oneByteMode;
            ++i;
        } else if (oneByteMode) {
            text += QChar(static_cast<char16_t>(byte));
            ++i;
        } else if (i + 1 < length) {
            text += QChar(static_cast<char16_t>(byte | (static_cast<quint8>(data[i + 1]) << 8)));
            i += 2;
        } else {
            break;
        }
    }
    return text;
}

}  // namespace keldara::dao::access
