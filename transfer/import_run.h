// The import of a user file: every row checked as the single-user pages
// check it, against the directory and against the other rows, and
// classified (add, update, unchanged, refused); and, asked to write with no
// row refused, each row that adds or changes a user written in file order,
// stopping at the first write that fails. The directory is read
// in batches (one search for the addresses, one for the connectors of up
// to kImportBatchRows rows), so a large file costs few searches.
// A row states the whole user for every column the file has: names,
// telephone and address are set to its values, and aliases, connectors and
// permissions it does not list are removed; a column the file lacks is left
// as it is. Writes only through directory/directory_changes.h (one audit
// line per written row, and one per domain entry made).
#ifndef LDAPCGI_TRANSFER_IMPORT_RUN_H
#define LDAPCGI_TRANSFER_IMPORT_RUN_H

#include <cstddef>
#include <string>
#include <vector>

#include "transfer/import_rows.h"

class ldapClient;

enum RowKind { kRowAdd, kRowUpdate, kRowUnchanged, kRowRefused, kRowKinds };

struct RowNote {
    long line;
    std::string mail;
    std::string text;  // why refused, or the attributes an update changes
};

struct ImportReport {
    std::size_t counts[kRowKinds] = {};
    std::vector<RowNote> refused;  // every refused row, in file order
    std::vector<RowNote> updated;  // the first kMaxImportRowsShown updates
    std::size_t written = 0;       // rows written, all before `stoppedAt`
    long stoppedAt = 0;            // the line where writing stopped; 0 when it did not
    std::string failure;           // why the run stopped early; "" when it ran through
    bool unanswered = false;       // the write of `stoppedAt` got no answer: done or not
};

// Checks every row of `file` into *report; with `write`, and when no row is
// refused, then checks the rows again against the directory as it is now
// and writes each that adds or changes a user at once, in file order, into
// *written; a row refused now stops the write there.
void RunImport(ldapClient& client, const ImportFile& file, bool write, ImportReport* report,
               ImportReport* written);

#endif
