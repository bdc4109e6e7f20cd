#pragma once

namespace keldara::transfer {

class RejectsFile;

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
};

}  // namespace keldara::transfer
