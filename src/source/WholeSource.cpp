#include "source/WholeSource.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

#include "platform/dao/DaoError.h"
#include "platform/dao/access/AccessSchema.h"
#include "source/SourceFiles.h"

namespace keldara::source {

namespace {

std::unique_ptr<dao::Recordset> readTable(const QString& file, const QString& password,
                                          const QString& table, long keepRows) {
    const auto connection = OpenSourceConnection(file, SourcePasswordClause(password));
    return connection->openStreamedRecordset(
        QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'), keepRows);
}

QString errorText(const std::exception& e) {
    if (const auto* dao = dynamic_cast<const dao::DaoError*>(&e)) return dao->description();
    return QString::fromUtf8(e.what());
}

}  // namespace

WholeSource OpenWholeSource(const QString& path, const QString& password, long keepRows) {
    WholeSource source{path, password, {}, {}, false, {}};
    if (QFileInfo(path).isDir()) {
        const QDir folder(path);
        source.names = folder.entryList({"*.dbf", "*.DBF", "*.csv", "*.CSV", "*.txt", "*.TXT"},
                                        QDir::Files, QDir::Name);
        if (source.names.isEmpty()) {
            throw std::runtime_error(
                QStringLiteral("the folder holds no .dbf, .csv or .txt file").toStdString());
        }
        for (const QString& file : source.names)
            source.targetNames.insert(file, QFileInfo(file).completeBaseName());
        source.open = [folder, keepRows](const QString& table) {
            return readTable(folder.filePath(table), {}, table, keepRows);
        };
        return source;
    }
    const QString kind = SourceFileKind(path);
    source.access = kind == QLatin1String("mdb") || kind == QLatin1String("accdb");
    const auto connection = OpenSourceConnection(path, SourcePasswordClause(password));
    source.names = SourceTableNames(path, *connection->openTableCatalogue());
    // Access keeps tables of its own (MSysCompactError) beside the user's.
    if (source.access)
        source.names.removeIf([](const QString& name) {
            return name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive);
        });
    for (const QString& name : source.names) {
        if (name.endsWith(QLatin1Char('$')) && name.size() > 1)
            source.targetNames.insert(name, name.chopped(1));
    }
    source.open = [path, password, keepRows](const QString& table) {
        return readTable(path, password, table, keepRows);
    };
    return source;
}

std::vector<std::pair<QString, QString>> ReadWholeSchema(const WholeSource& source,
                                                         dao::DatabaseSchema& schema) {
    if (source.access) {
        schema = dao::access::readAccessSchema(source.path, source.password);
        std::erase_if(schema.tables, [&](const dao::TableSchema& table) {
            return !source.names.contains(table.name);
        });
        return {};
    }
    std::vector<std::pair<QString, QString>> refused;
    for (const QString& name : source.names) {
        try {
            const auto records = source.open(name);
            std::vector<dao::FieldInfo> fields;
            for (int i = 0; i < records->fieldCount(); ++i) fields.push_back(records->fieldInfo(i));
            if (fields.empty()) {
                refused.emplace_back(name, QStringLiteral("the table has no fields"));
                continue;
            }
            schema.tables.push_back(dao::SchemaOfFields(name, fields));
        } catch (const std::exception& e) {
            refused.emplace_back(name, errorText(e));
        }
    }
    return refused;
}

long long LongestText(const WholeSource& source, const QString& table, const QString& column) {
    try {
        const auto records = source.open(table);
        int field = -1;
        for (int i = 0; i < records->fieldCount(); ++i) {
            if (records->fieldInfo(i).name == column) field = i;
        }
        if (field < 0) return -1;
        long long longest = 0;
        for (long row = 0; row < records->recordCount(); ++row)
            longest =
                std::max<long long>(longest, records->valueAt(row, field).standardText().size());
        return longest;
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace keldara::source
