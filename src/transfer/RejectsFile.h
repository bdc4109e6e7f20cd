#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include "platform/dao/DaoError.h"

namespace keldara::transfer {

struct PairedFields;

// The records a run skipped because the server refused them, as CSV (RFC 4180, UTF-8,
// CR LF lines): a head line "Record","Error" and the target field names, then per refused
// record its number (from 1), the server's words and the record's values as they were sent.
// A Null value is an empty field without quotes; every other value is quoted. The file is
// created (emptied) when the first record is refused, so that a clean run leaves none.
class RejectsFile {
  public:
    explicit RejectsFile(QString path) : file_(std::move(path)) {}

    // Lists record `row` + 1 of `fields`; throws std::runtime_error when the file cannot be
    // written, which ends the run.
    void add(long row, const QString& words, const PairedFields& fields);

    // Goes on with the file an earlier part of the run wrote: its first `size` bytes (the
    // head line and `count` records) are kept, and the records refused from now on follow
    // them. Throws std::runtime_error when the file is shorter than that or cannot be opened.
    void continueAfter(qint64 size, long count);

    // Forgets the records listed so far by this part of the run, as a run that starts again
    // from its first record lists them anew.
    void restart();

    QString path() const { return file_.fileName(); }
    // The records listed, in every part of the run, and the bytes they take.
    long count() const { return count_; }
    qint64 size() const { return file_.isOpen() ? file_.size() : keptSize_; }

  private:
    void writeLine(const QStringList& fields, const QList<bool>& quoted);

    [[noreturn]] void refuse(const QString& what);

    QFile file_;
    long count_ = 0;
    // What earlier parts of the run listed (continueAfter).
    qint64 keptSize_ = 0;
    long keptCount_ = 0;
};

// What a run does beyond its action.
struct RunChoices {
    // Deletes every row of the target table before the first record (on a transactional
    // table within the same transaction as a bulk load).
    bool emptyTarget = false;
    // Where refused records go; null: the first refused record ends the run.
    RejectsFile* rejects = nullptr;
    // Each record's statement goes as literal text, as a dry run prints it, rather than
    // through a statement the server prepares once.
    bool literalStatements = false;

    // For how long a lost connection, a deadlock or another transient error is retried
    // (reconnecting, then going on from the first record not known to be written); 0: the
    // first one ends the run.
    int retryForSeconds = 0;
    // A run that resumes an earlier one starts at row `resumeAt`; the records of rows
    // `resumeAt` to `inDoubtUntil` - 1 may or may not have been written by it (an insert
    // looks them up before it goes on). `refusedBefore` of the records before `resumeAt` were
    // refused and listed, and the table held `rowsAtStart` rows when the earlier run began
    // (-1: not known).
    long resumeAt = 0;
    long inDoubtUntil = 0;
    long refusedBefore = 0;
    long long rowsAtStart = -1;
    // The run's progress is kept so that it can be resumed: its row count at the start is
    // told (TransferProgress::tableCounted) even where nothing is retried.
    bool resumable = false;

    // Whether the run goes on past `error` for record `row` (listing it); false for a lost
    // connection or another transient error, which is retried or ends the run.
    bool skip(const dao::DaoError& error, long row, const PairedFields& fields) const;
    // A run starting again from its first record: the rejects listed so far are forgotten.
    void restartRun() const;
};

}  // namespace keldara::transfer
