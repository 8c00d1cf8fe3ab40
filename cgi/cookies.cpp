// Decoding of the HTTP_COOKIE variable into form entries: "name=value" pairs
// separated by "; " or "&", taken as they stand (no unescaping).
#include <cstdlib>
#include <cstring>

#include "cgi/form_entries.h"

int ParseCookies(FormEntryList& list) {
    const char* cookie = getenv("HTTP_COOKIE");
    if (cookie == nullptr) return 0;
    FormEntryListClear(list);

    const std::size_t len = strlen(cookie);
    // Name and value are each at most the whole text.
    char* name = static_cast<char*>(malloc(len + 1));
    char* value = static_cast<char*>(malloc(len + 1));
    if (name == nullptr || value == nullptr) {
        free(name);
        free(value);
        return 0;
    }
    std::size_t nameLength = 0, valueLength = 0;
    bool inValue = false;
    int count = 0;
    FormEntry* last = nullptr;
    bool stopped = false;

    auto append = [&]() {
        name[nameLength] = '\0';
        value[valueLength] = '\0';
        last = FormEntryListInsertAfter(list, last, name, value);
        if (last == nullptr)
            stopped = true;
        else
            ++count;
        nameLength = valueLength = 0;
        inValue = false;
    };

    for (std::size_t i = 0; i < len && !stopped; ++i) {
        const char c = cookie[i];
        const bool lastByte = i + 1 == len;
        if (!inValue) {
            if (c == '=') {
                inValue = true;
                if (lastByte) append();
            } else if (c != '&' && c != ';' && !lastByte) {
                name[nameLength++] = c;
            }
            // "&", ";" and a final byte are ignored inside a name.
        } else if (c == '&' || lastByte) {
            if (lastByte) value[valueLength++] = c;
            append();
        } else if (c == ';') {
            append();
            if (i + 1 < len && cookie[i + 1] == ' ') ++i;  // the blank after "; "
        } else {
            value[valueLength++] = c;
        }
    }
    free(name);
    free(value);
    return count;
}
