#include "platform/dao/Connection.h"

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"
#include "platform/dao/TypeCodes.h"

namespace keldara::dao {

Connection::EachCounted Connection::executeEach(const QStringList& statements) {
    EachCounted each;
    for (const QString& statement : statements) {
        try {
            each.affected.push_back(executeCounted(statement));
        } catch (const DaoError& error) {
            each.failed = error;
            break;
        }
    }
    return each;
}

Connection::LoadedData Connection::loadLocalData(const QString&, const QByteArray&) {
    throw DaoError(DaoError::General, QStringLiteral("This connection cannot load local data."));
}

void Connection::reconnect() {
    throw DaoError(DaoError::General, QStringLiteral("This connection cannot be opened again."));
}

Connection::InsertedRows Connection::insertValueRows(const QString&, const ValueRows&) {
    throw DaoError(DaoError::General,
                   QStringLiteral("This connection cannot insert rows in one round trip."));
}

std::unique_ptr<PreparedStatement> Connection::prepare(const QString&) {
    throw DaoError(DaoError::General, QStringLiteral("This connection cannot prepare statements."));
}

std::unique_ptr<Recordset> tableCatalogue(const QStringList& names) {
    auto catalogue = std::make_unique<Recordset>(
        std::vector<FieldInfo>{{QStringLiteral("TABLE_NAME"), adType::VarWChar, 255}});
    catalogue->reserve(static_cast<std::size_t>(names.size()));
    for (const QString& name : names) {
        const Value row[] = {Value::text(name)};
        catalogue->appendRow(row);
    }
    return catalogue;
}

std::unique_ptr<Connection> createConnection(const QString& connectionString) {
    const auto kind = chooseProvider(ConnectionString::parse(connectionString));
    if (!kind) {
        throw DaoError(DaoError::ProviderNotFound,
                       QStringLiteral("No provider serves this connection string."));
    }
    switch (*kind) {
        case ProviderKind::Access:
            return makeAccessConnection();
        case ProviderKind::Excel:
            return makeExcelConnection();
        case ProviderKind::Text:
            return makeTextConnection();
        case ProviderKind::DBase:
            return makeDBaseConnection();
        case ProviderKind::MySql:
            return makeMySqlConnection();
    }
    return nullptr;
}

std::unique_ptr<Connection> openConnection(const QString& connectionString) {
    auto connection = createConnection(connectionString);
    connection->open(connectionString);
    return connection;
}

}  // namespace keldara::dao
