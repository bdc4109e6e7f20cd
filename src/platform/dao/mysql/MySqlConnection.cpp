#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

// Placeholder until the MySql provider lands: every use reports that it is missing.
std::unique_ptr<Connection> makeMySqlConnection() {
    throw DaoError(DaoError::ProviderNotFound,
                   QStringLiteral("The MySql provider is not available in this build."));
}

}  // namespace keldara::dao
