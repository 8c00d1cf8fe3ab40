// The search filter of the user list, built from the typed search values.
// Pure text work; touches nothing else. The filter must fit kListFilterSize
// bytes (terminator included); a longer one is refused, never cut.
#ifndef LDAPCGI_PAGES_USERS_LIST_FILTER_H
#define LDAPCGI_PAGES_USERS_LIST_FILTER_H

#include <string>

// Appends `value` for an LDAP filter: "(", ")" and "\" become \28, \29, \5c;
// "*" stays, so that it works as the substring wildcard the administrator types
// (a run of them as one, since an empty substring is no valid filter).
void AppendFilterValue(std::string* filter, const char* value);
// Builds the ListUsers filter into `filter`; false when it would not fit.
// Null values count as empty; an empty mail value means "*".
bool BuildListFilter(const char* firstName, const char* lastName, const char* mail, const char* special,
                     std::string* filter);

#endif
