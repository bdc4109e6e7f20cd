#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace keldara::test {

// Writes `bytes` to the file at `path`, replacing it, and returns the path; a test failure
// when it cannot.
inline QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << path.toStdString();
    return path;
}

// The `size` bytes of `value`, least significant first unless `bigEndian`.
inline QByteArray bytesOf(std::uint64_t value, int size = 4, bool bigEndian = false) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[bigEndian ? size - 1 - i : i] = char(value >> (8 * i));
    return bytes;
}

}  // namespace keldara::test
