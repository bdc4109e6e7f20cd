#include "platform/dao/Connection.h"

#include "platform/dao/ConnectionString.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

std::unique_ptr<Connection> createConnection(const QString& connectionString) {
    const auto kind = chooseProvider(ConnectionString::parse(connectionString));
    if (!kind) {
        throw DaoError(DaoError::ProviderNotFound,
                       QStringLiteral("No provider serves this connection string."));
    }
    switch (*kind) {
        case ProviderKind::Access: return makeAccessConnection();
        case ProviderKind::Excel: return makeExcelConnection();
        case ProviderKind::Text: return makeTextConnection();
        case ProviderKind::DBase: return makeDBaseConnection();
        case ProviderKind::MySql: return makeMySqlConnection();
    }
    return nullptr;
}

std::unique_ptr<Connection> openConnection(const QString& connectionString) {
    auto connection = createConnection(connectionString);
    connection->open(connectionString);
    return connection;
}

}  // namespace keldara::dao
