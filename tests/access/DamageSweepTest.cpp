// Damaged copies of every sample file of every provider give records or an error naming the
// file: never a crash, a hang or a memory fault (scripts/test.sh runs this under ASan too).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/dao/DaoError.h"
#include "support/Damage.h"
#include "support/Paths.h"
#include "support/Readers.h"

using namespace keldara::dao;
using namespace keldara::test;

namespace {

struct Provider {
    const char* folder;  // of the sample files
    QStringList patterns;
    int copies, copiesOfLarge;  // of each file, of each file over 200 kB
    int refusedAtLeast;         // of the copies of each file
    QString connection;         // to the copy: {folder}, {file}, {password}
};

const QString kJet = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source={folder}");
const QString kAce =
    QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source={folder}/{file}");
const QString kDbf =
    QStringLiteral("Driver=Microsoft Visual Foxpro Driver;SourceType=DBF;SourceDB={folder}");
const QString kXlsx = kJet + "/{file};Extended Properties=\"Excel 12.0 Xml;\"";
const QString kOds = kJet + "/{file};Extended Properties=\"OpenDocument Spreadsheet;\"";
const QString kText = kJet + "\\;Extended Properties=\"text;HDR=Yes;FMT=Delimited;\"";
const Provider kProviders[] = {
    {"mdb", {"*.mdb"}, 120, 120, 30, kJet + "/{file};Jet OLEDB:Database Password={password}"},
    {"accdb", {"*.accdb"}, 120, 120, 30, kAce},
    {"xls", {"*.xls"}, 120, 120, 1, kJet + "/{file};Extended Properties=Excel 8.0;"},
    {"xlsx", {"*.xlsx", "*.xlsm"}, 40, 40, 1, kXlsx},
    {"ods", {"*.ods"}, 60, 60, 1, kOds},
    {"dbf", {"*.dbf"}, 160, 160, 1, kDbf},
    {"csv", {"*.csv", "*.tsv", "*.txt"}, 160, 40, 0, kText},
};

using Sample = std::pair<const Provider*, std::string>;  // and a file under the fixtures folder

std::vector<Sample> allSamples() {
    std::vector<Sample> samples;
    for (const Provider& provider : kProviders) {
        for (const std::string& file : fixtureFiles(provider.folder, provider.patterns))
            samples.push_back({&provider, file});
    }
    return samples;
}

// Reads the way the source side does: the catalogue, then every value of every table.
void readEverything(const QString& connectionString) {
    const auto connection = openConnection(connectionString);
    for (const QString& table : tableNames(*connection)) {
        const auto records = selectAll(*connection, table);
        for (long row = 0; row < records->recordCount(); ++row) {
            for (int column = 0; column < records->fieldCount(); ++column)
                records->valueAt(row, column).sqlLiteral();
        }
    }
}

class DamagedSample : public ::testing::TestWithParam<Sample> {};

// Each file of the sample (a table and its memo file) is damaged in turn, the others intact.
TEST_P(DamagedSample, GivesRecordsOrAnErrorNamingTheFile) {
    const Provider& provider = *GetParam().first;
    const QFileInfo sample(fixturePath(QString::fromStdString(GetParam().second)));
    KELDARA_SKIP_WITHOUT_FIXTURE(sample.filePath());
    const QFileInfoList files = sample.dir().entryInfoList({sample.completeBaseName() + ".*"},
                                                           QDir::Files | QDir::Readable);
    QTemporaryDir dir;
    const auto copyIntact = [&](const QFileInfo& file) {
        const QString copy = dir.filePath(file.fileName());
        QFile::remove(copy);
        QFile::copy(file.filePath(), copy);
        QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    for (const QFileInfo& file : files) copyIntact(file);
    const QString connection =
        QString(provider.connection)
            .replace(QLatin1String("{folder}"), dir.path())
            .replace(QLatin1String("{file}"), sample.fileName())
            .replace(QLatin1String("{password}"), passwordOf(sample.filePath()));
    const int copies = sample.size() > 200000 ? provider.copiesOfLarge : provider.copies;
    for (const QFileInfo& victim : files) {
        if (victim.suffix().compare(sample.suffix(), Qt::CaseInsensitive) != 0 &&
            !QStringList{"fpt", "dbt"}.contains(victim.suffix().toLower())) {
            continue;
        }
        const QString named = dir.filePath(victim.completeBaseName());
        int refused = 0;
        const int tried = forEachDamagedCopy(
            victim.filePath(), dir.filePath(victim.fileName()), copies, [&](const QString& what) {
                try {
                    readEverything(connection);
                } catch (const DaoError& error) {
                    ++refused;
                    EXPECT_TRUE(error.description().contains(named))
                        << what.toStdString() << ": " << error.description().toStdString();
                }
            });
        EXPECT_EQ(tried, copies);
        copyIntact(victim);
        EXPECT_GE(refused, provider.refusedAtLeast) << victim.fileName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(EverySampleOfEveryProvider, DamagedSample,
                         ::testing::ValuesIn(allSamples()),
                         [](const auto& info) { return fixtureTestName(info.param.second); });

}  // namespace
