#include <QLocale>
#include <algorithm>

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/SelectStatement.h"
#include "platform/dao/TypeCodes.h"
#include "platform/dao/access/JetDatabase.h"

namespace keldara::dao {

namespace {

// An Access database (.mdb, or .accdb of Access 2007 and later) behind
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;" (or Microsoft.ACE.OLEDB.12.0) with an
// optional "Jet OLEDB:Database Password=<password>".
class AccessConnection final : public Connection {
  public:
    void open(const QString& connectionString) override {
        if (database_) {
            throw DaoError(
                DaoError::General,
                QStringLiteral("The connection to %1 is already open.").arg(database_->path()));
        }
        const auto parsed = ConnectionString::parse(connectionString);
        const QString path = parsed.valueOr(QStringLiteral("Data Source"));
        if (path.isEmpty()) {
            throw DaoError(DaoError::OpenFailed,
                           QStringLiteral("The connection string names no Access database file."));
        }
        const QString password = parsed.valueOr(QStringLiteral("Jet OLEDB:Database Password"));
        database_ =
            std::make_shared<access::JetDatabase>(path, password, ansiCodePageOf(QLocale()));
    }

    bool isOpen() const override { return database_ != nullptr; }

    void close() override {
        requireOpen();
        database_.reset();
    }

    void execute(const QString& sql) override {
        requireOpen();
        throw DaoError(DaoError::BadQuery,
                       QStringLiteral("The Access database %1 is read only; the statement was not "
                                      "run: %2")
                           .arg(database_->path(), sql));
    }

    // Like the Jet provider's TABLES rowset, sorted by name.
    std::unique_ptr<Recordset> openTableCatalogue() override {
        requireOpen();
        QStringList names = database_->userTables();
        std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        return tableCatalogue(names);
    }

    std::unique_ptr<Recordset> openRecordset(const QString& sql) override {
        return database_->readTable(tableOfQuery(sql));
    }

    std::unique_ptr<Recordset> openStreamedRecordset(const QString& sql, long keepRows) override {
        return database_->readTable(tableOfQuery(sql), keepRows);
    }

  private:
    QString tableOfQuery(const QString& sql) const {
        requireOpen();
        const auto table = tableOfSelectAll(sql);
        if (!table) {
            throw DaoError(DaoError::BadQuery,
                           QStringLiteral("The Access provider of %1 reads whole tables only "
                                          "(SELECT * FROM [table]), not: %2")
                               .arg(database_->path(), sql));
        }
        return *table;
    }

    void requireOpen() const {
        if (!database_) {
            throw DaoError(
                DaoError::NotOpen,
                QStringLiteral("Operation is not allowed when the Access connection is closed."));
        }
    }

    std::shared_ptr<access::JetDatabase> database_;
};

}  // namespace

std::unique_ptr<Connection> makeAccessConnection() {
    return std::make_unique<AccessConnection>();
}

}  // namespace keldara::dao
