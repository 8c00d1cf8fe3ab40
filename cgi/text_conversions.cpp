// Small text conversions of the CGI library: angle-bracket and shell
// escaping, substrings, integer text, and the image test on HTTP_ACCEPT.
// Results are newly allocated (null when memory is short) unless said otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/limits.h"
#include "cgi/emitters.h"

char* EscapeAngleBrackets(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t len = strlen(text);
    char* out = static_cast<char*>(malloc(4 * len + 1));
    if (out == nullptr) return nullptr;
    char* p = out;
    for (; *text; ++text) {
        if (*text == '<') {
            memcpy(p, "&lt;", 4);
            p += 4;
        } else if (*text == '>') {
            memcpy(p, "&gt;", 4);
            p += 4;
        } else {
            *p++ = *text;
        }
    }
    *p = '\0';
    return out;
}

char* EscapeForShell(const char* text) {
    if (text == nullptr) return nullptr;
    char* out = static_cast<char*>(malloc(2 * strlen(text) + 1));
    if (out == nullptr) return nullptr;
    char* p = out;
    for (; *text; ++text) {
        const char c = *text;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain) *p++ = '\\';
        *p++ = c;
    }
    *p = '\0';
    return out;
}

char* Substring(const char* text, int start, int length) {
    if (text == nullptr) return nullptr;
    const long len = static_cast<long>(strlen(text));
    long from = start;
    if (from < 0) from = from + len - 1;   // counts from the end
    if (from < 0 || from > len) return nullptr;
    // The copy stops at the end of the text; a negative length gives "".
    long n = length < 0 ? 0 : length;
    if (n > len - from) n = len - from;
    char* out = static_cast<char*>(malloc(static_cast<std::size_t>(n) + 1));
    if (out == nullptr) return nullptr;
    memcpy(out, text + from, static_cast<std::size_t>(n));
    out[n] = '\0';
    return out;
}

const char* IntToText(int number) {
    static char text[kIntTextSize];
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "%d", number);
    return text;
}

bool AcceptsImages() {
    const char* accept = getenv("HTTP_ACCEPT");
    return accept != nullptr && strstr(accept, "image") != nullptr;
}
