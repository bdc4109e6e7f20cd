#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

// Placeholder until the DBase provider lands: every use reports that it is missing.
std::unique_ptr<Connection> makeDBaseConnection() {
    throw DaoError(DaoError::ProviderNotFound,
                   QStringLiteral("The DBase provider is not available in this build."));
}

}  // namespace keldara::dao
