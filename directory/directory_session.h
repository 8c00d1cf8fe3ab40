// The directory session of a page: opening the client from the [Ldap]
// settings of XOMTA.INI, finding a user's entry by mail address, reading an
// attribute value out of a search result, and asking whether an entry
// matches a filter.
#ifndef LDAPCGI_DIRECTORY_DIRECTORY_SESSION_H
#define LDAPCGI_DIRECTORY_DIRECTORY_SESSION_H

#include <string>
#include <vector>

#include "platform/ldapclient/ldapclient.h"

// Connects and binds `client` as XOMTA.INI [Ldap] says (HostName, Port,
// UserName, Password; defaults localhost, 389, root, kpqz), waiting at most
// [Ldap] Timeout seconds (default 30) for the server in each step, then sets
// the session handle's size limit to [Ldap] RecordLimit (0: none). HostName
// may list several servers separated by blanks or commas: the first that answers is
// used. StartTLS=yes makes each ldap:// connection start TLS or fail.
// Returns the HostName setting, in a process-wide buffer that stays valid,
// or null on failure (nothing printed; the caller chooses the message).
char* OpenDirectory(ldapClient& client);
// Between the servers of HostName: blanks, or commas as libldap and
// ldap.conf's URI take them. Each server is connected on its own, so that
// its own scheme (and StartTLS) decides whether it is reached over TLS.
constexpr char kHostNameSeparators[] = " \t,";
// Marks the process's request as one that changes the directory (set once,
// before its first OpenDirectory). Such a request does not pass on from a
// server that took the connection but did not answer the TLS start or the
// bind in time: that server may still carry out what it was sent, and a
// change made meanwhile on the next server could contradict it (one address
// given to two users).
void SetChangingRequest(bool changing);
// The HostName setting as OpenDirectory reads it, without connecting (the
// channel list is asked for by it); null when the setting is too long.
const char* DirectoryHostName();

// [Ldap] PageSize: the rows of one page of a user list; 0 (the default)
// lists every row on one page. A negative setting counts as 0, one larger
// than kMaxListPageSize as kMaxListPageSize (each with a log line).
int ListPageSize();

// Every user: an xoperson entry with a mail value.
constexpr char kEveryUserFilter[] = "(&(objectClass=xoperson)(mail=*))";

// The user entry whose DN CreateDNFromMail makes from `mail` (an alias does
// not find it); null or "*" gives the first xoperson entry with a mail value
// (the server is asked for one entry only; for a limited scope, the entries
// are streamed up to the first that UserDnInScope admits). Null when nothing
// is found or the search fails; *failed (when given) tells the two apart:
// true when the directory gave no answer about the entry. Release with
// srch_free. Only users of the request's scope (admin_scope.h) are found:
// another address finds nothing, and the wildcard the first user of the scope.
SearchReq* FindUserByMail(ldapClient& client, const char* mail, bool* failed = nullptr);

// The first value of attribute `name` (letter case ignored) in the chain's
// entries, in order; "" when no entry has it. Lives as long as the result.
const char* GetAttrValue(const SearchReq* result, const char* name);
// Every value of attribute `name` (letter case ignored) in the one entry,
// in order; none for a null entry.
std::vector<std::string> EntryAttrValues(const SearchReq* entry, const char* name);

// Whether the first entry of `result` holds a value of attribute `name`
// (letter case ignored), or of any attribute (null name), that was too long
// for the client's node (kAttrTooLong): the pages mark it, never show it cut.
bool HasTooLongValue(const SearchReq* result, const char* name);
// Whether the entry at `dn` matches `filter`, by one base search: the
// directory compares the values too long for the client. 1 it does, 0 it
// does not, -1 the search failed.
int EntryMatches(ldapClient& client, const char* dn, const std::string& filter);

#endif
