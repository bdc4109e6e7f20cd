#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dao/Connection.h"
#include "platform/dao/TypeCodes.h"
#include "support/Paths.h"
#include "support/Process.h"

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
inline std::vector<QStringList> readWithPython(const QString& path) {
    static const char* const kPythonReader = R"PY(
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
)PY";
    const ProcessResult result =
        runProcess("/usr/bin/python3", {"-c", QLatin1String(kPythonReader), path});
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    std::vector<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(result.out).array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray()) fields.append(field.toString());
        rows.push_back(fields);
    }
    return rows;
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
            if (normal.contains(QLatin1Char('.'))) {
                while (normal.endsWith(QLatin1Char('0'))) normal.chop(1);
                if (normal.endsWith(QLatin1Char('.'))) normal.chop(1);
            }
            return value.standardText() == normal;
        }
        default:
            return false;
    }
}

// Checks a recordset against Python's records of the same file cell by cell, allowing for what
// the provider does by design: typed values, Null for empty fields, F1.. for blank names,
// blank lines dropped.
inline void expectSameAsPython(const dao::Recordset& recordset, const QString& path) {
    const std::string what = path.toStdString();
    std::vector<QStringList> rows = readWithPython(path);
    while (!rows.empty() && rows.back().isEmpty()) rows.pop_back();
    while (!rows.empty() && rows.front().isEmpty()) rows.erase(rows.begin());
    ASSERT_FALSE(rows.empty()) << what;
    const QStringList header = rows.front();
    rows.erase(rows.begin());
    if (header.size() > 1)
        std::erase_if(rows, [](const QStringList& row) { return row.isEmpty(); });

    ASSERT_EQ(recordset.fieldCount(), header.size()) << what;
    QSet<QString> seen;
    for (int c = 0; c < header.size(); ++c) {
        if (header[c].trimmed().isEmpty()) {
            EXPECT_EQ(recordset.fieldInfo(c).name, QStringLiteral("F%1").arg(c + 1)) << what;
        } else if (!seen.contains(header[c].toLower())) {
            EXPECT_EQ(recordset.fieldInfo(c).name, header[c]) << what;
        }
        seen.insert(recordset.fieldInfo(c).name.toLower());
    }
    ASSERT_EQ(recordset.recordCount(), static_cast<long>(rows.size())) << what;
    int failures = 0;
    for (std::size_t r = 0; r < rows.size() && failures < 10; ++r) {
        ASSERT_LE(rows[r].size(), header.size()) << what << " record " << r;
        for (int c = 0; c < header.size(); ++c) {
            const QString text = c < rows[r].size() ? rows[r][c] : QString();
            const dao::Value value = recordset.valueAt(static_cast<long>(r), c);
            if (!sameValue(value, text)) {
                ++failures;
                ADD_FAILURE() << what << " record " << r << " field "
                              << recordset.fieldInfo(c).name.toStdString() << ": Python reads \""
                              << text.toStdString() << "\", the provider "
                              << value.sqlLiteral().toStdString();
            }
        }
    }
}

}  // namespace keldara::test::text
