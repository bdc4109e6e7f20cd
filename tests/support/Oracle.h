#pragma once

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QStringList>
#include <functional>
#include <string>

#include "platform/dao/Recordset.h"
#include "support/Process.h"

namespace keldara::test {

// What an independent reader (a Python script given by its file or its text) printed as JSON.
inline QJsonDocument oracleOutput(const QStringList& arguments) {
    const ProcessResult run = runProcess(QStringLiteral("/usr/bin/python3"), arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    return QJsonDocument::fromJson(run.out);
}

// A number's text without the zeros that end its fraction ("18.50" is "18.5", "-0.0" is "0").
inline QString withoutTrailingZeros(QString text) {
    if (text.contains(u'.')) {
        while (text.endsWith(u'0')) text.chop(1);
        if (text.endsWith(u'.')) text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// Compares a recordset with the `records` an independent reader gave, cell by cell through
// `same`, whose failure message shows the other reader's cell; reports the first differences.
inline void expectSameRecords(
    const dao::Recordset& ours, long records,
    const std::function<::testing::AssertionResult(long row, int field, const dao::Value&)>& same) {
    ASSERT_EQ(ours.recordCount(), records);
    int differences = 0;
    for (long row = 0; row < records && differences < 10; ++row) {
        for (int field = 0; field < ours.fieldCount(); ++field) {
            const dao::Value mine = ours.valueAt(row, field);
            const ::testing::AssertionResult result = same(row, field, mine);
            if (result) continue;
            ++differences;
            ADD_FAILURE() << "record " << row << ", field "
                          << ours.fieldInfo(field).name.toStdString() << ": read "
                          << mine.sqlLiteral().toStdString() << ", the other reader "
                          << result.message();
        }
    }
}

}  // namespace keldara::test
