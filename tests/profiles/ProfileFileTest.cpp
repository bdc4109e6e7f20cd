#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "support/Damage.h"

using namespace keldara::profiles;

namespace {

QByteArray text(const QByteArray& bytes) {
    return QByteArray(1, char(bytes.size())) + '\0' + bytes;
}

Profile sampleProfile() {
    return {"C:\\data\\a.csv", "a.csv", "abc", "root", "", "db", "t", "3306"};
}

// Everything after the saved-at text of sampleProfile(), laid out by hand.
QByteArray sampleTail() {
    return text("C:\\data\\a.csv") + text("a.csv") + text("") + "\xFF\xFF" + text("\x16\x26\x36") +
           text("\x27\xF6\xF6\x47") + text("") + text("db") + text("t") +
           QByteArray("\xEA\x0C\x00\x00", 4) + text("Mappings From Here") +
           text("Mappings To Here");
}

QByteArray savedBytes(const Profile& profile) {
    return serializeRecord(*recordFromProfile(profile, QDateTime({2026, 1, 2}, {3, 4, 5})));
}

TEST(ProfileFile, WritesTheRecordByteForByte) {
    const QByteArray bytes = savedBytes(sampleProfile());
    EXPECT_EQ(bytes.left(150), HeaderText + QByteArray(150 - HeaderText.size(), ' '));
    EXPECT_EQ(bytes.mid(150, 6), text("Test"));
    const int savedAtLength = quint8(bytes[156]);
    EXPECT_GT(savedAtLength, 0);
    EXPECT_EQ(bytes.mid(158 + savedAtLength), sampleTail());
}

TEST(ProfileFile, ReadsEveryFieldOfAHandBuiltFile) {
    const QByteArray header = QByteArray("Some other header").leftJustified(150, '.');
    const QByteArray bytes = header + text("Test") + text("1/2/2026") + sampleTail() + "junk";
    const auto record = parseRecord(bytes);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->flag, -1);
    const Profile p = profileFromRecord(*record);
    const Profile expected = sampleProfile();
    for (auto field :
         {&Profile::sourceFile, &Profile::sourceTable, &Profile::server, &Profile::user,
          &Profile::password, &Profile::database, &Profile::targetTable, &Profile::port}) {
        EXPECT_EQ(p.*field, expected.*field);
    }
}

TEST(ProfileFile, CodingSwapsTheHexDigitsAndDropsNul) {
    EXPECT_EQ(SwapHexDigits("abc"), "\x16\x26\x36");
    EXPECT_EQ(SwapHexDigits(SwapHexDigits("A~\xFF\x80")), "A~\xFF\x80");
    Profile p = sampleProfile();
    p.server = QString("a") + QChar(0) + "b";
    const auto record = recordFromProfile(p, QDateTime::currentDateTime());
    EXPECT_EQ(record->server, "\x16\x26");
    EXPECT_EQ(profileFromRecord(*record).server, "ab");
}

// Windows-1252 texts are stored as their own bytes; any other text comes back intact.
TEST(ProfileFile, TextsKeepEveryCharacter) {
    struct Case {
        QString text;
        QByteArray stored;  // empty: not a Windows-1252 text, only the round trip counts
    } cases[] = {
        {"plain", "plain"},
        {QString::fromUtf8("M\u00fcller \u20ac\u0178"), "M\xFCller \x80\x9F"},
        {QString::fromUtf8("/home/\u00e9l\u00e8ve/\u03a9\u4e2d.csv"), {}},
        {QString(QChar(0x81)) + "A", {}},
    };
    for (const Case& c : cases) {
        if (!c.stored.isEmpty()) {
            EXPECT_EQ(encodeProfileText(c.text), c.stored) << c.text.toStdString();
        }
        Profile p = sampleProfile();
        p.sourceFile = p.password = c.text;
        const auto back = profileFromRecord(
            *parseRecord(serializeRecord(*recordFromProfile(p, QDateTime::currentDateTime()))));
        EXPECT_EQ(back.sourceFile, c.text);
        EXPECT_EQ(back.password, c.text);
    }
}

TEST(ProfileFile, OnlyAWholePortAndTextsThatFitAreSaved) {
    for (const char* port : {"", "abc", "-1", "65536", "33.06", "3306x", "99999999999"}) {
        EXPECT_FALSE(portNumber(port)) << port;
    }
    EXPECT_EQ(portNumber(" 3306 "), 3306);
    EXPECT_EQ(portNumber("65535"), 65535);
    Profile p = sampleProfile();
    p.sourceFile = QString(0xFFFF, 'a');
    EXPECT_TRUE(recordFromProfile(p, QDateTime::currentDateTime()));
    p.sourceFile += 'a';
    EXPECT_FALSE(recordFromProfile(p, QDateTime::currentDateTime()));
}

TEST(ProfileFile, DamagedFilesAreRefused) {
    const QByteArray bytes = savedBytes(sampleProfile());
    for (qsizetype length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(parseRecord(bytes.left(length))) << "cut at " << length;
    }
    QByteArray absurd = bytes;
    absurd.replace(150, 2, "\xFF\xFF");  // the marker's length
    EXPECT_FALSE(parseRecord(absurd));
}

TEST(ProfileFile, WriteReplacesTheFileOrLeavesItAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.pro");
    const auto record = *recordFromProfile(sampleProfile(), QDateTime::currentDateTime());
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1000, 'x'));
    old.close();
    ASSERT_TRUE(WriteProfile(path, record));
    EXPECT_EQ(keldara::test::readAll(path), serializeRecord(record));
    EXPECT_EQ(readProfileFile(path)->server, "abc");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.pro"});

    EXPECT_FALSE(WriteProfile(dir.filePath("missing/b.pro"), record));
    EXPECT_FALSE(ReadProfile(dir.filePath("missing/b.pro")));
}

}  // namespace
