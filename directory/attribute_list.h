// Attribute lists for ldapClientAdd / ldapClientModify: attrval chains built
// node by node and released whole. A value is never cut: one that does not
// fit a node's 511 characters is refused.
#ifndef LDAPCGI_DIRECTORY_ATTRIBUTE_LIST_H
#define LDAPCGI_DIRECTORY_ATTRIBUTE_LIST_H

#include "platform/ldapclient/ldapclient.h"

// Appends a node: op kAttrAdd or kAttrDelete; name cut to 63 characters; value
// formatted printf-style. False (list unchanged) when memory is short or the
// value is longer than 511 characters.
bool AddAttrValue(attrval** list, int op, const char* name, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Appends the terminator node (kAttrAdd, empty name, empty value) that ends every
// list handed to the client.
bool AddAttrEnd(attrval** list);

// Releases every node from the head on and sets the head to null. Only for
// lists built here, never for the attributes of a search result.
void FreeAttrList(attrval** list);

#endif
