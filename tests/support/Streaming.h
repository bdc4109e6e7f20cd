#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace keldara::test {

// Opens both tables and expects the same of them: the same fields, notes and records value
// for value, or the same error.
inline void expectSameTables(const std::function<std::unique_ptr<dao::Recordset>()>& openExpected,
                             const std::function<std::unique_ptr<dao::Recordset>()>& openActual) {
    const auto open = [](const auto& opener, QString& error) -> std::unique_ptr<dao::Recordset> {
        try {
            return opener();
        } catch (const dao::DaoError& e) {
            error = e.description();
            return nullptr;
        }
    };
    QString expectedError, actualError;
    const auto expected = open(openExpected, expectedError);
    const auto actual = open(openActual, actualError);
    ASSERT_EQ(actualError.toStdString(), expectedError.toStdString());
    if (!expected) return;
    ASSERT_EQ(actual->fieldCount(), expected->fieldCount());
    for (int f = 0; f < expected->fieldCount(); ++f) {
        const dao::FieldInfo& mine = actual->fieldInfo(f);
        const dao::FieldInfo& theirs = expected->fieldInfo(f);
        EXPECT_TRUE(mine.name == theirs.name && mine.type == theirs.type &&
                    mine.definedSize == theirs.definedSize && mine.precision == theirs.precision &&
                    mine.numericScale == theirs.numericScale &&
                    actual->fieldNote(f) == expected->fieldNote(f))
            << "field " << f << ": " << mine.name.toStdString();
    }
    ASSERT_EQ(actual->recordCount(), expected->recordCount());
    for (long row = 0; row < expected->recordCount(); ++row) {
        for (int f = 0; f < expected->fieldCount(); ++f) {
            const dao::Value mine = actual->valueAt(row, f);
            const dao::Value theirs = expected->valueAt(row, f);
            ASSERT_TRUE(mine == theirs) << "record " << row + 1 << ", field " << f << ": "
                                        << mine.sqlLiteral().toStdString() << " instead of "
                                        << theirs.sqlLiteral().toStdString();
        }
    }
}

// Reads `table` loaded and streamed (the stream keeping as few records as it can) and
// expects the same.
inline void expectStreamedAsLoaded(dao::Connection& connection, const QString& table) {
    SCOPED_TRACE(table.toStdString());
    const QString sql = QStringLiteral("SELECT * FROM [") + table + u']';
    expectSameTables([&] { return connection.openRecordset(sql); },
                     [&] { return connection.openStreamedRecordset(sql, 1); });
}

}  // namespace keldara::test
