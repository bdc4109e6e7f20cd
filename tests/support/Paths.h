#pragma once

#include <QDir>
#include <QString>

namespace keldara::test {

// The project's root folder.
inline QString sourceDir() {
    return QStringLiteral(KELDARA_SOURCE_DIR);
}

// A sample file under the shared fixtures folder beside the project.
inline QString fixturePath(const QString& relative) {
    return QDir::cleanPath(sourceDir() + QStringLiteral("/../shared/fixtures/") + relative);
}

// The keldara-dump tool built beside the program.
inline QString dumpToolPath() {
    return QStringLiteral(KELDARA_DUMP_PATH);
}

}  // namespace keldara::test
