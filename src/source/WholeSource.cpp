#include "source/WholeSource.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/AccessSchema.h"
#include "shell/ProcedureError.h"
#include "source/SourceFiles.h"

namespace keldara::source {

namespace {

std::unique_ptr<dao::Recordset> readTable(const QString& file, const QString& password,
                                          const QString& table, long keepRows) {
    const auto connection = OpenSourceConnection(file, SourcePasswordClause(password));
    return connection->openStreamedRecordset(
        QStringLiteral("SELECT * FROM [") + table + QLatin1Char(']'), keepRows);
}

bool isText(int type) {
    namespace t = dao::adType;
    return type == t::Char || type == t::WChar || type == t::VarChar || type == t::VarWChar ||
           type == t::LongVarChar || type == t::LongVarWChar;
}

// The longest value of each text column of `table`, in characters, read in one pass; empty
// when the table cannot be read.
QHash<QString, long long> longestTextsOf(const WholeSource& source, const QString& table) {
    QHash<QString, long long> longest;
    try {
        const auto records = source.open(table);
        std::vector<int> fields;
        for (int i = 0; i < records->fieldCount(); ++i) {
            if (isText(records->fieldInfo(i).type)) fields.push_back(i);
        }
        std::vector<long long> lengths(fields.size(), 0);
        for (long row = 0; row < records->recordCount(); ++row) {
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const long long length = records->valueAt(row, fields[f]).standardText().size();
                lengths[f] = std::max(lengths[f], length);
            }
        }
        for (std::size_t f = 0; f < fields.size(); ++f)
            longest.insert(records->fieldInfo(fields[f]).name, lengths[f]);
    } catch (const std::exception&) {
        longest.clear();
    }
    return longest;
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
    // A text or dBase file's one table is named after the file: its copy goes without the
    // extension, as the copies of a folder's files do.
    const QString fileName = QFileInfo(path).fileName();
    const QString fileBaseName = QFileInfo(path).completeBaseName();
    for (const QString& name : source.names) {
        if (name.endsWith(QLatin1Char('$')) && name.size() > 1)
            source.targetNames.insert(name, name.chopped(1));
        else if (name == fileName && !fileBaseName.isEmpty())
            source.targetNames.insert(name, fileBaseName);
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
            refused.emplace_back(name, shell::errorDescription(e));
        }
    }
    return refused;
}

std::function<long long(const QString& table, const QString& column)> LongestTexts(
    const WholeSource& source) {
    auto longest = std::make_shared<QHash<QString, QHash<QString, long long>>>();
    return [source, longest](const QString& table, const QString& column) -> long long {
        if (!longest->contains(table)) longest->insert(table, longestTextsOf(source, table));
        return longest->value(table).value(column, -1);
    };
}

}  // namespace keldara::source
