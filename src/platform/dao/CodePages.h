#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace keldara::dao {

// Code pages by the numbers files record them: Windows (1252, 936, ...), DOS (437, 850, ...),
// Macintosh (10000, ...), and the aliases Excel writes (367, 32769, 1200, 21010).

// The iconv name of a code page number.
QByteArray iconvNameOfCodePage(int codePage);

// The code page of a dBase table header's language driver id. No id (0) and ids without a
// code page of their own mean Windows-1252.
int codePageOfLanguageDriver(std::uint8_t languageDriverId);

// The Windows ANSI code page of a locale, e.g. 1252 for English, 936 for Chinese (PRC).
int ansiCodePageOf(const QLocale& locale);

// Turns bytes of one code page into text. The rule for bytes the code page leaves undefined:
// such a byte (alone, or starting a multi-byte sequence that is invalid or cut short) becomes
// the character of the same number (U+0080..U+00FF), as Windows decodes the undefined bytes
// of its single-byte code pages, and decoding goes on with the next byte. So no byte is ever
// dropped, and the original bytes can be recovered.
// One decoder is not for use from several threads at once.
class CodePageDecoder {
  public:
    // Throws DaoError when iconv does not know the code page.
    explicit CodePageDecoder(int codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    int codePage() const { return codePage_; }
    bool isMultiByte() const { return converter_ != nullptr; }

    QString decode(const char* data, qsizetype size) const;

    // True when each of the bytes decodes to the character of its own number, so that the
    // bytes are already the text in Latin-1 (ASCII in most code pages; in Windows-1252 all
    // but 0x80..0x9F).
    bool decodesToLatin1(const char* data, qsizetype size) const;

    // The text, or nothing when a multi-byte sequence is invalid or cut short (a sign that
    // the bytes are not in this code page). Single-byte code pages decode every byte.
    std::optional<QString> decodeStrict(const char* data, qsizetype size) const;

  private:
    QString decodeMultiByte(const char* data, qsizetype size, bool* invalid) const;

    int codePage_;
    bool asciiCompatible_ = true;
    std::array<char16_t, 256> table_{};  // single-byte code pages
    std::array<bool, 256> decodesToItself_{};
    void* converter_ = nullptr;  // iconv_t of a multi-byte code page
};

}  // namespace keldara::dao
