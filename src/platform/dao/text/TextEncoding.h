#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace keldara::dao::text {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points
// beyond U+10FFFF).
bool isValidUtf8(const char* data, qsizetype size);

// The Windows-1252 bytes as UTF-8. Every byte maps to a character; the five bytes that
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the
// same number, as Windows converts them.
QByteArray windows1252ToUtf8(const char* data, qsizetype size);

// UTF-16 code units (after the byte-order mark) as UTF-8. Throws DaoError naming `fileName`
// when they are malformed or of an odd number of bytes.
QByteArray utf16ToUtf8(QByteArrayView units, bool bigEndian, const QString& fileName);

}  // namespace keldara::dao::text
