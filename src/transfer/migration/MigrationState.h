#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

namespace keldara::transfer::migration {

// What a resumable migration has done, kept in a file that is written again whenever a table
// is begun or finished: the source and the database it moves, and for each target table
// whether it was begun or is loaded whole. A run that resumes leaves the finished tables as
// they are and loads a begun one again from an empty table. Safe to use from the threads that
// load tables side by side.
class MigrationState {
  public:
    // No file: nothing is kept.
    MigrationState() = default;
    // Reads the file at `path` when there is one (a run to resume), else starts it. Throws
    // std::runtime_error for a file that cannot be read, or one of another migration (another
    // source or database).
    MigrationState(QString path, QString source, QString database);

    bool kept() const { return !path_.isEmpty(); }
    // The table was loaded whole by the run this one resumes.
    bool finished(const QString& table) const;
    // The table was created by the run this one resumes (finished or not).
    bool begun(const QString& table) const;

    void begin(const QString& table);
    void finish(const QString& table);
    // Every table and relationship is in place: the file is removed.
    void complete();

  private:
    void write() const;

    QString path_;
    QString source_;
    QString database_;
    QHash<QString, bool> tables_;  // target table: loaded whole
    mutable QMutex mutex_;
};

}  // namespace keldara::transfer::migration
