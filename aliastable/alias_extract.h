// Extraction of every mail alias from the directory into a new alias table
// relation, streamed one search entry at a time.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H
#define LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H

#include "platform/ldapclient/ldapclient.h"

class dbMailAlias;

// Searches all users with mail values on the session's handle, without a
// size limit, and adds one record per alias. True only when the search ended
// with success and every record was stored (or refused as a duplicate); on
// false the reason has been logged at kLogError and the table is incomplete.
// A server that stops answering ends the search after the client's time limit.
bool ExtractAliases(ldapClient& session, dbMailAlias& relation);

#endif
