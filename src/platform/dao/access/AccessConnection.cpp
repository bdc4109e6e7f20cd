#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

// Placeholder until the Access provider lands: every use reports that it is missing.
std::unique_ptr<Connection> makeAccessConnection() {
    throw DaoError(DaoError::ProviderNotFound,
                   QStringLiteral("The Access provider is not available in this build."));
}

}  // namespace keldara::dao
