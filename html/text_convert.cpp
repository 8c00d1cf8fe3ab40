// Small text conversions of the helper family that no page uses: "+" and
// blank swaps, printing with encoded newlines, and allocation wrappers.
// Results are newly allocated and belong to the caller (free()).
#include "html/text_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A copy of `text` with every `from` replaced by `to`; null for null or "".
char* CopyReplacing(const char* text, char from, char to) {
    if (!text || !*text) return nullptr;
    std::size_t length = strlen(text);
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) return nullptr;
    for (std::size_t i = 0; i < length; ++i) copy[i] = text[i] == from ? to : text[i];
    copy[length] = '\0';
    return copy;
}

}  // namespace

char* PlusToBlank(const char* text) { return CopyReplacing(text, '+', ' '); }

char* BlankToPlus(const char* text) { return CopyReplacing(text, ' ', '+'); }

int PrintWithEncodedNewlines(const char* text) {
    if (!text) return 0;
    int consumed = 0;
    for (const char* p = text; *p; ++p, ++consumed) {
        if (*p == '\n')
            fputs("%0A", stdout);
        else if (*p != '\r')
            putchar(*p);
    }
    return consumed;
}

void* AllocateMemory(std::size_t size) { return malloc(size); }

void ReleaseMemory(void* pointer) { free(pointer); }
