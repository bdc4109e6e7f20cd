#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"

namespace keldara::test {

// Reads `table` loaded and streamed (the stream keeping as few records as it can) and
// expects the same: the same fields, notes and records value for value, or the same error.
inline void expectStreamedAsLoaded(dao::Connection& connection, const QString& table) {
    SCOPED_TRACE(table.toStdString());
    const QString sql = QStringLiteral("SELECT * FROM [") + table + u']';
    const auto open = [&](bool streamed, QString& error) -> std::unique_ptr<dao::Recordset> {
        try {
            return streamed ? connection.openStreamedRecordset(sql, 1)
                            : connection.openRecordset(sql);
        } catch (const dao::DaoError& e) {
            error = e.description();
            return nullptr;
        }
    };
    QString loadedError, streamedError;
    const auto loaded = open(false, loadedError);
    const auto streamed = open(true, streamedError);
    ASSERT_EQ(streamedError.toStdString(), loadedError.toStdString());
    if (!loaded) return;
    ASSERT_EQ(streamed->fieldCount(), loaded->fieldCount());
    for (int f = 0; f < loaded->fieldCount(); ++f) {
        const dao::FieldInfo& mine = streamed->fieldInfo(f);
        const dao::FieldInfo& theirs = loaded->fieldInfo(f);
        EXPECT_TRUE(mine.name == theirs.name && mine.type == theirs.type &&
                    mine.definedSize == theirs.definedSize && mine.precision == theirs.precision &&
                    mine.numericScale == theirs.numericScale &&
                    streamed->fieldNote(f) == loaded->fieldNote(f))
            << "field " << f << ": " << mine.name.toStdString();
    }
    ASSERT_EQ(streamed->recordCount(), loaded->recordCount());
    for (long row = 0; row < loaded->recordCount(); ++row) {
        for (int f = 0; f < loaded->fieldCount(); ++f) {
            const dao::Value mine = streamed->valueAt(row, f);
            const dao::Value theirs = loaded->valueAt(row, f);
            ASSERT_TRUE(mine == theirs) << "record " << row + 1 << ", field " << f << ": "
                                        << mine.sqlLiteral().toStdString() << " instead of "
                                        << theirs.sqlLiteral().toStdString();
        }
    }
}

}  // namespace keldara::test
