#include "TextTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include "platform/dao/Connection.h"
#include "support/Process.h"

namespace keldara::test::text {

namespace {

// Reads a file with Python's csv module and prints its records as JSON.
const char* const kPythonReader = R"PY(
import codecs, csv, io, json, re, sys
codecs.register_error('c1', lambda e: (''.join(chr(b) for b in e.object[e.start:e.end]), e.end))
path = sys.argv[1]
raw = open(path, 'rb').read()
try:
    text = raw.decode('utf-8')
    if text.startswith('\ufeff'):
        text = text[1:]
except UnicodeDecodeError:
    if raw.startswith(b'\xef\xbb\xbf'):
        raw = raw[3:]
    text = raw.decode('cp1252', errors='c1')
lines = [l for l in re.split(r'\r\n|\r|\n', text) if l != '']
first = lines[0] if lines else ''
delimiter = ',' if path.lower().endswith('.csv') else ('\t' if '\t' in first else ',')
json.dump(list(csv.reader(io.StringIO(text, newline=''), delimiter=delimiter)), sys.stdout)
)PY";

QString normalDateTimeText(QString text) {
    text.replace(QLatin1Char('T'), QLatin1Char(' '));
    if (text.size() == 16) text += QLatin1String(":00");
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return text;
}

// Whether a value read by the provider stands for the text Python read.
bool sameValue(const dao::Value& value, const QString& text) {
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
        case ValueKind::DateTime:
            return value.standardText() == normalDateTimeText(text);
        default:
            return false;
    }
}

}  // namespace

QString textConnectionString(const QString& folder, const QString& properties) {
    return QStringLiteral(
               "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1\\;Extended "
               "Properties=\"%2\"")
        .arg(folder, properties);
}

std::unique_ptr<dao::Recordset> readTextFile(const QString& folder, const QString& file,
                                             const QString& properties) {
    auto connection = dao::openConnection(textConnectionString(folder, properties));
    return connection->openRecordset(QStringLiteral("SELECT * FROM [%1]").arg(file));
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

PythonRecords readWithPython(const QString& path) {
    PythonRecords records;
    const ProcessResult result =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), QLatin1String(kPythonReader), path});
    if (result.exitCode != 0) {
        records.error = QString::fromUtf8(result.err);
        return records;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(result.out, &parseError);
    if (!document.isArray()) {
        records.error = parseError.errorString();
        return records;
    }
    for (const QJsonValue& row : document.array()) {
        QStringList fields;
        for (const QJsonValue& field : row.toArray()) fields.append(field.toString());
        records.rows.push_back(fields);
    }
    records.ok = true;
    return records;
}

void expectSameAsPython(const dao::Recordset& recordset, const PythonRecords& python,
                        const QString& what) {
    ASSERT_TRUE(python.ok) << what.toStdString() << ": " << python.error.toStdString();
    std::vector<QStringList> rows = python.rows;
    while (!rows.empty() && rows.back().isEmpty()) rows.pop_back();
    while (!rows.empty() && rows.front().isEmpty()) rows.erase(rows.begin());
    ASSERT_FALSE(rows.empty()) << what.toStdString();
    const QStringList header = rows.front();
    rows.erase(rows.begin());
    if (header.size() > 1)
        std::erase_if(rows, [](const QStringList& row) { return row.isEmpty(); });

    ASSERT_EQ(recordset.fieldCount(), header.size()) << what.toStdString();
    QSet<QString> seen;
    for (int c = 0; c < header.size(); ++c) {
        const QString name = header[c];
        if (name.trimmed().isEmpty()) {
            EXPECT_EQ(recordset.fieldInfo(c).name, QStringLiteral("F%1").arg(c + 1))
                << what.toStdString();
        } else if (!seen.contains(name.toLower())) {
            EXPECT_EQ(recordset.fieldInfo(c).name, name) << what.toStdString();
        }
        seen.insert(recordset.fieldInfo(c).name.toLower());
    }
    ASSERT_EQ(recordset.recordCount(), static_cast<long>(rows.size())) << what.toStdString();
    int failures = 0;
    for (std::size_t r = 0; r < rows.size() && failures < 10; ++r) {
        ASSERT_LE(rows[r].size(), header.size()) << what.toStdString() << " record " << r;
        for (int c = 0; c < header.size(); ++c) {
            const QString text = c < rows[r].size() ? rows[r][c] : QString();
            const dao::Value value = recordset.valueAt(static_cast<long>(r), c);
            if (!sameValue(value, text)) {
                ++failures;
                ADD_FAILURE() << what.toStdString() << " record " << r << " field "
                              << recordset.fieldInfo(c).name.toStdString() << ": Python reads \""
                              << text.toStdString() << "\", the provider "
                              << value.sqlLiteral().toStdString();
            }
        }
    }
}

std::vector<int> fieldTypes(const dao::Recordset& recordset) {
    std::vector<int> types;
    for (int c = 0; c < recordset.fieldCount(); ++c) types.push_back(recordset.fieldInfo(c).type);
    return types;
}

QStringList fieldNames(const dao::Recordset& recordset) {
    QStringList names;
    for (int c = 0; c < recordset.fieldCount(); ++c) names.append(recordset.fieldInfo(c).name);
    return names;
}

}  // namespace keldara::test::text
