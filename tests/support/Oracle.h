#pragma once

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "platform/dao/Recordset.h"
#include "support/Process.h"
#include "support/Readers.h"

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

// Oracle scripts print a cell as null for Null, else as Value::standardText() gives it; doubles
// compare by value, decimals without the zeros that end their fraction.
inline bool sameAsOracle(const dao::Value& mine, const QJsonValue& theirs) {
    if (mine.isNull() || !theirs.isString()) return mine.isNull() && !theirs.isString();
    const QString text = theirs.toString();
    if (mine.kind() == dao::ValueKind::Double) return mine.toDouble() == text.toDouble();
    if (mine.kind() == dao::ValueKind::Decimal)
        return withoutTrailingZeros(mine.decimalText()) == withoutTrailingZeros(text);
    return mine.standardText() == text;
}

// Compares a recordset with a table an oracle script printed: {"fields": [{"name", and where
// given "type", "size", "precision", "scale"}], "records": [[cell, ...], ...]}.
inline void expectSameAsOracle(const dao::Recordset& ours, const QJsonObject& table) {
    const QJsonArray fields = table["fields"].toArray(), records = table["records"].toArray();
    ASSERT_EQ(ours.fieldCount(), fields.size()) << fieldNames(ours).join(u',').toStdString();
    for (int i = 0; i < ours.fieldCount(); ++i) {
        const QJsonObject want = fields[i].toObject();
        const dao::FieldInfo& got = ours.fieldInfo(i);
        EXPECT_EQ(got.name, want["name"].toString());
        const std::pair<const char*, long> facts[] = {{"type", got.type},
                                                      {"size", got.definedSize},
                                                      {"precision", got.precision},
                                                      {"scale", got.numericScale}};
        for (const auto& [key, value] : facts) {
            if (want.contains(key)) {
                EXPECT_EQ(value, want[key].toInt()) << got.name.toStdString() << ' ' << key;
            }
        }
    }
    ASSERT_EQ(ours.recordCount(), records.size());
    int differences = 0;
    for (long row = 0; row < records.size() && differences < 10; ++row) {
        const QJsonArray cells = records[row].toArray();
        EXPECT_LE(cells.size(), ours.fieldCount()) << "record " << row << " has more fields";
        for (int field = 0; field < ours.fieldCount(); ++field) {
            const dao::Value mine = ours.valueAt(row, field);
            if (sameAsOracle(mine, cells.at(field))) continue;
            ++differences;
            ADD_FAILURE() << "record " << row << ", field "
                          << ours.fieldInfo(field).name.toStdString() << ": read "
                          << mine.sqlLiteral().toStdString() << ", the other reader "
                          << QJsonDocument(QJsonArray{cells.at(field)})
                                 .toJson(QJsonDocument::Compact)
                                 .constData();
        }
    }
}

// Compares every sheet of a workbook with what the oracle script printed for it
// ({"tables": [{"name", "fields", "records"}, ...]}), the tables listed in the same order. The
// records are compared after the connection is closed: they must outlive their workbook.
inline void expectWorkbookAsOracle(std::unique_ptr<dao::Connection> connection,
                                   const QStringList& oracleCommand) {
    const QJsonArray tables = oracleOutput(oracleCommand)["tables"].toArray();
    ASSERT_FALSE(tables.isEmpty());
    QStringList names;
    for (const QJsonValue table : tables) names << table["name"].toString();
    ASSERT_EQ(tableNames(*connection), names);
    std::vector<std::unique_ptr<dao::Recordset>> records;
    for (const QString& table : names) records.push_back(selectAll(*connection, table));
    connection.reset();
    for (qsizetype i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        expectSameAsOracle(*records[static_cast<std::size_t>(i)], tables[i].toObject());
    }
}

}  // namespace keldara::test
