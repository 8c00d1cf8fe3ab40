// Extraction of every mail alias from the directory into a new alias table
// relation, streamed one search entry at a time.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H
#define LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H

#include "platform/ldapclient/ldapclient.h"

class dbMailAlias;

enum class ExtractResult {
    kExtracted,     // the search ended with success, every record stored (or a duplicate)
    kSearchFailed,  // the search failed or was cut; logged at kLogError
    kWriteFailed,   // a record could not be written: the search was abandoned; one kLogError line
};

// Searches all users with mail values on the session's handle, without a
// size limit, and adds one record per alias, stopping at the first record
// that cannot be written. Anything but kExtracted leaves the table
// incomplete. A server that stops answering ends the search after the
// client's time limit.
ExtractResult ExtractAliases(ldapClient& session, dbMailAlias& relation);

#endif
