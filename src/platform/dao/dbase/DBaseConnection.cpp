#include <QDir>
#include <QFileInfo>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/SelectStatement.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/dbase/DbfTable.h"

namespace keldara::dao {

namespace {

const QString kTableExtension = QStringLiteral(".dbf");

// A folder of dBase/FoxPro tables, one table per .dbf file, as the FoxPro ODBC driver
// serves it with SourceType=DBF. The tables are read-only.
class DBaseConnection : public Connection {
  public:
    void open(const QString& connectionString) override;
    bool isOpen() const override { return open_; }
    void close() override;
    void execute(const QString& sql) override;
    std::unique_ptr<Recordset> openTableCatalogue() override;
    std::unique_ptr<Recordset> openRecordset(const QString& sql) override;
    std::unique_ptr<Recordset> openStreamedRecordset(const QString& sql, long keepRows) override;

  private:
    void requireOpen() const;
    QStringList tableFiles() const;
    QString tablePath(const QString& table) const;
    QString pathOfQuery(const QString& sql) const;

    bool open_ = false;
    QString folder_;
};

void DBaseConnection::open(const QString& connectionString) {
    const ConnectionString cs = ConnectionString::parse(connectionString);
    const QString sourceType = cs.valueOr(QStringLiteral("SourceType"), QStringLiteral("DBF"));
    if (sourceType.compare(QLatin1String("DBF"), Qt::CaseInsensitive) != 0) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("Only free tables (SourceType=DBF) can be opened, not "
                                      "SourceType=%1.")
                           .arg(sourceType));
    }
    const QString folder = cs.valueOr(QStringLiteral("SourceDB"));
    if (folder.isEmpty()) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("The connection string names no folder of dBase tables "
                                      "(SourceDB is empty)."));
    }
    const QFileInfo info(folder);
    if (!info.isDir()) {
        throw DaoError(DaoError::OpenFailed,
                       info.exists()
                           ? QStringLiteral("\"%1\" is not a folder of dBase tables.").arg(folder)
                           : QStringLiteral("The folder \"%1\" does not exist.").arg(folder));
    }
    folder_ = folder;
    open_ = true;
}

void DBaseConnection::close() {
    requireOpen();
    open_ = false;
}

void DBaseConnection::execute(const QString& sql) {
    requireOpen();
    throw DaoError(DaoError::BadQuery,
                   QStringLiteral("The dBase tables in \"%1\" are read-only; the statement "
                                  "was not run: %2")
                       .arg(folder_, sql));
}

std::unique_ptr<Recordset> DBaseConnection::openTableCatalogue() {
    requireOpen();
    return tableCatalogue(tableFiles());
}

std::unique_ptr<Recordset> DBaseConnection::openRecordset(const QString& sql) {
    return dbase::readDbfTable(pathOfQuery(sql));
}

std::unique_ptr<Recordset> DBaseConnection::openStreamedRecordset(const QString& sql,
                                                                  long keepRows) {
    return dbase::readDbfTable(pathOfQuery(sql), keepRows);
}

QString DBaseConnection::pathOfQuery(const QString& sql) const {
    requireOpen();
    const auto table = tableOfSelectAll(sql);
    if (!table) {
        throw DaoError(DaoError::BadQuery,
                       QStringLiteral("Only \"SELECT * FROM [table]\" can be run on dBase "
                                      "tables, not: %1")
                           .arg(sql));
    }
    return tablePath(*table);
}

void DBaseConnection::requireOpen() const {
    if (!open_) {
        throw DaoError(DaoError::NotOpen,
                       QStringLiteral("Operation is not allowed when the object is closed."));
    }
}

QStringList DBaseConnection::tableFiles() const {
    const QDir folder(folder_);
    if (!folder.exists()) {
        throw DaoError(DaoError::OpenFailed,
                       QStringLiteral("The folder \"%1\" does not exist.").arg(folder_));
    }
    return folder.entryList({QLatin1Char('*') + kTableExtension}, QDir::Files,
                            QDir::Name | QDir::IgnoreCase);
}

// The file of the folder that a table name in a query stands for: the name with ".dbf"
// added when it lacks it, else as given; matched exactly first, then without regard to
// letter case.
QString DBaseConnection::tablePath(const QString& table) const {
    const QDir folder(folder_);
    QStringList candidates{table};
    if (!table.endsWith(kTableExtension, Qt::CaseInsensitive)) {
        candidates.prepend(table + kTableExtension);
    }
    const bool plainName = !table.contains(QLatin1Char('/')) && table != QLatin1String(".") &&
                           table != QLatin1String("..");
    if (plainName) {
        for (const QString& candidate : candidates) {
            if (QFileInfo(folder, candidate).isFile()) return folder.filePath(candidate);
        }
        const QStringList entries = folder.entryList(QDir::Files, QDir::Name);
        for (const QString& candidate : candidates) {
            for (const QString& entry : entries) {
                if (entry.compare(candidate, Qt::CaseInsensitive) == 0) {
                    return folder.filePath(entry);
                }
            }
        }
    }
    throw DaoError(
        DaoError::NoSuchTable,
        QStringLiteral("The table \"%1\" is not a file of the folder \"%2\".").arg(table, folder_));
}

}  // namespace

std::unique_ptr<Connection> makeDBaseConnection() {
    return std::make_unique<DBaseConnection>();
}

}  // namespace keldara::dao
