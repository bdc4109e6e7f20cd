#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <map>

#include "platform/dao/Connection.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"
#include "support/Paths.h"

namespace keldara::test::text {

// The connection string the source side builds for a text file of `folder`.
inline QString textConnectionString(const QString& dataSource,
                                    const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"%2\"")
        .arg(dataSource, properties);
}

// Opens the folder through the provider factory and reads one of its files.
inline std::unique_ptr<dao::Recordset> readTextFile(
    const QString& folder, const QString& file,
    const QString& properties = "text;HDR=Yes;FMT=Delimited;") {
    return dao::openConnection(textConnectionString(folder + QLatin1Char('\\'), properties))
        ->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(file));
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Every sample text file, as a path relative to the fixtures ("csv/folder/file.csv").
inline std::vector<std::string> sampleTextFiles() {
    return fixtureFiles(QStringLiteral("csv"), {"*.csv", "*.tsv", "*.txt"});
}

// A test name made of `text`: letters and digits, the rest underscores.
inline std::string testNameOf(const QString& text) {
    std::string name = text.toStdString();
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

inline std::string sampleTestName(const testing::TestParamInfo<std::string>& info) {
    return testNameOf(QFileInfo(QString::fromStdString(info.param)).completeBaseName());
}

inline QStringList fieldNames(const dao::Recordset& recordset) {
    QStringList names;
    for (int c = 0; c < recordset.fieldCount(); ++c) names.append(recordset.fieldInfo(c).name);
    return names;
}

// The defined sizes the provider gives its integer and text fields.
inline void expectDefinedSize(const dao::FieldInfo& info) {
    const std::map<int, long> sizes = {{dao::adType::Integer, 4},
                                       {dao::adType::VarWChar, 255},
                                       {dao::adType::LongVarWChar, 536870910}};
    if (sizes.contains(info.type)) {
        EXPECT_EQ(info.definedSize, sizes.at(info.type)) << info.name.toStdString();
    }
}

// The records of a file as Python's csv module reads them (UTF-8 when valid, else
// Windows-1252; "," for .csv, else a tab when the first line holds one).
inline QJsonArray readWithPython(const QString& path) {
    return oracleOutput({"-c", R"PY(
import codecs, csv, io, json, re, sys
codecs.register_error('c1', lambda e: (''.join(chr(b) for b in e.object[e.start:e.end]), e.end))
path = sys.argv[1]
raw = open(path, 'rb').read()
try:
    text = raw.decode('utf-8').removeprefix('\ufeff')
except UnicodeDecodeError:
    text = raw.removeprefix(b'\xef\xbb\xbf').decode('cp1252', errors='c1')
first = next((l for l in re.split(r'\r\n|\r|\n', text) if l), '')
delimiter = ',' if path.lower().endswith('.csv') else ('\t' if '\t' in first else ',')
json.dump(list(csv.reader(io.StringIO(text, newline=''), delimiter=delimiter)), sys.stdout)
)PY",
                         path})
        .array();
}

// Whether a value read by the provider stands for the text Python read.
inline bool sameValue(const dao::Value& value, const QString& text) {
    using dao::ValueKind;
    if (text.isEmpty()) return value.isNull();
    switch (value.kind()) {
        case ValueKind::Text:
            return value.toText() == text;
        case ValueKind::Integer:
            return QString::number(value.toInt()) == text;
        case ValueKind::Double: {
            bool ok = false;
            const double expected = text.toDouble(&ok);
            return ok && expected == value.toDouble() &&
                   !text.contains(QLatin1Char('e'), Qt::CaseInsensitive);
        }
        case ValueKind::Date:
            return value.standardText() == text;
        case ValueKind::DateTime: {
            QString normal = text;
            normal.replace(QLatin1Char('T'), QLatin1Char(' '));
            if (normal.size() == 16) normal += QLatin1String(":00");
            return value.standardText() == withoutTrailingZeros(normal);
        }
        default:
            return false;
    }
}

// Checks a recordset against Python's records of the same file cell by cell, allowing for what
// the provider does by design: typed values, Null for empty fields, F1.. for blank names,
// blank lines dropped.
inline void expectSameAsPython(const dao::Recordset& recordset, const QString& path) {
    SCOPED_TRACE(path.toStdString());
    QJsonArray rows = readWithPython(path);
    while (!rows.isEmpty() && rows.last().toArray().isEmpty()) rows.removeLast();
    while (!rows.isEmpty() && rows.first().toArray().isEmpty()) rows.removeFirst();
    ASSERT_FALSE(rows.isEmpty());
    const QJsonArray header = rows.takeAt(0).toArray();
    for (qsizetype r = rows.size() - 1; r >= 0 && header.size() > 1; --r) {
        if (rows[r].toArray().isEmpty()) rows.removeAt(r);
    }
    ASSERT_EQ(recordset.fieldCount(), header.size());
    QSet<QString> seen;
    for (int c = 0; c < header.size(); ++c) {
        const QString name = header[c].toString();
        if (name.trimmed().isEmpty()) {
            EXPECT_EQ(recordset.fieldInfo(c).name, QStringLiteral("F%1").arg(c + 1));
        } else if (!seen.contains(name.toLower())) {
            EXPECT_EQ(recordset.fieldInfo(c).name, name);
        }
        seen.insert(recordset.fieldInfo(c).name.toLower());
    }
    expectSameRecords(recordset, rows.size(), [&](long r, int c, const dao::Value& value) {
        const QJsonArray row = rows[r].toArray();
        if (row.size() > header.size()) return ::testing::AssertionFailure() << "more fields";
        const QString text = row.at(c).toString();
        if (sameValue(value, text)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << '"' << text.toStdString() << '"';
    });
}

}  // namespace keldara::test::text
