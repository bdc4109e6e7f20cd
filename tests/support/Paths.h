#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace keldara::test {

// The project's root folder.
inline QString sourceDir() {
    return QStringLiteral(KELDARA_SOURCE_DIR);
}

// A sample file shipped with the project (tests/data/, listed in its NOTICE.md).
inline QString dataPath(const QString& relative) {
    return QDir::cleanPath(sourceDir() + QStringLiteral("/tests/data/") + relative);
}

// The sample files without a clear license are not shipped. Tests read them from this folder:
// the one KELDARA_SHARED_FIXTURES names, else the shared fixtures folder beside the project.
inline QString sharedFixturesRoot() {
    const QString chosen = qEnvironmentVariable("KELDARA_SHARED_FIXTURES");
    return QDir::cleanPath(chosen.isEmpty() ? sourceDir() + QStringLiteral("/../shared/fixtures")
                                            : chosen);
}

// The sample files the tests use that are not shipped, relative to the fixtures folder.
inline const QStringList& unshippedFixtures() {
    static const QStringList files =
        QStringLiteral(
            "mdb/mdbtools__mdbtestdata/nwind.mdb mdb/mdbtools__mdbtestdata/DateTestDatabase.mdb "
            "mdb/statdata__Northwind-Databse/Northwind.mdb "
            "csv/BurntSushi__rust-csv/worldcitiespop.csv "
            "csv/BurntSushi__rust-csv/uspop-latin1.csv "
            "csv/lukaswhite__geonames-php/admin1CodesASCII.txt")
            .split(u' ');
    return files;
}

// A sample file (or folder) by its path under the fixtures ("mdb/owner__repo/file.mdb"): the
// shipped copy when there is one, else the one in the shared folder.
inline QString fixturePath(const QString& relative) {
    const QString shipped = dataPath(relative);
    if (QFileInfo::exists(shipped)) return shipped;
    return QDir::cleanPath(sharedFixturesRoot() + QLatin1Char('/') + relative);
}

// Why the sample file at `path` cannot be read; empty when it is there.
inline QString missingFixtureReason(const QString& path) {
    if (QFileInfo::exists(path)) return {};
    return path +
           " is missing: it is not shipped with the project (its license is unclear); set "
           "KELDARA_SHARED_FIXTURES to a folder that has it.";
}

// True when the sample file of a case is missing, noting why in `reasons` (to skip with).
inline bool leaveOutMissing(const QString& path, QStringList& reasons) {
    const QString reason = missingFixtureReason(path);
    if (!reason.isEmpty() && !reasons.contains(reason)) reasons << reason;
    return !reason.isEmpty();
}

// Every sample file under `folder` ("csv") whose name matches `patterns`, relative to the
// fixtures folder and sorted: the shipped ones and the unshipped ones, present or not.
inline std::vector<std::string> fixtureFiles(const QString& folder, const QStringList& patterns) {
    QStringList files;
    const QDir data(dataPath({}));
    QDirIterator it(dataPath(folder), patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << data.relativeFilePath(it.next());
    for (const QString& file : unshippedFixtures()) {
        if (file.startsWith(folder + QLatin1Char('/')) &&
            QDir::match(patterns, QFileInfo(file).fileName())) {
            files << file;
        }
    }
    files.sort();
    std::vector<std::string> result;
    for (const QString& file : files) result.push_back(file.toStdString());
    return result;
}

// A test name for the sample file at `path` under the fixtures: its letters and digits.
inline std::string fixtureTestName(std::string path) {
    for (char& c : path) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return path;
}

// The password of a sample database; empty when it has none.
inline QString passwordOf(const QString& file) {
    if (file.endsWith(QLatin1String("/password.mdb"))) return QStringLiteral("ucanaccess");
    return file.endsWith(QLatin1String("with-password.mdb")) ? QStringLiteral("password") : "";
}

// The keldara-dump tool built beside the program.
inline QString dumpToolPath() {
    return QStringLiteral(KELDARA_DUMP_PATH);
}

}  // namespace keldara::test

// Ends the current test as skipped when the sample file at `path` is missing.
#define KELDARA_SKIP_WITHOUT_FIXTURE(path)                                           \
    do {                                                                             \
        const QString missingReason_ = ::keldara::test::missingFixtureReason(path);  \
        if (!missingReason_.isEmpty()) GTEST_SKIP() << missingReason_.toStdString(); \
    } while (false)
