#include "platform/dao/SelectStatement.h"

#include <QRegularExpression>

namespace keldara::dao {

std::optional<QString> tableOfSelectAll(const QString& sql) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*SELECT\s+\*\s+FROM\s+(?:\[(.+)\]|`(.+)`|(\S+))\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto match = pattern.match(sql);
    if (!match.hasMatch()) return std::nullopt;
    for (int group = 1; group <= 3; ++group) {
        if (match.capturedLength(group) > 0) return match.captured(group);
    }
    return std::nullopt;
}

}  // namespace keldara::dao
