#include "platform/dao/DaoError.h"
#include "platform/dao/Providers.h"

namespace keldara::dao {

// Placeholder until the Excel provider lands: every use reports that it is missing.
std::unique_ptr<Connection> makeExcelConnection() {
    throw DaoError(DaoError::ProviderNotFound,
                   QStringLiteral("The Excel provider is not available in this build."));
}

}  // namespace keldara::dao
