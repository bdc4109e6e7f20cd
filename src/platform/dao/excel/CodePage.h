#pragma once

#include <QString>
#include <memory>

namespace keldara::dao::xls {

// Turns byte strings of a Windows or Macintosh code page (the CODEPAGE record of a BIFF5 or
// older workbook) into text through iconv. A byte the code page does not define is taken as
// the Latin-1 character of the same number, so that nothing is dropped.
class CodePageDecoder {
  public:
    explicit CodePageDecoder(int codePage);  // throws FormatError for an unknown code page
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    int codePage() const { return codePage_; }
    QString decode(const char* data, std::size_t size) const;

  private:
    int codePage_;
    void* handle_;  // iconv_t
};

// The iconv name of a code page number as workbooks write it.
QString iconvNameOfCodePage(int codePage);

}  // namespace keldara::dao::xls
