#pragma once

#include <QStringList>

#include "platform/dao/Connection.h"
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
    void execute(const QString& sql) override { real.execute(sql); }
    long long executeCounted(const QString& sql) override { return real.executeCounted(sql); }
    LoadedData loadLocalData(const QString& sql, const QByteArray& data) override {
        return real.loadLocalData(sql, data);
    }
    std::unique_ptr<dao::PreparedStatement> prepare(const QString& sql) override {
        return real.prepare(sql);
    }
    std::unique_ptr<dao::Recordset> openTableCatalogue() override {
        return real.openTableCatalogue();
    }
    std::unique_ptr<dao::Recordset> openRecordset(const QString& sql) override {
        return real.openRecordset(sql);
    }
    dao::Connection& real;
};

}  // namespace keldara::test
