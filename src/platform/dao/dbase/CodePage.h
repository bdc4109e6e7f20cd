#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace keldara::dao::dbase {

// The iconv name of the code page that a table header's language driver id stands for.
// No id (0) and ids without a code page of their own here mean Windows-1252.
const char* codePageOfLanguageDriver(std::uint8_t languageDriverId);

// Turns bytes of one code page into text. Single-byte code pages decode through a table that
// iconv fills once; the multi-byte ones (Japanese, Chinese, Korean) run iconv on each value.
// A byte a single-byte code page leaves undefined becomes the character of the same number,
// as Windows decodes it, so that nothing is lost; an invalid multi-byte sequence becomes
// U+FFFD. Throws DaoError when iconv does not know the code page.
class TextDecoder {
  public:
    explicit TextDecoder(const char* codePage);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    QString decode(const char* data, qsizetype size) const;
    const char* codePage() const { return codePage_; }

  private:
    QString decodeMultiByte(const char* data, qsizetype size) const;

    const char* codePage_;
    bool multiByte_ = false;
    std::array<char16_t, 256> table_{};
    void* converter_ = nullptr;  // iconv_t of a multi-byte code page
};

}  // namespace keldara::dao::dbase
