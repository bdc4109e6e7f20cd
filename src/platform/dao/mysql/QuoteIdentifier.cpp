#include "platform/dao/mysql/QuoteIdentifier.h"

namespace keldara::dao::mysql {

QString QuoteIdentifier(const QString& name) {
    QString inner = name;
    inner.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + inner + QLatin1Char('`');
}

}  // namespace keldara::dao::mysql
