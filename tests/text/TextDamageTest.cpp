#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "TextTestSupport.h"
#include "platform/dao/DaoError.h"
#include "support/Damage.h"

namespace keldara::test::text {
namespace {

// Reads every damaged copy of a file; each gives a recordset or a DaoError naming the copy.
void readDamagedCopies(const QString& original, int copies) {
    QTemporaryDir dir;
    const QString copyName = QFileInfo(original).fileName();
    const QString copy = dir.filePath(copyName);
    auto connection = dao::openConnection(textConnectionString(dir.path()));
    const int tried = forEachDamagedCopy(original, copy, copies, [&](const QString& what) {
        try {
            const auto recordset =
                connection->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(copyName));
            for (long r = 0; r < recordset->recordCount(); ++r) {
                for (int c = 0; c < recordset->fieldCount(); ++c) recordset->valueAt(r, c);
            }
        } catch (const dao::DaoError& error) {
            EXPECT_TRUE(error.description().contains(copy))
                << what.toStdString() << ": " << error.description().toStdString();
        }
    });
    EXPECT_EQ(tried, copies);
}

class DamagedFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedFixture, GivesRecordsOrAnErrorNeverACrash) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    KELDARA_SKIP_WITHOUT_FIXTURE(file.filePath());
    // Fewer copies of the large files keep the sweep quick.
    readDamagedCopies(file.absoluteFilePath(), file.size() > 200000 ? 40 : 160);
}

INSTANTIATE_TEST_SUITE_P(AllFixtures, DamagedFixture, ::testing::ValuesIn(sampleTextFiles()),
                         sampleTestName);

TEST(DamagedGenerated, QuotedMultiLineAndUtf16FilesSurviveDamage) {
    QTemporaryDir dir;
    QByteArray quoted = "id,\"na\"\"me\",when\r\n";
    for (int i = 0; i < 40; ++i) {
        quoted += QByteArray::number(i) + ",\"line one\r\nline \"\"two\"\", \xC3\xA9\"," +
                  "2024-01-" + QByteArray::number(10 + i % 18) + " 10:00:0" +
                  QByteArray::number(i % 10) + "\r";
    }
    writeBytes(dir.filePath("quoted.csv"), quoted);
    readDamagedCopies(dir.filePath("quoted.csv"), 200);

    const QString utf16Text = QStringLiteral("a\tb\r\n1\t\u00FC\u20AC\r\n2\t\U0001F600\r\n");
    writeBytes(
        dir.filePath("u16.txt"),
        QByteArray("\xFF\xFE", 2) +
            QByteArray(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2));
    readDamagedCopies(dir.filePath("u16.txt"), 60);
}

TEST(DamagedGenerated, RandomBytesGiveRecordsOrAnError) {
    QTemporaryDir dir;
    auto connection = dao::openConnection(textConnectionString(dir.path()));
    QRandomGenerator random(4);
    const QByteArray alphabet("\",\t\r\n ax0.-\xC3\xA9\xFF\xEF\xBB\xBF", 18);
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random.bounded(200)), '\0');
        for (char& b : bytes) b = alphabet[static_cast<qsizetype>(random.bounded(alphabet.size()))];
        writeBytes(dir.filePath("random.txt"), bytes);
        try {
            connection->openRecordset(QStringLiteral("SELECT * FROM [random.txt]"));
        } catch (const dao::DaoError&) {
        }
    }
}

// Wide headers: up to 16384 fields are read, with unique names, in bounded time and
// memory; a wider record is refused with its field count.
TEST(AdversarialHeaders, WideHeadersAreReadOrRefusedWithTheFieldCount) {
    const struct {
        const char* name;
        QByteArray header;
        std::string outcome;  // the last field's name, or the count the error names
    } cases[] = {
        {"blank.csv", QByteArray(16383, ','), "read: F16384"},
        {"equal.csv", QByteArray("a,").repeated(16383) + "a", "read: a_16384"},
        {"wider.csv", QByteArray(16384, ','), "16385 fields"},
        {"huge.csv", QByteArray(4 << 20, ','), "4194305 fields"},
    };
    QTemporaryDir dir;
    auto connection = dao::openConnection(textConnectionString(dir.path()));
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        writeBytes(dir.filePath(name), c.header + "\r\n1\r\n");
        const std::string outcome = outcomeUnderLimits(
            [&] {
                const auto records =
                    connection->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(name));
                return records->fieldInfo(records->fieldCount() - 1).name.toStdString();
            },
            256, 20);
        if (c.outcome.starts_with("read: ")) {
            EXPECT_EQ(outcome, c.outcome) << c.name;
        } else {
            EXPECT_TRUE(outcome.starts_with("error: ") &&
                        outcome.find(dir.filePath(name).toStdString()) != std::string::npos &&
                        outcome.find(c.outcome) != std::string::npos)
                << c.name << ": " << outcome;
        }
    }
}

}  // namespace
}  // namespace keldara::test::text
