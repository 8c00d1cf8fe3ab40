// Change lists of a user update: differences for the modify path, the whole
// renamed entry for the rename path. Values are compared exactly, names
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
    bool matched = false;
    for (attrval* node = entry->attrs; IsAttribute(node); node = node->next) {
        if (strcasecmp(node->name, name) != 0) continue;
        if (!matched) {
            matched = true;
            if (strcmp(node->value, newValue) != 0) {
                AddAttrValue(list, kAttrDelete, name, "%s", node->value);
                AddAttrValue(list, kAttrAdd, name, "%s", newValue);
            }
        } else {
            AddAttrValue(list, kAttrDelete, name, "%s", node->value);
        }
    }
    if (!matched) AddAttrValue(list, kAttrAdd, name, "%s", newValue);
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

void ReplaceAttrValue(attrval** list, SearchReq* entry, const char* name, const char* newValue) {
    bool matched = false;
    for (attrval* node = entry->attrs; IsAttribute(node); node = node->next) {
        if (strcasecmp(node->name, name) != 0) continue;
        if (!matched) {
            matched = true;
            if (strcmp(node->value, newValue) != 0) snprintf(node->value, sizeof node->value, "%s", newValue);
        } else {
            node->op = kAttrSkip;
        }
    }
    if (!matched) AddAttrValue(list, kAttrAdd, name, "%s", newValue);
}

void BuildRenamedEntry(SearchReq* entry, attrval** list, const char* firstName, const char* lastName,
                       const char* telNo, const char* address) {
    for (attrval* node = entry->attrs; IsAttribute(node); node = node->next) node->op = kAttrAdd;
    std::string oldPrimary;
    PrimaryAddressFromDn(entry->dn, &oldPrimary);
    ReplaceAttrValue(list, entry, "firstname", Text(firstName));
    ReplaceAttrValue(list, entry, "sn", Text(lastName));
    ReplaceAttrValue(list, entry, "telephoneNumber", Text(telNo));
    ReplaceAttrValue(list, entry, "streetaddress", Text(address));
    ReplaceAttrValue(list, entry, "cn", CommonName(firstName, lastName).c_str());
    for (attrval* node = entry->attrs; IsAttribute(node); node = node->next) {
        if (node->op == kAttrSkip) continue;
        if (strcasecmp(node->name, "mail") == 0 && strcasecmp(node->value, oldPrimary.c_str()) == 0) continue;
        AddAttrValue(list, kAttrAdd, node->name, "%s", node->value);
    }
    AddAttrEnd(list);
}
