// Every .dbf sample file, read through the provider and compared value by value with
// python3-dbfread, an independent reader.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

#include "DbfTestSupport.h"
#include "platform/dao/TypeCodes.h"
#include "support/Oracle.h"

using namespace keldara::dao;
using namespace keldara::test;
using namespace keldara::test::dbf;

namespace {

// Prints every table as JSON: its fields (without the hidden null flags) and the values of
// its live records, each as its Python type and text. A table without a language driver id
// is decoded as Windows-1252, the rule of the provider; otherwise dbfread picks the code page.
constexpr const char* kDbfreadScript = R"PY(
import sys, json, datetime, codecs, dbfread

# Bytes that Windows-1252 leaves undefined decode to the character of the same number, as
# Windows decodes them (Python's codec refuses them).
codecs.register_error('same_number', lambda e: (e.object[e.start:e.end].decode('latin-1'), e.end))

def encode(v):
    if v is None: return None
    if isinstance(v, datetime.datetime): return ['datetime', v.isoformat(' ', 'microseconds')]
    return [type(v).__name__, v.hex().upper() if isinstance(v, bytes) else str(v)]

out = {}
for path in sys.argv[1:]:
    with open(path, 'rb') as f:
        ldid = f.read(32)[29]
    try:
        table = dbfread.DBF(path, encoding='cp1252' if ldid == 0 else None, recfactory=None,
                            char_decode_errors='same_number')
        keep = [i for i, f in enumerate(table.fields) if f.type != '0']
        fields = [vars(table.fields[i]) for i in keep]
        records = [[encode(items[i][1]) for i in keep] for items in table]
        out[path] = {'signature': table.header.dbversion, 'fields': fields, 'records': records}
    except Exception as e:
        out[path] = {'error': type(e).__name__ + ': ' + str(e)}
print(json.dumps(out, default=repr))
)PY";

const QJsonObject& dbfreadResults() {
    static const QJsonObject results = [] {
        QStringList arguments{QStringLiteral("-c"), QString::fromUtf8(kDbfreadScript)};
        for (const std::string& table : sampleTables()) {
            arguments << fixturePath(QString::fromStdString(table));
        }
        return oracleOutput(arguments).object();
    }();
    return results;
}

// Whether the provider's value is the one dbfread gives.
bool sameValue(const Value& ours, const QJsonValue& theirs) {
    if (theirs.isNull()) return ours.isNull();
    const QString tag = theirs[0].toString();
    const QString v = theirs[1].toString();
    switch (ours.kind()) {
        case ValueKind::Text:
            return tag == "str" && ours.toText() == v;
        case ValueKind::Boolean:
            return tag == "bool" && (ours.toBool() ? "True" : "False") == v;
        case ValueKind::Integer:
            return tag == "int" && QString::number(ours.toInt()) == v;
        case ValueKind::Double:
            return tag == "float" && ours.toDouble() == v.toDouble();
        case ValueKind::Decimal:
            if (tag == "float") return ours.decimalText().toDouble() == v.toDouble();
            return (tag == "int" || tag == "Decimal") &&
                   withoutTrailingZeros(ours.decimalText()) == withoutTrailingZeros(v);
        case ValueKind::Date:
            return tag == "date" && isoDateText(ours.toDateTime()) == v;
        case ValueKind::DateTime: {
            const DateTime dt = ours.toDateTime();
            return tag == "datetime" &&
                   QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%06d", dt.year, dt.month,
                                     dt.day, dt.hour, dt.minute, dt.second, dt.microsecond) == v;
        }
        case ValueKind::Bytes:
            return tag == "bytes" && ours.toBytes().toHex().toUpper() == v.toLatin1();
        default:
            return false;
    }
}

// dBase IV memo blocks store their length counting the 8-byte block header; dbfread reads
// that many bytes after the header (then cuts at the first 0x1F), so it returns up to 8
// bytes from beyond the memo's end. There the true value is the start of what it gives.
bool isDBaseIVMemoOverread(int signature, const QJsonObject& field, const Value& ours,
                           const QJsonValue& theirs) {
    const QString text = theirs[1].toString();
    return signature == 0x8B && field.value("type").toString() == "M" && theirs[0] == "str" &&
           ours.kind() == ValueKind::Text && text.startsWith(ours.toText()) &&
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

class DbfFixture : public testing::TestWithParam<std::string> {};

TEST_P(DbfFixture, MatchesDbfreadValueByValue) {
    const QFileInfo file(fixturePath(QString::fromStdString(GetParam())));
    const QJsonObject reference = dbfreadResults().value(file.filePath()).toObject();
    if (reference.contains("error")) {  // the table without its memo file: dbfread refuses it
        try {
            readTable(file.path(), file.fileName());
            ADD_FAILURE() << "read although dbfread says "
                          << reference.value("error").toString().toStdString();
        } catch (const DaoError& error) {
            EXPECT_EQ(error.number(), DaoError::BadFile);
            EXPECT_TRUE(error.description().contains(file.completeBaseName() + ".fpt") &&
                        error.description().contains("missing"))
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
        const std::string name = info.name.toStdString();
        EXPECT_EQ(info.name, field.value("name").toString());
        EXPECT_EQ(info.type, expectedType(field)) << name;
        if (info.type == adType::Char || info.type == adType::Numeric) {
            EXPECT_EQ(info.definedSize, field.value("length").toInt()) << name;
        }
        if (info.type == adType::Numeric) {
            EXPECT_EQ(info.precision, field.value("length").toInt()) << name;
            EXPECT_EQ(info.numericScale, field.value("decimal_count").toInt()) << name;
        }
    }
    expectSameRecords(*records, rows.size(), [&](long row, int column, const Value& ours) {
        const QJsonValue theirs = rows[row].toArray()[column];
        if (sameValue(ours, theirs) ||
            isDBaseIVMemoOverread(reference.value("signature").toInt(), fields[column].toObject(),
                                  ours, theirs)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << QJsonDocument(QJsonArray{theirs}).toJson(QJsonDocument::Compact).constData();
    });
}

INSTANTIATE_TEST_SUITE_P(AllSampleTables, DbfFixture, testing::ValuesIn(sampleTables()),
                         sampleTestName);

TEST(DbfFixtureFacts, TrueValuesWhereDbfreadFallsShort) {
    const struct {
        const char* table;
        long row;
        int column;
        Value value;
    } facts[] = {
        // dBase IV memos end where their stored length says, without NUL bytes.
        {"yellowfeather__DbfDataReader/client.dbf", 0, 9,
         Value::text("85-200  08/02/85\r\n    C-300-400 BOOK CASE                535.00 1\r\n")},
        {"infused__dbf/dbase_8b.dbf", 7, 5, Value::text("Eigth memo")},
        // Currency keeps its four decimals (dbfread gives -20).
        {"yellowfeather__DbfDataReader/foxpro_currency_01.dbf", 0, 1, Value::decimal("-20.0000")},
    };
    for (const auto& fact : facts) {
        const QFileInfo file(fixturePath(QStringLiteral("dbf/") + fact.table));
        EXPECT_EQ(readTable(file.path(), file.fileName())->valueAt(fact.row, fact.column),
                  fact.value)
            << fact.table;
    }
}

}  // namespace
