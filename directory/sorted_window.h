// One window of a search that the directory sorts (the server-side sorting
// control of RFC 2891) and cuts (the virtual list view control), so that only
// the window's entries travel: the pages of the user lists. Both controls are
// sent critical: a server that cannot sort refuses the search instead of
// answering with the whole list unsorted.
#ifndef LDAPCGI_DIRECTORY_SORTED_WINDOW_H
#define LDAPCGI_DIRECTORY_SORTED_WINDOW_H

#include "directory/entry_stream.h"

// Where the window's target is: at `offset` (1 is the first entry) or, with
// offset 0, at the first entry whose first sort key is at least `from` (the
// server's ordering rule decides; OpenLDAP, sorting by two keys, passes over
// the entries whose first key equals it); `size` entries from there, after
// the `before` entries just before it.
struct SortedWindow {
    int offset;
    const char* from;
    int size;
    int before = 0;
};

// The server's answer: the position of the window's target in the whole
// sorted list (count + 1 when `from` sorts after every entry) and the number
// of entries in the list.
struct SortedWindowAnswer {
    int first = 0;
    int count = 0;
};

// Runs the search sorted by `sortKeys` (ldap_create_sort_keylist's text,
// "sn firstname") and visits the window's entries in the sorted order, at
// most window.before + window.size of them. Returns LDAP_SUCCESS with *answer filled, or
// LDAP_VLV_ERROR with answer->count set when the offset lies past the end,
// or the failure's code: LDAP_UNAVAILABLE_CRITICAL_EXTENSION when the server
// cannot sort, IsConnectionFailure's codes when it stopped answering, any
// other code of the search. Logs nothing: the caller says what it does next.
int ForEachSortedEntry(ldapClient& session, const char* base, int scope, const char* filter,
                       const char* const* attributes, const char* sortKeys, const SortedWindow& window,
                       SortedWindowAnswer* answer, const EntryCallback& visit);

#endif
