// HtmlEscape: numeric character references for every character but ASCII
// letters, digits, "-" and ".". A well-formed UTF-8 sequence (the directory's
// text) becomes one reference to its code point, so that names outside ASCII
// show and come back from a form unchanged; any other byte becomes a
// reference to the byte. One result buffer serves every call and stays valid
// until the next call. The buffer starts as a static array (no allocation
// for ordinary texts) and grows for long texts, so a result is never cut.
#include "html/text_helpers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"

namespace {

char gStaticBuffer[kTextBufferSize];
char* gBuffer = gStaticBuffer;
std::size_t gCapacity = sizeof gStaticBuffer;

// Buffers outgrown by a longer text are kept, not freed: a caller that still
// holds an earlier result (against the one-result rule) reads stale text
// rather than freed memory. Capacities double, so this never fills up.
constexpr int kMaxRetired = 64;
char* gRetired[kMaxRetired];
int gRetiredCount = 0;

bool KeptAsIs(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Bytes of the escaped form of `c`: "&#" + up to three digits + ";".
std::size_t EscapedSize(unsigned char c) {
    if (KeptAsIs(c)) return 1;
    return c >= 100 ? 6 : c >= 10 ? 5 : 4;
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

char* PutReference(char* out, unsigned long number) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number);
    *out++ = '&';
    *out++ = '#';
    while (count) *out++ = digits[--count];
    *out++ = ';';
    return out;
}

// Makes room for `needed` bytes; false when memory is short.
bool Reserve(std::size_t needed) {
    if (needed <= gCapacity) return true;
    if (gRetiredCount == kMaxRetired) return false;
    std::size_t capacity = gCapacity;
    while (capacity < needed) {
        if (capacity > SIZE_MAX / 2) return false;
        capacity *= 2;
    }
    char* grown = static_cast<char*>(malloc(capacity));
    if (!grown) return false;
    if (gBuffer != gStaticBuffer) gRetired[gRetiredCount++] = gBuffer;
    gBuffer = grown;
    gCapacity = capacity;
    return true;
}

}  // namespace

const char* HtmlEscape(const char* text) {
    if (!text) text = "";

    std::size_t needed = 1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        needed += EscapedSize(*p);
    }
    // Out of memory (never seen in practice): the empty text, not a cut one.
    if (!Reserve(needed)) {
        gBuffer[0] = '\0';
        return gBuffer;
    }

    // A sequence of n bytes (code point below 1114112: at most "&#" + 7
    // digits + ";") never takes more room than its n bytes escaped one by one.
    char* out = gBuffer;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned long codePoint;
        int length = Utf8Sequence(p, &codePoint);
        if (length) {
            out = PutReference(out, codePoint);
            p += length;
        } else if (KeptAsIs(*p)) {
            *out++ = static_cast<char>(*p++);
        } else {
            out = PutReference(out, *p++);
        }
    }
    *out = '\0';
    return gBuffer;
}
