// Every .dbf sample file, read through the provider and compared value by value with
// python3-dbfread, an independent reader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <ostream>

#include "DbfTestSupport.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/TypeCodes.h"
#include "support/Paths.h"
#include "support/Process.h"

using namespace keldara::dao;
using namespace keldara::test;
using namespace keldara::test::dbf;

namespace {

// Prints every table as JSON: its fields (without the hidden null flags) and the values of
// its live records, each tagged with its Python type. A table without a language driver id
// is decoded as Windows-1252, the rule of the provider; otherwise dbfread picks the code page.
constexpr const char* kDbfreadScript = R"PY(
import sys, json, datetime, decimal, codecs, dbfread

# Bytes that Windows-1252 leaves undefined decode to the character of the same number, as
# Windows decodes them (Python's codec refuses them).
codecs.register_error('same_number', lambda e: (e.object[e.start:e.end].decode('latin-1'), e.end))

def encode(v):
    if v is None: return None
    if isinstance(v, bool): return {'bool': v}
    if isinstance(v, int): return {'int': str(v)}
    if isinstance(v, float): return {'float': repr(v)}
    if isinstance(v, decimal.Decimal): return {'dec': str(v)}
    if isinstance(v, datetime.datetime):
        return {'datetime': '%04d-%02d-%02d %02d:%02d:%02d.%06d' % (v.year, v.month, v.day,
                v.hour, v.minute, v.second, v.microsecond)}
    if isinstance(v, datetime.date): return {'date': '%04d-%02d-%02d' % (v.year, v.month, v.day)}
    if isinstance(v, bytes): return {'hex': v.hex().upper()}
    if isinstance(v, str): return {'str': v}
    raise TypeError(repr(v))

out = {}
for path in sys.argv[1:]:
    with open(path, 'rb') as f:
        ldid = f.read(32)[29]
    try:
        table = dbfread.DBF(path, encoding='cp1252' if ldid == 0 else None, recfactory=None,
                            char_decode_errors='same_number')
        keep = [i for i, f in enumerate(table.fields) if f.type != '0']
        fields = [{'name': table.fields[i].name, 'type': table.fields[i].type,
                   'length': table.fields[i].length, 'decimals': table.fields[i].decimal_count}
                  for i in keep]
        records = [[encode(items[i][1]) for i in keep] for items in table]
        out[path] = {'signature': table.header.dbversion, 'fields': fields, 'records': records}
    except Exception as e:
        out[path] = {'error': type(e).__name__ + ': ' + str(e)}
print(json.dumps(out))
)PY";

QStringList fixtureTables() {
    QStringList tables;
    const QDir root(fixturePath(QStringLiteral("dbf")));
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir dir(root.filePath(folder));
        for (const QString& file : dir.entryList({QStringLiteral("*.dbf")}, QDir::Files)) {
            tables << dir.filePath(file);
        }
    }
    return tables;
}

const QJsonObject& dbfreadResults() {
    static const QJsonObject results = [] {
        const ProcessResult run = runProcess(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral("-c"), QString::fromUtf8(kDbfreadScript)} + fixtureTables());
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        return QJsonDocument::fromJson(run.out).object();
    }();
    return results;
}

// Numbers compared by value: "18.0000" and "18", "-0.50" and "-0.5" are the same.
QString normalDecimal(QString text) {
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

QString dateTimeText(const DateTime& dt) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%06d", dt.year, dt.month, dt.day,
                             dt.hour, dt.minute, dt.second, dt.microsecond);
}

