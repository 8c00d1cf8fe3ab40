// UrlEncode: percent-encodes the six characters "%?+&#=" so that a text can
// stand as a value in a link's query string; every other byte is kept. The
// result is allocated to fit the input and belongs to the caller (free()).
#include "html/text_helpers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
bool NeedsEncoding(char c) { return c != '\0' && strchr("%?+&#=", c) != nullptr; }
}  // namespace

char* UrlEncode(const char* text) {
    if (!text) text = "";
    std::size_t length = strlen(text);
    if (length > (SIZE_MAX - 1) / 3) return nullptr;
    char* result = static_cast<char*>(malloc(length * 3 + 1));
    if (!result) return nullptr;

    static const char kHex[] = "0123456789abcdef";
    char* out = result;
    for (const char* p = text; *p; ++p) {
        if (NeedsEncoding(*p)) {
            unsigned char c = static_cast<unsigned char>(*p);
            *out++ = '%';
            *out++ = kHex[c >> 4];
            *out++ = kHex[c & 0xf];
        } else {
            *out++ = *p;
        }
    }
    *out = '\0';
    return result;
}
