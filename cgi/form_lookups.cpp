// Lookups on a form entry list, by exact, case-sensitive comparison of the
// whole text. They never change the list; returned texts belong to it.
#include <cstdlib>
#include <cstring>

#include "cgi/form_entries.h"

namespace {

// Null-terminated array of the names (byName false) or values (byName true)
// of the entries whose other member equals `key`; null when none does.
const char** Collect(const FormEntry* list, const char* key, bool byName) {
    std::size_t count = 0;
    for (const FormEntry* e = list; e; e = e->next)
        if (strcmp(byName ? e->name : e->value, key) == 0) ++count;
    if (count == 0) return nullptr;
    const char** result = static_cast<const char**>(malloc((count + 1) * sizeof(const char*)));
    if (result == nullptr) return nullptr;
    std::size_t i = 0;
    for (const FormEntry* e = list; e; e = e->next)
        if (strcmp(byName ? e->name : e->value, key) == 0) result[i++] = byName ? e->value : e->name;
    result[i] = nullptr;
    return result;
}

}  // namespace

const char* FormValue(const FormEntry* list, const char* name) {
    for (; list; list = list->next)
        if (strcmp(list->name, name) == 0) return list->value;
    return nullptr;
}

const char** FormValues(const FormEntry* list, const char* name) { return Collect(list, name, true); }

const char* FormNameOf(const FormEntry* list, const char* value) {
    for (; list; list = list->next)
        if (strcmp(list->value, value) == 0) return list->name;
    return nullptr;
}

const char** FormNamesOf(const FormEntry* list, const char* value) { return Collect(list, value, false); }

bool FormFieldPresent(const FormEntry* list, const char* name) { return FormValue(list, name) != nullptr; }

bool FormFieldAbsentOrEmpty(const FormEntry* list, const char* name) {
    const char* value = FormValue(list, name);
    return value == nullptr || value[0] == '\0';
}

bool FormAllValuesEmpty(const FormEntry* list) {
    for (; list; list = list->next)
        if (list->value[0] != '\0') return false;
    return true;
}
