#pragma once

#include <gtest/gtest.h>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "support/Files.h"
#include "support/Paths.h"
#include "support/TestServer.h"

namespace keldara::test::dbf {

inline std::unique_ptr<dao::Connection> openFolder(const QString& folder) {
    return dao::openConnection(
        QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
        folder);
}

inline std::unique_ptr<dao::Recordset> readTable(const QString& folder, const QString& table) {
    return openFolder(folder)->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
}

// The `size` bytes of `value`, least significant first unless `bigEndian`.
inline QByteArray bytesOf(std::uint64_t value, int size = 4, bool bigEndian = false) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[bigEndian ? size - 1 - i : i] = char(value >> (8 * i));
    return bytes;
}

struct FieldSpec {
    QByteArray name;
    char type;
    int length;
    int decimals = 0;
    std::uint8_t flags = 0;
};

struct RecordSpec {
    std::vector<QByteArray> values;  // the raw bytes of each field, padded with blanks
    bool deleted = false;
};

// A .dbf file of the given version and language driver (code page).
inline QByteArray dbfBytes(std::uint8_t signature, std::uint8_t languageDriver,
                           const std::vector<FieldSpec>& fields,
                           const std::vector<RecordSpec>& records) {
    int recordLength = 1;
    for (const FieldSpec& field : fields) recordLength += field.length;
    const bool visualFoxPro = signature >= 0x30 && signature <= 0x32;
    const int headerLength = 33 + 32 * int(fields.size()) + (visualFoxPro ? 263 : 0);
    QByteArray bytes = char(signature) + QByteArray("\x7C\x01\x1F") + bytesOf(records.size()) +
                       bytesOf(headerLength, 2) + bytesOf(recordLength, 2) + QByteArray(17, '\0') +
                       char(languageDriver) + QByteArray(2, '\0');
    int offset = 1;
    for (const FieldSpec& f : fields) {
        bytes += f.name.left(10).leftJustified(11, '\0') + f.type + bytesOf(offset) +
                 char(f.length) + char(f.decimals) + char(f.flags) + QByteArray(13, '\0');
        offset += f.length;
    }
    bytes += '\r';
    bytes.resize(headerLength, '\0');
    for (const RecordSpec& record : records) {
        bytes += record.deleted ? '*' : ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QByteArray value = i < record.values.size() ? record.values[i] : QByteArray();
            bytes += value.left(fields[i].length).leftJustified(fields[i].length, ' ');
        }
    }
    return bytes + '\x1A';
}

// A memo file: a 512-byte header, then each memo from the start of a block. FoxPro's (.fpt,
// blocks of `blockSize`) puts the memo's type (1 text, 0 picture, 2 object) and length before
// it; dBase III's (.dbt, `blockSize` 0) ends it with 0x1A 0x1A in blocks of 512. `blocks`
// receives the block number of each memo.
struct Memo {
    std::uint32_t type;
    QByteArray data;
};
inline QByteArray memoBytes(int blockSize, const std::vector<Memo>& memos,
                            std::vector<std::uint32_t>& blocks) {
    const int block = blockSize ? blockSize : 512;
    QByteArray bytes(512, '\0');
    blocks.clear();
    for (const Memo& memo : memos) {
        blocks.push_back(std::uint32_t(bytes.size() / block));
        bytes += blockSize
                     ? bytesOf(memo.type, 4, true) + bytesOf(memo.data.size(), 4, true) + memo.data
                     : memo.data + "\x1A\x1A";
        bytes.resize((bytes.size() + block - 1) / block * block, '\0');
    }
    bytes.replace(0, 4, bytesOf(bytes.size() / block, 4, blockSize != 0));  // the next free block
    if (blockSize) bytes.replace(6, 2, bytesOf(blockSize, 2, true));
    return bytes;
}

}  // namespace keldara::test::dbf
