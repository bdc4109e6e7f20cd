#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace keldara::transfer::migration {

// What became of one table of a migration.
struct TableReport {
    QString source;
    QString target;
    long long rowsRead = 0;
    long long rowsWritten = 0;  // the table's row count on the server once loaded
    double seconds = 0;
    QStringList renamed;
    int keys = 0;
    int indexes = 0;
    QStringList warnings;
    QString error;         // the table was not moved: the reader's or the server's words
    bool skipped = false;  // it existed and was left as it was
    bool earlier = false;  // a run this one resumes moved it
    bool stopped = false;  // a stop ended its load
};

// The account of a whole migration, printed at its end and written as JSON.
struct MigrationReport {
    QString database;
    std::vector<TableReport> tables;
    int relationships = 0;  // foreign keys made
    QStringList warnings;   // of the relationships and the run as a whole
    bool stopped = false;
    double seconds = 0;

    // Whether a table failed (its rows differ from the source's, or it was not moved).
    bool failed() const;
    // A line a table and the relationships, warnings indented under what they belong to.
    QString text() const;
    QByteArray json() const;
};

}  // namespace keldara::transfer::migration
