#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "profiles/ProfileFile.h"
#include "support/Damage.h"
#include "support/Files.h"

using namespace keldara::profiles;

namespace {

// A text as the file holds it: a 16-bit length, then the bytes.
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

Profile roundTrip(const Profile& profile) {
    return profileFromRecord(*parseRecord(savedBytes(profile)));
}

TEST(ProfileFile, WritesTheRecordByteForByteAndReadsAHandBuiltOne) {
    const QByteArray bytes = savedBytes(sampleProfile());
    EXPECT_EQ(bytes.left(150), HeaderText + QByteArray(150 - HeaderText.size(), ' '));
    EXPECT_EQ(bytes.mid(150, 6), text("Test"));
    const int savedAtLength = quint8(bytes[156]);
    EXPECT_GT(savedAtLength, 0);
    EXPECT_EQ(bytes.mid(158 + savedAtLength), sampleTail());

    const QByteArray header = QByteArray("Some other header").leftJustified(150, '.');
    const auto record =
        parseRecord(header + text("Test") + text("1/2/2026") + sampleTail() + "junk");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->flag, -1);
    const Profile p = profileFromRecord(*record), expected = sampleProfile();
    for (auto field :
         {&Profile::sourceFile, &Profile::sourceTable, &Profile::server, &Profile::user,
          &Profile::password, &Profile::database, &Profile::targetTable, &Profile::port}) {
        EXPECT_EQ(p.*field, expected.*field);
    }
}

// Windows-1252 texts are stored as their own bytes; any other text comes back intact. Coded
// texts swap their hex digits and drop NUL.
TEST(ProfileFile, TextsKeepEveryCharacter) {
    EXPECT_EQ(SwapHexDigits(SwapHexDigits("A~\xFF\x80")), "A~\xFF\x80");
    Profile p = sampleProfile();
    p.server = QString("a") + QChar(0) + "b";
    EXPECT_EQ(recordFromProfile(p, QDateTime::currentDateTime())->server, "\x16\x26");
    EXPECT_EQ(roundTrip(p).server, "ab");

    const std::pair<QString, QByteArray> cases[] = {
        {"plain", "plain"},
        {"M\u00fcller \u20ac\u0178", "M\xFCller \x80\x9F"},
        {"/home/\u00e9l\u00e8ve/\u03a9\u4e2d.csv", {}},  // not Windows-1252: the round trip counts
        {QString(QChar(0x81)) + "A", {}},
    };
    for (const auto& [text, stored] : cases) {
        if (!stored.isEmpty()) EXPECT_EQ(encodeProfileText(text), stored) << text.toStdString();
        p.sourceFile = p.password = text;
        const Profile back = roundTrip(p);
        EXPECT_EQ(back.sourceFile + back.password, text + text);
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
    const QString path = keldara::test::writeFile(dir.filePath("a.pro"), QByteArray(1000, 'x'));
    const auto record = *recordFromProfile(sampleProfile(), QDateTime::currentDateTime());
    ASSERT_TRUE(WriteProfile(path, record));
    EXPECT_EQ(keldara::test::readAll(path), serializeRecord(record));
    EXPECT_EQ(readProfileFile(path)->server, "abc");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.pro"});
    EXPECT_FALSE(WriteProfile(dir.filePath("missing/b.pro"), record));
    EXPECT_FALSE(ReadProfile(dir.filePath("missing/b.pro")));
}

}  // namespace
