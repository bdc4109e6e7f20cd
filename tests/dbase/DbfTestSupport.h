#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "support/Files.h"
#include "support/Paths.h"

namespace keldara::test::dbf {

inline std::unique_ptr<dao::Connection> openFolder(const QString& folder) {
    return dao::openConnection(
        QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
        folder);
}

inline std::unique_ptr<dao::Recordset> readTable(const QString& folder, const QString& table) {
    return openFolder(folder)->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(table));
}

// The description of the DaoError `read` throws, or "no error".
template <typename Read>
std::string errorOf(Read read) {
    try {
        read();
    } catch (const dao::DaoError& error) {
        return error.description().toStdString();
    }
    return "no error";
}

// Every sample table, as a path under the fixtures ("dbf/folder/table.dbf").
inline std::vector<std::string> sampleTables() {
    return fixtureFiles(QStringLiteral("dbf"), {QStringLiteral("*.dbf")});
}

inline std::string sampleTestName(const testing::TestParamInfo<std::string>& info) {
    return QFileInfo(QString::fromStdString(info.param)).completeBaseName().toStdString();
}

inline QByteArray littleEndian32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

inline QByteArray littleEndian64(std::uint64_t value) {
    return littleEndian32(std::uint32_t(value)) + littleEndian32(std::uint32_t(value >> 32));
}

inline QByteArray bigEndian32(std::uint32_t value) {
    QByteArray bytes = littleEndian32(value);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// A tiny writer of .dbf files with the exact bytes a test needs.
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

inline QByteArray dbfBytes(std::uint8_t signature, std::uint8_t languageDriver,
                           const std::vector<FieldSpec>& fields,
                           const std::vector<RecordSpec>& records) {
    const bool visualFoxPro = signature >= 0x30 && signature <= 0x32;
    int recordLength = 1;
    for (const FieldSpec& field : fields) recordLength += field.length;
    const int headerLength = 32 + 32 * int(fields.size()) + 1 + (visualFoxPro ? 263 : 0);

    QByteArray bytes(32, '\0');
    bytes[0] = static_cast<char>(signature);
    bytes.replace(1, 3, "\x7C\x01\x1F");
    bytes.replace(4, 4, littleEndian32(std::uint32_t(records.size())));
    bytes.replace(8, 2, littleEndian32(std::uint32_t(headerLength)).left(2));
    bytes.replace(10, 2, littleEndian32(std::uint32_t(recordLength)).left(2));
    bytes[29] = static_cast<char>(languageDriver);
    int offset = 1;
    for (const FieldSpec& field : fields) {
        QByteArray descriptor(32, '\0');
        descriptor.replace(0, std::min<qsizetype>(field.name.size(), 10), field.name.left(10));
        descriptor[11] = field.type;
        descriptor.replace(12, 4, littleEndian32(std::uint32_t(offset)));
        descriptor[16] = static_cast<char>(field.length & 0xFF);
        descriptor[17] = static_cast<char>(field.decimals);
        descriptor[18] = static_cast<char>(field.flags);
        bytes += descriptor;
        offset += field.length;
    }
    bytes += '\r';
    bytes += QByteArray(headerLength - bytes.size(), '\0');
    for (const RecordSpec& record : records) {
        bytes += record.deleted ? '*' : ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QByteArray value =
                record.values.size() > i ? record.values[i].left(fields[i].length) : QByteArray();
            bytes += value + QByteArray(fields[i].length - value.size(), ' ');
        }
    }
    return bytes + '\x1A';
}

// FoxPro memo file: each memo (type 1 text, 0 picture, 2 object) in blocks of `blockSize`;
// `blocks` receives the block number of each memo.
struct FptMemo {
    std::uint32_t type;
    QByteArray data;
};
inline QByteArray fptBytes(int blockSize, const std::vector<FptMemo>& memos,
                           std::vector<std::uint32_t>& blocks) {
    QByteArray bytes(512, '\0');
    bytes[6] = static_cast<char>(blockSize >> 8);
    bytes[7] = static_cast<char>(blockSize & 0xFF);
    blocks.clear();
    for (const FptMemo& memo : memos) {
        blocks.push_back(std::uint32_t(bytes.size() / blockSize));
        bytes += bigEndian32(memo.type) + bigEndian32(std::uint32_t(memo.data.size())) + memo.data;
        if (bytes.size() % blockSize) bytes += QByteArray(blockSize - bytes.size() % blockSize, 0);
    }
    bytes.replace(0, 4, bigEndian32(std::uint32_t(bytes.size() / blockSize)));
    return bytes;
}

// dBase III memo file: memos end with 0x1A 0x1A in 512-byte blocks.
inline QByteArray dbtBytes(const std::vector<QByteArray>& memos,
                           std::vector<std::uint32_t>& blocks) {
    QByteArray bytes(512, '\0');
    blocks.clear();
    for (const QByteArray& memo : memos) {
        blocks.push_back(std::uint32_t(bytes.size() / 512));
        bytes += memo + "\x1A\x1A";
        if (bytes.size() % 512) bytes += QByteArray(512 - bytes.size() % 512, '\0');
    }
    bytes.replace(0, 4, littleEndian32(std::uint32_t(bytes.size() / 512)));
    return bytes;
}

}  // namespace keldara::test::dbf
