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

    // Forgets the records listed so far, as a run that starts again from its first record
    // lists them anew.
    void restart();

    QString path() const { return file_.fileName(); }
    long count() const { return count_; }

  private:
    void writeLine(const QStringList& fields, const QList<bool>& quoted);

    QFile file_;
    long count_ = 0;
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
    // looks them up by the key before it goes on).
    long resumeAt = 0;
    long inDoubtUntil = 0;

    // Whether the run goes on past `error` for record `row` (listing it); false for a lost
    // connection or another transient error, which is retried or ends the run.
    bool skip(const dao::DaoError& error, long row, const PairedFields& fields) const;
    // A run starting again from its first record: the rejects listed so far are forgotten.
    void restartRun() const;
};

}  // namespace keldara::transfer
