// Streaming searches on a session's handle: one asynchronous search whose
// entries are handed to a callback one message at a time, read in place from
// the message (no copies), so memory does not grow with the result. Every
// wait for the server is bounded by the client's time limit.
#ifndef LDAPCGI_DIRECTORY_ENTRY_STREAM_H
#define LDAPCGI_DIRECTORY_ENTRY_STREAM_H

#include <functional>
#include <string>
#include <vector>

#include "platform/ldapclient/ldapclient.h"

// One entry of a streamed search; valid only during the callback.
class StreamedEntry {
public:
    StreamedEntry(LDAP* ld, LDAPMessage* entry, BerElement* ber, const berval& dn);
    ~StreamedEntry();
    StreamedEntry(const StreamedEntry&) = delete;
    StreamedEntry& operator=(const StreamedEntry&) = delete;

    // The entry's DN as the message holds it: not terminated, bv_len bytes.
    const berval& Dn() const { return dn_; }
    // The next attribute: its name (not terminated) and its values, an array
    // ending in a null bv_val, or null. False after the last one.
    bool NextAttribute(berval* name, berval** values);

private:
    LDAP* ld_;
    LDAPMessage* entry_;
    BerElement* ber_;
    berval dn_;
    berval* values_ = nullptr;
};

using EntryCallback = std::function<void(StreamedEntry& entry)>;

// Runs a search on `session`'s handle (base, LDAP_SCOPE_*, filter, the
// attributes to fetch, null-terminated) with the handle's size limit, and
// calls `visit` for every entry in arrival order. `purpose` names the search
// in log lines ("The search for Mail Aliases"). Returns LDAP_SUCCESS,
// LDAP_SIZELIMIT_EXCEEDED when the size limit cut the search (the entries up
// to it were visited), LDAP_TIMEOUT when the server did not answer within
// session.Timeout() seconds, LDAP_SERVER_DOWN when the connection was lost,
// or another failure's result code. Every result but the first two leaves
// one error line.
int ForEachEntry(ldapClient& session, const char* base, int scope, const char* filter,
                 const char* const* attributes, const char* purpose, const EntryCallback& visit);

// Whether a streamed name or value (not terminated) is `text`, letter case
// ignored.
bool BervalIs(const berval& bytes, const char* text);

// A visit that may stop the search: false abandons it (no more entries are
// visited, nothing is logged) and ForEachEntryUntil returns LDAP_USER_CANCELLED.
using StoppingEntryCallback = std::function<bool(StreamedEntry& entry)>;
// ForEachEntry, for a visit that may stop it.
int ForEachEntryUntil(ldapClient& session, const char* base, int scope, const char* filter,
                      const char* const* attributes, const char* purpose, const StoppingEntryCallback& visit);

// ForEachEntryUntil with server controls sent along (null: none) and a size
// limit of its own (as ldap_search_ext takes it: -1 the handle's, 0 none).
// The search result's controls are handed back in *answered (null when it
// carried none; release with ldap_controls_free), also when the search
// failed. `purpose` null leaves failures unlogged: the caller says why.
int ForEachEntryWithControls(ldapClient& session, const char* base, int scope, const char* filter,
                             const char* const* attributes, const char* purpose, LDAPControl** controls,
                             int sizeLimit, LDAPControl*** answered, const StoppingEntryCallback& visit);

// The values of `attribute` in the entry `dn`, each whole (any length, NUL
// bytes kept), appended to *values by one streamed base search with
// `controls` (null: none). The search's result code.
int ReadEntryValues(ldapClient& session, const char* dn, const char* attribute, LDAPControl** controls,
                    const char* purpose, std::vector<std::string>* values);

// From now on the session's connection reads whatever has arrived in one go
// (one read for a burst of entries instead of two system calls each). It pays
// where each visit is slow and entries pile up meanwhile (the alias build,
// every user's connectors). Where visits are quick (the user lists) the client
// then waits for each entry and the server sends every entry in a packet of
// its own, which is slower than plain reads while a core is free: those
// searches go without it. (On a machine loaded past both cores the fewer
// system calls of read-ahead win instead.)
void ReadEntriesAhead(ldapClient& session);

// True for the results that mean the directory stopped answering (time limit
// or lost connection): pages answer them with their connection message.
bool IsConnectionFailure(int code);

#endif
