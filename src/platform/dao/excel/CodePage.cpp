#include "platform/dao/excel/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/dao/excel/XlsError.h"

namespace keldara::dao::xls {

QString iconvNameOfCodePage(int codePage) {
    switch (codePage) {
        case 367:    // "US-ASCII": Excel writes it for Western files too, so read it as 1252
        case 32769:  // Windows Latin 1 as Excel 2.x-4.x name it
            return QStringLiteral("CP1252");
        case 1200:
        case 21010:  // written by some Excel versions for UTF-16
            return QStringLiteral("UTF-16LE");
        case 1361:
            return QStringLiteral("JOHAB");
        case 10000:
        case 32768:
            return QStringLiteral("MACINTOSH");
        case 10006:
            return QStringLiteral("MACGREEK");
        case 10007:
            return QStringLiteral("MACCYRILLIC");
        case 10029:
            return QStringLiteral("MACCENTRALEUROPE");
        case 10079:
            return QStringLiteral("MACICELAND");
        case 10081:
            return QStringLiteral("MACTURKISH");
        default:
            return QStringLiteral("CP%1").arg(codePage);
    }
}

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {
    const QByteArray name = iconvNameOfCodePage(codePage).toLatin1();
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw FormatError(
            QStringLiteral("its text is in code page %1, which cannot be decoded").arg(codePage));
    }
    handle_ = cd;
}

CodePageDecoder::~CodePageDecoder() {
    iconv_close(static_cast<iconv_t>(handle_));
}

QString CodePageDecoder::decode(const char* data, std::size_t size) const {
    bool ascii = true;
    for (std::size_t i = 0; i < size && ascii; ++i)
        ascii = static_cast<unsigned char>(data[i]) < 0x80;
    if (ascii && codePage_ != 1200 && codePage_ != 21010) {
        return QString::fromLatin1(data, static_cast<qsizetype>(size));
    }
    auto cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char16_t> out(size * 2 + 4);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = size;
    QString text;
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(out.data());
        std::size_t outLeft = out.size() * sizeof(char16_t);
        const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const auto produced =
            static_cast<qsizetype>((reinterpret_cast<char16_t*>(outPtr) - out.data()));
        text.append(QStringView(out.data(), produced));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An undefined or incomplete sequence: keep the byte as its Latin-1 character.
            text.append(QChar(static_cast<unsigned char>(*in)));
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return text;
}

}  // namespace keldara::dao::xls
