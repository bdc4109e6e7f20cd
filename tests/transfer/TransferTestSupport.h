#pragma once

#include <QStringList>
#include <functional>
#include <type_traits>

#include "platform/dao/Connection.h"
#include "platform/dao/DaoError.h"
#include "platform/dao/Recordset.h"
#include "platform/dao/TypeCodes.h"
#include "transfer/Transfer.h"
#include "transfer/TransferProgress.h"

namespace keldara::test {

// Records what a run reports; asks to stop once `stopAfterRecords` records are done.
struct RecordingProgress : transfer::TransferProgress {
    QStringList statuses;
    long maximum = -1;
    long value = -1;
    long stopAfterRecords = -1;
    long recordsSeen = 0;

    void setStatusText(const QString& text) override { statuses << text; }
    void setProgressMaximum(long m) override { maximum = m; }
    void setProgressValue(long v) override { value = v; }
    bool stopRequested() override { return ++recordsSeen == stopAfterRecords; }
};

// A connection that hands every call to `real`; a test double overrides what it changes.
struct ForwardingConnection : dao::Connection {
    explicit ForwardingConnection(dao::Connection& real) : real(real) {}
    void open(const QString& s) override { real.open(s); }
    bool isOpen() const override { return real.isOpen(); }
    void close() override { real.close(); }
    void reconnect() override { real.reconnect(); }
    unsigned long session() const override { return real.session(); }
    bool inTransaction() const override { return real.inTransaction(); }
    std::unique_ptr<dao::Connection> openAlongside() override { return real.openAlongside(); }
    void execute(const QString& sql) override { real.execute(sql); }
    long long executeCounted(const QString& sql) override { return real.executeCounted(sql); }
    LoadedData loadLocalData(const QString& sql, const QByteArray& data) override {
        return real.loadLocalData(sql, data);
    }
    std::unique_ptr<dao::PreparedStatement> prepare(const QString& sql) override {
        return real.prepare(sql);
    }
    bool insertsValueRows() const override { return real.insertsValueRows(); }
    InsertedRows insertValueRows(const QString& sql, const dao::ValueRows& rows) override {
        return real.insertValueRows(sql, rows);
    }
    std::unique_ptr<dao::Recordset> openTableCatalogue() override {
        return real.openTableCatalogue();
    }
    std::unique_ptr<dao::Recordset> openRecordset(const QString& sql) override {
        return real.openRecordset(sql);
    }
    dao::Connection& real;
};

// A real connection (`real`) that prepares no statement and whose `nth` statement starting with
// `prefix` goes wrong once: its answer is lost after the server ran it, the server undoes it as a
// deadlock, or the connection is killed from another one just before it. Unless `insertsRows`,
// it inserts no rows in one round trip, so that a bulk insert loads its batches.
struct Flaky : ForwardingConnection {
    enum class Fault { AnswerLost, Deadlock, Killed };

    Flaky(dao::Connection& real, dao::Connection& killer)
        : ForwardingConnection(real), killer(killer) {}
    void execute(const QString& sql) override { executeCounted(sql); }
    long long executeCounted(const QString& sql) override {
        return faulty(sql, [&] { return real.executeCounted(sql); });
    }
    LoadedData loadLocalData(const QString& sql, const QByteArray& data) override {
        return faulty(sql, [&] { return real.loadLocalData(sql, data); });
    }
    std::unique_ptr<dao::PreparedStatement> prepare(const QString& sql) override {
        return dao::Connection::prepare(sql);
    }
    bool insertsValueRows() const override { return insertsRows && real.insertsValueRows(); }
    InsertedRows insertValueRows(const QString& sql, const dao::ValueRows& rows) override {
        return faulty(sql, [&] { return real.insertValueRows(sql, rows); });
    }

    template <typename Run>
    std::invoke_result_t<Run> faulty(const QString& sql, Run run) {
        if (!sql.startsWith(prefix, Qt::CaseInsensitive) || ++seen != nth) return run();
        if (fault == Fault::Deadlock) {
            throw dao::DaoError(dao::DaoError::BadQuery, "Deadlock found", 1213,
                                dao::DaoError::Category::RetryTransaction);
        }
        if (fault == Fault::Killed) {
            killer.execute(
                "KILL CONNECTION " +
                real.openRecordset("SELECT CONNECTION_ID()")->valueAt(0, 0).standardText());
            return run();
        }
        run();
        if (afterLoss) afterLoss();
        throw dao::DaoError(dao::DaoError::BadQuery, "Lost connection to server during query", 2013,
                            dao::DaoError::Category::ConnectionLost);
    }

    dao::Connection& killer;
    Fault fault = Fault::AnswerLost;
    QString prefix;
    int nth = 0;
    int seen = 0;
    bool insertsRows = false;
    std::function<void()> afterLoss;  // what else the lost server did
};

// Records "k,v,n k,v,n ..." of a table k, v, n: numbers as integers, the rest as text.
inline dao::Recordset records(const QString& text) {
    dao::Recordset rs(
        {{"k", dao::adType::Integer}, {"v", dao::adType::VarWChar}, {"n", dao::adType::Integer}});
    for (const QString& record : text.split(' ', Qt::SkipEmptyParts)) {
        std::vector<dao::Value> row;
        for (const QString& field : record.split(',')) {
            bool isNumber = false;
            const int number = field.toInt(&isNumber);
            row.push_back(isNumber ? dao::Value::integer(number) : dao::Value::text(field));
        }
        rs.appendRow(row);
    }
    return rs;
}

// Records k, v, n from 1 to `count` as records() reads them: k, "v" + k, and k * 7.
inline QString numbered(long count) {
    QString text;
    for (long k = 1; k <= count; ++k) text += QStringLiteral("%1,v%1,%2 ").arg(k).arg(k * 7);
    return text;
}

// The fields k, v and n of records(), each paired with the column of its name.
inline const shell::FieldPairing kNumberedPairing{{"k", "k"}, {"v", "v"}, {"n", "n"}};

// Runs `action` (INSERT, UPDATE, UPSERT, BULK, BULK-MERGE or BULK-UPSERT) into `table`.
inline transfer::TransferResult runAction(const QString& action, const QString& table,
                                          const QString& key, const dao::Recordset& source,
                                          const shell::FieldPairing& pairing,
                                          dao::Connection& connection,
                                          transfer::TransferProgress& progress,
                                          const transfer::RunChoices& choices = {}) {
    return transfer::Transfer(action, table, key, source, pairing, connection, progress, choices);
}

}  // namespace keldara::test
