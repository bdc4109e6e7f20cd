#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

namespace keldara::transfer::migration {

// What a resumable migration has done, kept in a file that is written again whenever a table
// is begun or finished: the source and the database it moves, and for each target table
// whether it was begun (made by the run, or rows being added to a table that was there), or is
// loaded whole. A run that resumes leaves the finished tables as they are and loads a table it
// made again from empty; a table that was there is never dropped. Safe to use from the threads
// that load tables side by side.
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
    // The table was begun by this run or the one it resumes (finished or not).
    bool begun(const QString& table) const;
    // ... by adding rows to a table that was there before.
    bool appending(const QString& table) const;

    void begin(const QString& table, bool appending);
    void finish(const QString& table);
    // Every table and relationship is in place: the file is removed.
    void complete();

  private:
    void write() const;

    QString path_;
    QString source_;
    QString database_;
    enum class Stage { Begun, Appending, Finished };
    QHash<QString, Stage> tables_;
    mutable QMutex mutex_;
};

}  // namespace keldara::transfer::migration
