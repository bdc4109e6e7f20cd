#include <gtest/gtest.h>

#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;

// Columns start with four-byte payloads and widen when a value needs eight; texts fill
// several blocks of the column's text store. Every value must come back as it went in.
TEST(RecordsetStorage, KeepsValuesAcrossWideningAndManyTexts) {
    std::vector<Value> values;
    for (int i = 0; i < 20000; ++i) {
        values.push_back(Value::integer(-i));
        values.push_back(Value::text(QStringLiteral("Zeile %1 \u00e9").arg(i)));
        values.push_back(Value::date(2024, 1 + i % 12, 1 + i % 28));
    }
    values.push_back(Value::integer(-(std::int64_t{1} << 40)));
    values.push_back(Value::dateTime({2024, 2, 29, 23, 59, 58, 123456}));
    values.push_back(Value::text(QString::fromUtf8("\xE6\xBC\xA2 \xF0\x9F\x98\x80")));
    values.push_back(Value::text(QString()));
    values.push_back(Value::text(QString(70000, QLatin1Char('x'))));

    Recordset rs({{"v", adType::Variant, 0}});
    for (const Value& v : values) rs.appendRow(std::span(&v, 1));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Value stored = rs.valueAt(static_cast<long>(i), 0);
        ASSERT_EQ(stored, values[i]) << "row " << i;
        if (values[i].kind() == ValueKind::Text) {
            EXPECT_EQ(stored.toText().isNull(), values[i].toText().isNull()) << "row " << i;
        }
    }
}

TEST(RecordsetStorage, RefusesColumnsOfDifferentLengths) {
    std::vector<Column> columns(2);
    columns[0].append(Value::integer(1));
    EXPECT_THROW(Recordset({{"a"}, {"b"}}, std::move(columns)), std::invalid_argument);
}
