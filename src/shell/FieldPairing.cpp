#include "shell/FieldPairing.h"

namespace keldara::shell {

int FindNameIndex(const QStringList& list, const QString& name) {
    const QString wanted = name.toUpper();
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].toUpper() == wanted) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace keldara::shell
