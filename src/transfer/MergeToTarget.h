#pragma once

#include <QString>

#include "platform/dao/Connection.h"
#include "platform/dao/Recordset.h"
#include "shell/FieldPairing.h"
#include "transfer/RejectsFile.h"
#include "transfer/RunChoices.h"
#include "transfer/TransferProgress.h"

namespace keldara::transfer {

// Copies every record of `source` into `table` on `connection`, one statement per record,
// each committed on its own: action "UPDATE" updates the row whose `matchName` column holds
// the record's value of the field paired with that name; "INSERT" adds a row. Only paired
// fields are written, each into the column of its target name. Unless `choices` ask for
// literal text, the server prepares each statement once and runs it with each record's
// values bound in their own types; a server that does not prepare them gets them as text,
// which the run tells once (TransferProgress::notice).
//
// Shows "Merging", then "Copied Record :" + n after each record. The first error, or a stop
// asked for between records, ends the run: the records before stay written, none after are
// sent. A pairing without fields, with a source name the recordset lacks, or an update whose
// match name is not a paired target name, ends it before the first statement. Errors read
// "ERROR MergeToTarget: " + description + " Line: " + line. An update whose match value
// finds no row counts as unmatched. The recordset's position is not moved.
//
// Action "UPSERT" updates as "UPDATE" does and inserts a record whose match value found no
// row; the result counts the records updated and inserted. `choices` may empty the table
// before the first record and skip refused records into a rejects file.
TransferResult MergeToTarget(const QString& action, const QString& table, const QString& matchName,
                             const dao::Recordset& source, const shell::FieldPairing& pairing,
                             dao::Connection& connection, TransferProgress& progress,
                             const RunChoices& choices = {});

}  // namespace keldara::transfer
