#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

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

}  // namespace keldara::transfer
