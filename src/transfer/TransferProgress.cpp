#include "transfer/TransferProgress.h"

#include <algorithm>

namespace keldara::transfer {

QString lostConnectionText(const TransferResult& result) {
    if (result.lostAfterLastRecord) {
        return QStringLiteral(
                   "the connection to the server was lost (%1) after the last record was "
                   "sent, while the run was being committed: records 1 to %2 may or may not "
                   "have been written")
            .arg(result.errorDescription, QString::number(result.inFlightLast));
    }
    if (result.undone) {
        return QStringLiteral(
                   "the connection to the server was lost (%1): the run's "
                   "transaction is undone and the table holds what it held before")
            .arg(result.errorDescription);
    }
    const long first = result.endedAtRecord;
    const long last = std::max(result.inFlightLast, first);
    const QString skipped =
        result.recordsRefused > 0
            ? QStringLiteral(" but for the %1 refused and listed").arg(result.recordsRefused)
            : QString();
    const QString before =
        first > 1 ? QStringLiteral("records 1 to %1 are written%2, ").arg(first - 1).arg(skipped)
                  : QString();
    const QString inFlight = first == last ? QStringLiteral(
                                                 "record %1 may or may not have been "
                                                 "written")
                                                 .arg(first)
                                           : QStringLiteral(
                                                 "records %1 to %2 may or may not have "
                                                 "been written")
                                                 .arg(first)
                                                 .arg(last);
    return QStringLiteral("the connection to the server was lost (%1): ")
               .arg(result.errorDescription) +
           before + inFlight +
           (first == last ? QStringLiteral(", and the records after it were not sent")
                          : QStringLiteral(", and the records after them were not sent"));
}

}  // namespace keldara::transfer