// Whether the provider's value is the one dbfread gives; `why` says what differs.
bool sameValue(const Value& ours, const QJsonValue& theirs, QString& why) {
    why = QStringLiteral("ours %1 (kind %2), dbfread %3")
              .arg(ours.sqlLiteral())
              .arg(int(ours.kind()))
              .arg(QString::fromUtf8(
                  QJsonDocument(QJsonArray{theirs}).toJson(QJsonDocument::Compact)));
    if (theirs.isNull()) return ours.isNull();
    const QJsonObject tagged = theirs.toObject();
    const QString tag = tagged.keys().value(0);
    const QJsonValue v = tagged.value(tag);
    switch (ours.kind()) {
        case ValueKind::Text:
            return tag == "str" && ours.toText() == v.toString();
        case ValueKind::Boolean:
            return tag == "bool" && ours.toBool() == v.toBool();
        case ValueKind::Integer:
            return tag == "int" && QString::number(ours.toInt()) == v.toString();
        case ValueKind::Double:
            return tag == "float" && ours.toDouble() == v.toString().toDouble();
        case ValueKind::Decimal:
            if (tag == "float") return ours.decimalText().toDouble() == v.toString().toDouble();
            return (tag == "int" || tag == "dec") &&
                   normalDecimal(ours.decimalText()) == normalDecimal(v.toString());
        case ValueKind::Date:
            return tag == "date" && isoDateText(ours.toDateTime()) == v.toString();
        case ValueKind::DateTime:
            return tag == "datetime" && dateTimeText(ours.toDateTime()) == v.toString();
        case ValueKind::Bytes:
            return tag == "hex" && ours.toBytes().toHex().toUpper() == v.toString().toLatin1();
        default:
            return false;
    }
}

// dBase IV memo blocks store their length counting the 8-byte block header; dbfread reads
// that many bytes after the header (then cuts at the first 0x1F), so it returns up to 8
// bytes from beyond the memo's end. There the true value is the start of what it gives.
bool isDBaseIVMemoOverread(int signature, const QJsonObject& field, const Value& ours,
                           const QJsonValue& theirs) {
    if (signature != 0x8B || field.value("type").toString() != "M" || !theirs.isObject()) {
        return false;
    }
    const QString text = theirs.toObject().value("str").toString();
    return ours.kind() == ValueKind::Text && text.startsWith(ours.toText()) &&
           text.size() - ours.toText().size() <= 8;
}

int expectedType(const QJsonObject& field) {
    static const std::map<QString, int> types = {
        {"C", adType::Char},        {"N", adType::Numeric},     {"F", adType::Double},
        {"D", adType::DBDate},      {"T", adType::DBTimeStamp}, {"L", adType::Boolean},
        {"M", adType::LongVarChar}, {"I", adType::Integer},     {"Y", adType::Currency},
    };
    const auto it = types.find(field.value("type").toString());
    return it == types.end() ? -1 : it->second;
}

// A sample table, by its path under the fixtures.
struct SampleFile {
    QString path;
};

void PrintTo(const SampleFile& file, std::ostream* out) {
    *out << file.path.toStdString();
}

std::vector<SampleFile> sampleFiles() {
    std::vector<SampleFile> files;
    for (const QString& path : fixtureTables()) files.push_back({path});
    return files;
}

class DbfFixture : public testing::TestWithParam<SampleFile> {};

TEST_P(DbfFixture, MatchesDbfreadValueByValue) {
    const QFileInfo file(GetParam().path);
    const QJsonObject reference = dbfreadResults().value(file.filePath()).toObject();
    if (reference.contains("error")) {
        // dbfread refuses it: so must the provider, naming the file (the missing memo case).
        try {
            readTable(file.path(), file.fileName());
            FAIL() << "read although dbfread says "
                   << reference.value("error").toString().toStdString();
        } catch (const DaoError& error) {
            EXPECT_TRUE(error.description().contains(file.completeBaseName()))
                << error.description().toStdString();
        }
        return;
    }
    const auto records = readTable(file.path(), file.fileName());
    const QJsonArray fields = reference.value("fields").toArray();
    const QJsonArray rows = reference.value("records").toArray();
    ASSERT_EQ(records->fieldCount(), fields.size());
    ASSERT_EQ(records->recordCount(), rows.size());
    for (int column = 0; column < fields.size(); ++column) {
        const QJsonObject field = fields[column].toObject();
        const FieldInfo& info = records->fieldInfo(column);
        EXPECT_EQ(info.name, field.value("name").toString());
        EXPECT_EQ(info.type, expectedType(field)) << info.name.toStdString();
        if (info.type == adType::Char || info.type == adType::Numeric) {
            EXPECT_EQ(info.definedSize, field.value("length").toInt()) << info.name.toStdString();
        }
        if (info.type == adType::Numeric) {
            EXPECT_EQ(info.precision, field.value("length").toInt());
            EXPECT_EQ(info.numericScale, field.value("decimals").toInt());
        }
    }
    int compared = 0;
    for (int row = 0; row < rows.size(); ++row) {
        const QJsonArray values = rows[row].toArray();
        for (int column = 0; column < fields.size(); ++column) {
            const QString name = records->fieldInfo(column).name;
            QString why;
            const Value ours = records->valueAt(row, column);
            EXPECT_TRUE(sameValue(ours, values[column], why) ||
                        isDBaseIVMemoOverread(reference.value("signature").toInt(),
                                              fields[column].toObject(), ours, values[column]))
                << "record " << row << ", field " << name.toStdString() << ": "
                << why.toStdString();
            ++compared;
        }
    }
    EXPECT_EQ(compared, rows.size() * fields.size());
}

