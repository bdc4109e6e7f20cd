#include <gtest/gtest.h>

#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"

using namespace keldara::dao;

namespace {

Recordset numbers(int rows) {
    Recordset rs({{"n", adType::Integer, 4}, {"label", adType::VarWChar, 10}});
    for (int i = 1; i <= rows; ++i) {
        const Value row[] = {Value::integer(i), Value::text(QString("row %1").arg(i))};
        rs.appendRow(row);
    }
    return rs;
}

TEST(Recordset, EmptyOrClosedRecordsetsRefuseToMove) {
    Recordset empty = numbers(0), closed = numbers(2);
    EXPECT_TRUE(empty.bof() && empty.eof());
    EXPECT_EQ(empty.recordCount(), 0);
    closed.close();
    EXPECT_FALSE(closed.isOpen());
    EXPECT_THROW(closed.close(), DaoError);
    for (Recordset* rs : {&empty, &closed}) {
        EXPECT_THROW(rs->moveFirst(), DaoError);
        EXPECT_THROW(rs->moveLast(), DaoError);
        EXPECT_THROW(rs->moveNext(), DaoError);
        EXPECT_THROW(rs->value(0), DaoError);
    }
}

TEST(Recordset, WalksForwardAndBackPastBothEnds) {
    Recordset rs = numbers(3);
    EXPECT_FALSE(rs.bof());
    EXPECT_EQ(rs.absolutePosition(), 1);
    std::vector<long> seen;
    while (!rs.eof()) {
        seen.push_back(rs.field(0).value.toInt());
        rs.moveNext();
    }
    EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
    EXPECT_EQ(rs.absolutePosition(), Recordset::AdPosEOF);
    EXPECT_THROW(rs.moveNext(), DaoError);
    EXPECT_THROW(rs.field(0), DaoError);
    rs.movePrevious();
    EXPECT_EQ(rs.value(1).toText(), "row 3");
    rs.moveFirst();
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_EQ(rs.absolutePosition(), Recordset::AdPosBOF);
    EXPECT_THROW(rs.movePrevious(), DaoError);
    rs.moveLast();
    EXPECT_EQ(rs.absolutePosition(), 3);
    rs.setAbsolutePosition(2);
    EXPECT_EQ(rs.value(0).toInt(), 2);
    EXPECT_THROW(rs.setAbsolutePosition(4), DaoError);
}

TEST(Recordset, KeepsEveryKindOfValueExactly) {
    const std::vector<Value> values = {
        Value::null(),
        Value::boolean(true),
        Value::integer(-9007199254740993LL),
        Value::floating(0.1),
        Value::decimal("-922337203685477.5808"),
        Value::date(100, 1, 1),
        Value::time(23, 59, 59, 999999),
        Value::dateTime({9999, 12, 31, 23, 59, 59, 0}),
        Value::text(QString::fromUtf8("漢字 \t\n ünï")),
        Value::text(QString()),
        Value::bytes(QByteArray("\x00\xff\x01", 3)),
    };
    Recordset rs({{"v", adType::Variant, 0}});
    for (const Value& v : values) rs.appendRow(std::span(&v, 1));
    ASSERT_EQ(rs.recordCount(), static_cast<long>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(rs.valueAt(static_cast<long>(i), 0), values[i]) << i;
    }
    // An empty text is not Null.
    EXPECT_FALSE(rs.valueAt(9, 0).isNull());
}

}  // namespace
