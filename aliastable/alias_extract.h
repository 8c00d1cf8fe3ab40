// Extraction of every mail alias from the directory into a new alias table
// relation, streamed one search message at a time.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H
#define LDAPCGI_ALIASTABLE_ALIAS_EXTRACT_H

#include "platform/ldapclient/ldapclient.h"

class dbMailAlias;

// Searches all users with mail values on the session's handle, without a
// size limit, and adds one record per alias. True only when the search ended
// with success and every record was stored (or refused as a duplicate); on
// false the reason has been logged at level 1 and the table is incomplete.
bool ExtractAliases(ldapClient& session, dbMailAlias& relation);

// Adds the aliases of the entries of one search message. False when an entry
// had no DN (the rest of the message is skipped) or a record failed.
bool AddEntryAliases(LDAP* ld, LDAPMessage* message, dbMailAlias& relation);

#endif
