#include "support/Damage.h"

#include <QFile>
#include <QRandomGenerator>

namespace keldara::test {

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

namespace {

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

}  // namespace

int forEachDamagedCopy(const QString& originalPath, const QString& damagedPath, int copies,
                       const std::function<void(const QString& what)>& read) {
    const QByteArray original = readAll(originalPath);
    if (original.isEmpty()) return 0;
    QRandomGenerator random(static_cast<quint32>(original.size()));  // repeatable per file
    int tried = 0;
    const int half = copies / 2;
    for (int i = 0; i < half; ++i) {
        const qsizetype length = original.size() * i / half;
        writeAll(damagedPath, original.left(length));
        read(QStringLiteral("truncated to %1 bytes").arg(length));
        ++tried;
    }
    for (int i = 0; i < copies - half; ++i) {
        QByteArray damaged = original;
        const qsizetype offset = original.size() * i / (copies - half);
        const qsizetype span = std::min<qsizetype>(8, damaged.size() - offset);
        for (qsizetype k = 0; k < span; ++k) {
            damaged[offset + k] = static_cast<char>(i % 3 == 0 ? 0xFF : random.bounded(256));
        }
        writeAll(damagedPath, damaged);
        read(QStringLiteral("%1 bytes overwritten at offset %2").arg(span).arg(offset));
        ++tried;
    }
    return tried;
}

}  // namespace keldara::test
