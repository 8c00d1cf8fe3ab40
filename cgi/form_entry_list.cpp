// The form entry list: creation, linking, walking and release of entries, and
// the two small text helpers the decoders share. Entries own malloc'd copies
// of their name and value; nothing here reads the environment or stdin.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "cgi/form_entries.h"

void FormEntryListInit(FormEntryList& list) { list.head = nullptr; }

FormEntry* FormEntryListInsertAfter(FormEntryList& list, FormEntry* after, const char* name,
                                    const char* value) {
    // Appending after nothing into a non-empty list would lose entries.
    if (list.head != nullptr && after == nullptr) return nullptr;

    FormEntry* entry = static_cast<FormEntry*>(malloc(sizeof(FormEntry)));
    char* nameCopy = CopyString(name);
    char* valueCopy = CopyString(value);
    if (entry == nullptr || nameCopy == nullptr || valueCopy == nullptr) {
        free(entry);
        free(nameCopy);
        free(valueCopy);
        return nullptr;
    }
    entry->name = nameCopy;
    entry->value = valueCopy;
    if (list.head == nullptr) {
        entry->next = nullptr;
        list.head = entry;
    } else {
        entry->next = after->next;
        after->next = entry;
    }
    return entry;
}

FormEntry* FormEntryListNext(const FormEntry* entry) { return entry ? entry->next : nullptr; }

bool FormEntryListContains(const FormEntryList& list, const FormEntry* entry) {
    for (const FormEntry* e = list.head; e; e = e->next)
        if (e == entry) return true;
    return false;
}

void FormEntryListForEach(const FormEntryList& list, void (*function)(const char* name, const char* value)) {
    for (const FormEntry* e = list.head; e; e = e->next) function(e->name, e->value);
}

void FormEntryListClear(FormEntryList& list) {
    while (list.head) {
        FormEntry* e = list.head;
        list.head = e->next;
        free(e->name);
        free(e->value);
        free(e);
    }
}

char* CopyString(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(n));
    if (copy) memcpy(copy, text, n);
    return copy;
}

char* LowerCaseInPlace(char* text) {
    if (text == nullptr) return nullptr;
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return text;
}
