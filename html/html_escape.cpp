// HtmlEscape: numeric character references for every character but ASCII
// letters, digits, "-" and ".". A well-formed UTF-8 sequence (the directory's
// text) becomes one reference to its code point, so that names outside ASCII
// show and come back from a form unchanged; any other byte becomes a
// reference to the byte (IsUtf8 tells whether a text holds any such byte).
// Each call returns its own string, so results never alias one another and a
// long text is never cut.
#include "html/text_helpers.h"

#include <cstdio>
#include <string>

namespace {

bool KeptAsIs(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The length (2 to 4) of the well-formed UTF-8 sequence that starts at `p`,
// with its code point; 0 when `p` starts none (ASCII, a stray continuation
// byte, an overlong form, a surrogate, a cut sequence). The terminating NUL
// is no continuation byte, so nothing is read past it.
int Utf8Sequence(const unsigned char* p, unsigned long* codePoint) {
    unsigned char lead = p[0];
    int length;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (p[1] < low || p[1] > high) return 0;
    unsigned long value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    *codePoint = value;
    return length;
}

void PutReference(std::string* out, unsigned long number) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number);
    *out += "&#";
    while (count) *out += digits[--count];
    *out += ';';
}

}  // namespace

std::string HtmlEscape(const char* text) {
    std::string out;
    if (!text) return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned long codePoint;
        int length = Utf8Sequence(p, &codePoint);
        if (length) {
            PutReference(&out, codePoint);
            p += length;
        } else if (KeptAsIs(*p)) {
            out += static_cast<char>(*p++);
        } else {
            PutReference(&out, *p++);
        }
    }
    return out;
}

std::string TerminalText(const std::string& text) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.c_str());
    for (std::size_t at = 0; at < text.size();) {
        unsigned long codePoint = 0;
        const int length = p[at] < 0x80 ? 1 : Utf8Sequence(p + at, &codePoint);
        const bool control =
            length == 1 ? p[at] < 0x20 || p[at] == 0x7F : length == 0 || codePoint < 0xA0;  // C1 controls
        if (!control) {
            out.append(text, at, length);
            at += length;
            continue;
        }
        char pair[5];
        snprintf(pair, sizeof pair, "\\x%02X", p[at++]);
        out += pair;
    }
    return out;
}

bool IsUtf8(const char* text) {
    unsigned long codePoint;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        const int length = *p < 0x80 ? 1 : Utf8Sequence(p, &codePoint);
        if (length == 0) return false;
        p += length;
    }
    return true;
}
