#include "platform/dao/text/TextEncoding.h"

#include <QStringDecoder>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/dao/DaoError.h"

namespace keldara::dao::text {

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Bytes 0x80 to 0x9F of Windows-1252; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void appendUtf8(QByteArray& out, char16_t unit) {
    if (unit < 0x80) {
        out.append(static_cast<char>(unit));
    } else if (unit < 0x800) {
        out.append(static_cast<char>(0xC0 | (unit >> 6)));
        out.append(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
        out.append(static_cast<char>(0xE0 | (unit >> 12)));
        out.append(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (unit & 0x3F)));
    }
}

}  // namespace

bool isValidUtf8(const char* data, qsizetype size) {
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    const auto asciiWords = [&](int words) {
        std::uint64_t any = 0;
        for (int w = 0; w < words; ++w) {
            std::uint64_t word;
            std::memcpy(&word, s + i + 8 * w, 8);
            any |= word;
        }
        return (any & 0x8080808080808080ULL) == 0;
    };
    while (i < size) {
        // Plain ASCII 32 bytes at a time, then eight.
        if (i + 32 <= size && asciiWords(4)) {
            i += 32;
            continue;
        }
        if (i + 8 <= size && asciiWords(1)) {
            i += 8;
            continue;
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int continuations = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            continuations = 1;
        } else if (c == 0xE0) {
            continuations = 2;
            low = 0xA0;
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            continuations = 2;
        } else if (c == 0xED) {
            continuations = 2;
            high = 0x9F;
        } else if (c == 0xF0) {
            continuations = 3;
            low = 0x90;
        } else if (c >= 0xF1 && c <= 0xF3) {
            continuations = 3;
        } else if (c == 0xF4) {
            continuations = 3;
            high = 0x8F;
        } else {
            return false;
        }
        if (i + continuations >= size) return false;
        if (s[i + 1] < low || s[i + 1] > high) return false;
        for (int k = 2; k <= continuations; ++k) {
            if (!isContinuation(s[i + k])) return false;
        }
        i += continuations + 1;
    }
    return true;
}

QByteArray utf16ToUtf8(QByteArrayView units, bool bigEndian, const QString& fileName) {
    QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                           QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(units);
    if (decoder.hasError() || units.size() % 2 != 0) {
        throw DaoError(DaoError::BadFile,
                       QStringLiteral("The file \"%1\" cannot be read: it begins as UTF-16 text "
                                      "but holds malformed UTF-16.")
                           .arg(fileName));
    }
    return text.toUtf8();
}

QByteArray windows1252ToUtf8(const char* data, qsizetype size) {
    QByteArray out;
    out.reserve(size + size / 8);
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            out.append(static_cast<char>(c));
        } else if (c < 0xA0) {
            appendUtf8(out, kWindows1252High[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace keldara::dao::text
