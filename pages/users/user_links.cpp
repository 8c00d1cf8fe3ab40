// Query-string values for links: UrlEncode, then percent-encoding of the few
// bytes that are unsafe in an unquoted attribute value.
#include "pages/users/user_links.h"

#include <cstdio>
#include <cstdlib>

#include "html/text_helpers.h"

namespace {

bool UnsafeInAttribute(unsigned char c) {
    return c <= ' ' || c == 0x7f || c == '"' || c == '\'' || c == '<' || c == '>' || c == '`';
}

}  // namespace

std::string LinkValue(const char* text) {
    char* encoded = UrlEncode(text == nullptr ? "" : text);
    std::string out;
    if (encoded == nullptr) return out;
    for (const char* p = encoded; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (UnsafeInAttribute(c)) {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02x", c);
            out.append(hex);
        } else {
            out.push_back(*p);
        }
    }
    free(encoded);
    return out;
}
