// PLACEHOLDER until the decoder lands: enough to link and dispatch GETs.
#include "cgi/form_entries.h"

#include <cstdlib>
#include <cstring>
#include <string>

const char* FormValue(const FormEntry* list, const char* name) {
    for (; list; list = list->next)
        if (strcmp(list->name, name) == 0) return list->value;
    return nullptr;
}

int ReadFormEntries(FormEntryList& list) {
    const char* q = getenv("QUERY_STRING");
    if (!q) return 0;
    std::string s(q);
    FormEntry** tail = &list.head;
    int count = 0;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t amp = s.find('&', pos);
        std::string part = s.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        std::size_t eq = part.find('=');
        if (eq == std::string::npos) return -1;
        FormEntry* e = new FormEntry{strdup(part.substr(0, eq).c_str()), strdup(part.substr(eq + 1).c_str()), nullptr};
        *tail = e;
        tail = &e->next;
        ++count;
        if (amp == std::string::npos) break;
        pos = amp + 1;
    }
    return count;
}
