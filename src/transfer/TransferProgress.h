#pragma once

#include <QString>
#include <QStringList>

// How a transfer or script run reports to whoever started it, and how it is stopped.
namespace keldara::transfer {

struct TransferResult;

// The window's status bar and progress bar, or a command line's output. The engine calls it
// on its own thread between records.
class TransferProgress {
  public:
    virtual ~TransferProgress() = default;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setProgressMaximum(long maximum) = 0;
    virtual void setProgressValue(long value) = 0;
    // Asked after each record but the last; true ends the run before the next one. A window
    // lets its events run here (as often as it likes), so that it repaints and its Stop button
    // can be pressed.
    virtual bool stopRequested() = 0;
    // Something the user should know about how the run goes, told once: by default the
    // status text.
    virtual void notice(const QString& text) { setStatusText(text); }
    // The records before row `records` are known written (or refused and listed): called
    // after each record or batch, so that a run stopped or lost can be resumed after them.
    virtual void recordsConfirmed(long /*records*/) {}
    // The target's row count as the run begins to send records (after it was emptied, when
    // it was); a run from the first record counts from it what a resumed run finds written.
    virtual void tableCounted(long long /*rows*/) {}
    // The run ended so: told once, after everything else (the state of a run that can be
    // resumed is kept from it).
    virtual void runEnded(const TransferResult& /*result*/) {}
};

// How a run ended.
struct TransferResult {
    enum class Outcome { Completed, Failed, Stopped };

    Outcome outcome = Outcome::Completed;
    long recordsDone = 0;  // records sent (or written into the script) before the end
    // The record, from 1, that failed or was not reached; 0 when the run completed or ended
    // before its first record.
    long endedAtRecord = 0;
    QString message;            // the last status text
    QString errorDescription;   // a failure's own words (the server's for a refused statement)
    long recordsUnmatched = 0;  // of an update: records sent whose match value found no row
    // The connection was lost while the records endedAtRecord to inFlightLast were being sent:
    // the server may or may not have written them; those after them were not sent.
    bool connectionLost = false;
    long inFlightLast = 0;
    // ... after every record was sent, while the run was being committed: records 1 to
    // inFlightLast may or may not have been written, whatever else the result says.
    bool lostAfterLastRecord = false;
    // Of the records done: those the server refused and the run skipped (listed in the
    // rejects file), and, of an update or insert, those that updated a row or were inserted.
    long recordsRefused = 0;
    long recordsUpdated = 0;
    long recordsInserted = 0;

    // The run's one transaction was undone: the table holds what it held before the run.
    bool undone = false;

    // How the run went on after transient errors: the connections opened again, and a line
    // for each (what was lost, how the records in flight were found out, where it went on).
    int reconnects = 0;
    QStringList resumeNotes;

    long recordsWritten() const { return recordsDone - recordsRefused; }

    bool completed() const { return outcome == Outcome::Completed; }
};

// What is known of the records of a run whose connection was lost (connectionLost): which
// are written, which may or may not have been, and that the later ones were not sent.
QString lostConnectionText(const TransferResult& result);

}  // namespace keldara::transfer
