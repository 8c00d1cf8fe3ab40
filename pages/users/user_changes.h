// The attribute list of a user update: the modify list that turns an
// entry's five form attributes into the typed values. Works on search
// results and lists in memory only.
#ifndef LDAPCGI_PAGES_USERS_USER_CHANGES_H
#define LDAPCGI_PAGES_USERS_USER_CHANGES_H

struct SearchReq;
struct attrval;

// Appends to `list` the changes for firstname, sn, telephoneNumber,
// streetaddress and cn (kAttrDelete deletes a value, kAttrAdd adds one). An
// attribute with a value too long for a node is left out (cn too, when one
// of the names is).
void BuildUserChanges(SearchReq* entry, attrval** list, const char* firstName, const char* lastName,
                      const char* telNo, const char* address);
// Changes for one attribute: replace a differing first value, delete every
// further value, add the value when the entry lacks the attribute.
void AddAttrChange(attrval** list, SearchReq* entry, const char* name, const char* newValue);

#endif
