// HtmlEscape: numeric character references for every byte but ASCII letters,
// digits, "-" and ".". One result buffer serves every call and stays valid
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

    char* out = gBuffer;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        if (KeptAsIs(c)) {
            *out++ = static_cast<char>(c);
            continue;
        }
        *out++ = '&';
        *out++ = '#';
        if (c >= 100) *out++ = static_cast<char>('0' + c / 100);
        if (c >= 10) *out++ = static_cast<char>('0' + c / 10 % 10);
        *out++ = static_cast<char>('0' + c % 10);
        *out++ = ';';
    }
    *out = '\0';
    return gBuffer;
}
