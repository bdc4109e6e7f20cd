#pragma once

#include <QElapsedTimer>
#include <QString>
#include <optional>

#include "transfer/RejectsFile.h"
#include "transfer/TransferProgress.h"

namespace keldara::cli {

// What --resume FILE keeps of a run: which run it is (the profile, its source and target, the
// action and its match field) and how far it got, so that the same run started again goes on
// after the last record it confirmed. The file is JSON, replaced whole (QSaveFile) at every
// update.
struct ResumeState {
    QString profile;             // the profile file's absolute path
    QString source;              // the source file and table
    QString target;              // the server, database and table
    QString action;              // the action and its match field
    long confirmed = 0;          // records 1 to confirmed are written (or refused and listed)
    long inDoubtUntil = 0;       // records confirmed + 1 to inDoubtUntil may have been written
    long refused = 0;            // of records 1 to confirmed, those refused and listed ...
    qint64 rejectsSize = 0;      // ... in the rejects file's first rejectsSize bytes
    long long rowsAtStart = -1;  // the target's rows before record 1 (-1: not counted yet)

    bool sameRunAs(const ResumeState& other) const;
};

// The state in `path`; nothing when there is no file. Throws SetupError for a file that is not
// a state file.
std::optional<ResumeState> readResumeState(const QString& path);
// Throws SetupError when the file cannot be written.
void writeResumeState(const QString& path, const ResumeState& state);

// A run's progress that keeps its state file up to date as records are confirmed (at most
// once a second while it runs), passing everything on to `shown`.
class StateKeepingProgress : public transfer::TransferProgress {
  public:
    // `rejects`, when the run lists refused records, is where they go.
    StateKeepingProgress(transfer::TransferProgress& shown, QString path, ResumeState state,
                         const transfer::RejectsFile* rejects);

    void setStatusText(const QString& text) override { shown_.setStatusText(text); }
    void setProgressMaximum(long maximum) override;
    void setProgressValue(long value) override { shown_.setProgressValue(value); }
    bool stopRequested() override { return shown_.stopRequested(); }
    void recordsConfirmed(long records) override;
    void tableCounted(long long rows) override;

    // Writes what `result` knows, or removes the file when the run completed.
    void runEnded(const transfer::TransferResult& result) override;

  private:
    void write();

    transfer::TransferProgress& shown_;
    const transfer::RejectsFile* rejects_;
    QString path_;
    ResumeState state_;
    long total_ = 0;
    QElapsedTimer sinceWritten_;
};

}  // namespace keldara::cli
