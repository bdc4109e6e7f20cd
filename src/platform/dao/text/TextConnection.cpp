#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

// Placeholder until the Text provider lands: every use reports that it is missing.
std::unique_ptr<Connection> makeTextConnection() {
    throw DaoError(DaoError::ProviderNotFound,
                   QStringLiteral("The Text provider is not available in this build."));
}

}  // namespace keldara::dao
