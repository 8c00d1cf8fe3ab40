// Building and releasing attrval lists. Nodes are plain calloc'd records;
// appending walks to the end (lists hold a handful of nodes).
#include "directory/attribute_list.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Append(attrval** list, attrval* node) {
    while (*list) list = &(*list)->next;
    *list = node;
}

}  // namespace

bool AddAttrValue(attrval** list, int op, const char* name, const char* format, ...) {
    if (!list || !name || !format) return false;
    attrval* node = static_cast<attrval*>(calloc(1, sizeof(attrval)));
    if (!node) return false;
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(node->value, sizeof node->value, format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof node->value) {
        free(node);
        return false;
    }
    node->op = op;
    memcpy(node->name, name, strnlen(name, sizeof node->name - 1));
    Append(list, node);
    return true;
}

bool AddAttrEnd(attrval** list) {
    if (!list) return false;
    attrval* node = static_cast<attrval*>(calloc(1, sizeof(attrval)));
    if (!node) return false;
    Append(list, node);
    return true;
}

void FreeAttrList(attrval** list) {
    if (!list) return;
    attrval* node = *list;
    while (node) {
        attrval* next = node->next;
        free(node);
        node = next;
    }
    *list = nullptr;
}
