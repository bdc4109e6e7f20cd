#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dao/Connection.h"

namespace keldara::test::dbf {

// The connection string the source side builds for a .dbf file in `folder`.
QString connectionStringFor(const QString& folder);

std::unique_ptr<dao::Connection> openFolder(const QString& folder);
std::unique_ptr<dao::Recordset> readTable(const QString& folder, const QString& table);

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

QByteArray dbfBytes(std::uint8_t signature, std::uint8_t languageDriver,
                    const std::vector<FieldSpec>& fields, const std::vector<RecordSpec>& records);

// FoxPro memo file: each memo (type 1 text, 0 picture, 2 object) in blocks of `blockSize`;
// `blocks` receives the block number of each memo.
struct FptMemo {
    std::uint32_t type;
    QByteArray data;
};
QByteArray fptBytes(int blockSize, const std::vector<FptMemo>& memos,
                    std::vector<std::uint32_t>& blocks);

// dBase III memo file: memos end with 0x1A 0x1A in 512-byte blocks.
QByteArray dbtBytes(const std::vector<QByteArray>& memos, std::vector<std::uint32_t>& blocks);

QByteArray littleEndian32(std::uint32_t value);
QByteArray littleEndian64(std::uint64_t value);
void writeFile(const QString& path, const QByteArray& bytes);

}  // namespace keldara::test::dbf