INSTANTIATE_TEST_SUITE_P(AllSampleTables, DbfFixture, testing::ValuesIn(sampleFiles()),
                         [](const testing::TestParamInfo<SampleFile>& info) {
                             return QFileInfo(info.param.path).completeBaseName().toStdString();
                         });

TEST(DbfFixtureFacts, TrueValuesWhereDbfreadFallsShort) {
    // The dBase IV memo of client.dbf ends where its stored length says, without NUL bytes.
    const auto client = readTable(fixturePath("dbf/yellowfeather__DbfDataReader"), "client.dbf");
    EXPECT_EQ(client->valueAt(0, 9).toText(),
              "85-200  08/02/85\r\n    C-300-400 BOOK CASE                535.00 1\r\n");
    const auto dBaseIV = readTable(fixturePath("dbf/infused__dbf"), "dbase_8b.dbf");
    EXPECT_EQ(dBaseIV->valueAt(7, 5).toText(), "Eigth memo");
    // Windows-1252-only characters of a table without a code page byte.
    const auto products = readTable(fixturePath("dbf/infused__dbf"), "dbase_83.dbf");
    bool ellipsis = false, caron = false;
    for (long row = 0; row < products->recordCount(); ++row) {
        const Value memo = products->valueAt(row, 11);
        if (memo.isNull()) continue;
        ellipsis = ellipsis || memo.toText().contains(QChar(0x2026));
        caron = caron || memo.toText().contains(QChar(0x0160));
    }
    EXPECT_TRUE(ellipsis);
    EXPECT_TRUE(caron);
    // Cyrillic through the code page byte 0xC9, and exact currency.
    const auto cyrillic = readTable(fixturePath("dbf/infused__dbf"), "cp1251.dbf");
    EXPECT_EQ(cyrillic->valueAt(0, 1).toText(), QString::fromUtf8("амбулаторно-поликлиническое"));
    const auto currency =
        readTable(fixturePath("dbf/yellowfeather__DbfDataReader"), "foxpro_currency_01.dbf");
    EXPECT_EQ(currency->valueAt(0, 1), Value::decimal("-20.0000"));
    // Time-only values keep the date part and the milliseconds they were stored with.
    const auto calls = readTable(fixturePath("dbf/infused__dbf"), "calls.dbf");
    EXPECT_EQ(calls->valueAt(0, 3), Value::dateTime({1899, 12, 30, 13, 35, 38, 999000}));
}

TEST(DbfFixtureFacts, MissingMemoFileIsNamed) {
    try {
        readTable(fixturePath("dbf/olemb__dbfread"), "no_memofile.dbf");
        FAIL() << "a table without its memo file was read";
    } catch (const DaoError& error) {
        EXPECT_EQ(error.number(), DaoError::BadFile);
        EXPECT_TRUE(error.description().contains("no_memofile.fpt"))
            << error.description().toStdString();
        EXPECT_TRUE(error.description().contains("missing"));
    }
}

}  // namespace
