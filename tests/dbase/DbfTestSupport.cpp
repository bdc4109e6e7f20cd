#include "DbfTestSupport.h"

#include <QFile>

namespace keldara::test::dbf {

QString connectionStringFor(const QString& folder) {
    return QStringLiteral("Driver=Microsoft Visual Foxpro Driver;UID=;SourceType=DBF;SourceDB=") +
           folder;
}

std::unique_ptr<dao::Connection> openFolder(const QString& folder) {
    return dao::openConnection(connectionStringFor(folder));
}

std::unique_ptr<dao::Recordset> readTable(const QString& folder, const QString& table) {
    return openFolder(folder)->openRecordset(QStringLiteral("SELECT * FROM [") + table +
                                             QStringLiteral("]"));
}

QByteArray littleEndian32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

QByteArray littleEndian64(std::uint64_t value) {
    return littleEndian32(static_cast<std::uint32_t>(value)) +
           littleEndian32(static_cast<std::uint32_t>(value >> 32));
}

namespace {

QByteArray bigEndian32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * (3 - i)));
    return bytes;
}

bool isVisualFoxPro(std::uint8_t signature) {
    return signature >= 0x30 && signature <= 0x32;
}

}  // namespace

QByteArray dbfBytes(std::uint8_t signature, std::uint8_t languageDriver,
                    const std::vector<FieldSpec>& fields, const std::vector<RecordSpec>& records) {
    int recordLength = 1;
    for (const FieldSpec& field : fields) recordLength += field.length;
    const int headerLength =
        32 + 32 * int(fields.size()) + 1 + (isVisualFoxPro(signature) ? 263 : 0);

    QByteArray header(32, '\0');
    header[0] = static_cast<char>(signature);
    header[1] = 124;
    header[2] = 1;
    header[3] = 31;
    header.replace(4, 4, littleEndian32(std::uint32_t(records.size())));
    header[8] = static_cast<char>(headerLength & 0xFF);
    header[9] = static_cast<char>(headerLength >> 8);
    header[10] = static_cast<char>(recordLength & 0xFF);
    header[11] = static_cast<char>(recordLength >> 8);
    header[29] = static_cast<char>(languageDriver);

    int offset = 1;
    for (const FieldSpec& field : fields) {
        QByteArray descriptor(32, '\0');
        descriptor.replace(0, std::min<qsizetype>(field.name.size(), 10), field.name.left(10));
        descriptor[11] = field.type;
        descriptor.replace(12, 4, littleEndian32(std::uint32_t(offset)));
        descriptor[16] = static_cast<char>(field.length & 0xFF);
        descriptor[17] = static_cast<char>(field.decimals);
        descriptor[18] = static_cast<char>(field.flags);
        header += descriptor;
        offset += field.length;
    }
    header += '\r';
    header += QByteArray(headerLength - header.size(), '\0');

    for (const RecordSpec& record : records) {
        header += record.deleted ? '*' : ' ';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            QByteArray value = i < record.values.size() ? record.values[i] : QByteArray();
            value = value.left(fields[i].length);
            header += value + QByteArray(fields[i].length - value.size(), ' ');
        }
    }
    header += '\x1A';
    return header;
}

QByteArray fptBytes(int blockSize, const std::vector<FptMemo>& memos,
                    std::vector<std::uint32_t>& blocks) {
    QByteArray bytes(512, '\0');
    bytes[6] = static_cast<char>(blockSize >> 8);
    bytes[7] = static_cast<char>(blockSize & 0xFF);
    blocks.clear();
    for (const FptMemo& memo : memos) {
        blocks.push_back(std::uint32_t(bytes.size() / blockSize));
        bytes += bigEndian32(memo.type) + bigEndian32(std::uint32_t(memo.data.size())) + memo.data;
        if (bytes.size() % blockSize)
            bytes += QByteArray(blockSize - bytes.size() % blockSize, '\0');
    }
    bytes.replace(0, 4, bigEndian32(std::uint32_t(bytes.size() / blockSize)));
    return bytes;
}

QByteArray dbtBytes(const std::vector<QByteArray>& memos, std::vector<std::uint32_t>& blocks) {
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

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

}  // namespace keldara::test::dbf
