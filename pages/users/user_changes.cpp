// Change lists of a user update: the differences between an entry's form
// attributes and the typed values. Values are compared exactly, names
// ignoring letter case. Callers bound the values to the node size first.
#include "pages/users/user_changes.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "directory/attribute_list.h"
#include "directory/directory_session.h"
#include "pages/users/user_entry.h"
#include "pages/users/user_identity.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

const char* Text(const char* text) { return text == nullptr ? "" : text; }

// The entry's attribute nodes, the terminator excluded.
bool IsAttribute(const attrval* node) { return node != nullptr && node->next != nullptr; }

}  // namespace

void AddAttrChange(attrval** list, SearchReq* entry, const char* name, const char* newValue) {
    // A value too long for a node (a common name made of names stored so by
    // another tool) cannot be added: the attribute stays as it is rather
    // than losing its old values.
    if (strlen(newValue) >= kAttrValueSize) return;
    // The attribute ends with the one new value. Every old value goes before
    // it comes: added first, it would fail where a further value equals it.
    bool matched = false, replaced = false;
    for (attrval* node = entry->attrs; IsAttribute(node); node = node->next) {
        if (strcasecmp(node->name, name) != 0) continue;
        if (!matched) {
            matched = true;
            replaced = strcmp(node->value, newValue) != 0;
            if (!replaced) continue;
        }
        AddAttrValue(list, kAttrDelete, name, "%s", node->value);
    }
    if (!matched || replaced) AddAttrValue(list, kAttrAdd, name, "%s", newValue);
}

void BuildUserChanges(SearchReq* entry, attrval** list, const char* firstName, const char* lastName,
                      const char* telNo, const char* address) {
    // An attribute holding a value too long for a node cannot be compared or
    // deleted by value: it stays as it is, and so does the common name made
    // of the names.
    auto change = [&](const char* name, const char* value) {
        if (!HasTooLongValue(entry, name)) AddAttrChange(list, entry, name, value);
    };
    change("firstname", Text(firstName));
    change("sn", Text(lastName));
    change("telephoneNumber", Text(telNo));
    change("streetaddress", Text(address));
    if (!HasTooLongValue(entry, "firstname") && !HasTooLongValue(entry, "sn"))
        change("cn", CommonName(firstName, lastName).c_str());
}
