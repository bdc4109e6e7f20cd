#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <optional>

namespace keldara::dao::access {

// A Jet 3 database does not record the code page of its text: it is the Windows ANSI code
// page of the machine that wrote it, and Jet reads it in that of the machine that reads it.
// This is the ANSI code page of a locale, e.g. 1252 for English, 936 for Chinese (PRC).
int ansiCodePageOf(const QLocale& locale);

// The iconv name of a Windows code page.
QByteArray iconvNameOfCodePage(int codePage);

// Decodes Jet 3 text bytes in one code page. Nothing when a byte sequence is not valid there.
class CodePageDecoder {
  public:
    explicit CodePageDecoder(int codePage);
    int codePage() const { return codePage_; }
    std::optional<QString> decode(const char* data, qsizetype length) const;

  private:
    int codePage_;
};

// Decodes Jet 4 text: UTF-16LE, or its compressed form (marked by FF FE, where runs of
// characters below U+0100 are stored one byte each, and a zero byte toggles the mode).
QString decodeJet4Text(const char* data, qsizetype length);

}  // namespace keldara::dao::access
