// Decoding of application/x-www-form-urlencoded text (a query string or a POST
// body) into form entries, and the percent-escape helpers. Works on a private
// copy of the text; never reads past its terminator. An escape that decodes
// to a NUL byte makes the whole text malformed: the byte would cut its value.
#include <cstdlib>
#include <cstring>

#include "cgi/form_entries.h"

char HexPairToChar(const char* pair) {
    // Non-hex characters are not rejected: they go through the same arithmetic.
    int digits[2];
    for (int i = 0; i < 2; ++i) {
        unsigned c = static_cast<unsigned char>(pair[i]);
        digits[i] = (c >= 65 && c <= 127) ? static_cast<int>(c & 0xDF) - 55 : static_cast<int>(c) - 48;
    }
    return static_cast<char>(static_cast<unsigned>(16 * digits[0] + digits[1]) & 0xFFu);
}

bool UnescapeUrl(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        // A "%" without two characters after it is kept as it stands.
        if (in[0] == '%' && in[1] != '\0' && in[2] != '\0') {
            *out = HexPairToChar(in + 1);
            // A NUL would end the text early: what follows would be lost.
            if (*out == '\0') return false;
            ++out;
            in += 2;
        } else {
            *out++ = *in;
        }
    }
    *out = '\0';
    return true;
}

int ParseUrlEncoded(FormEntryList& list, const char* text) {
    FormEntryListClear(list);
    char* work = CopyString(text);
    if (work == nullptr) return kFormMalformed;
    const std::size_t len = strlen(work);

    int count = 0;
    bool expectingValue = false;
    const char* pendingName = "";
    FormEntry* last = nullptr;
    std::size_t i = 0;
    int result = 0;
    while (i < len) {
        // Collect up to the next separator, "+" becoming a blank.
        const std::size_t start = i;
        for (; i < len && work[i] != '=' && work[i] != '&'; ++i)
            if (work[i] == '+') work[i] = ' ';
        const char separator = work[i];  // '=', '&' or the terminator
        work[i] = '\0';
        char* collected = work + start;
        if (!UnescapeUrl(collected)) {
            result = kFormMalformed;
            break;
        }

        if (expectingValue) {
            last = FormEntryListInsertAfter(list, last, pendingName, collected);
            if (last == nullptr) {
                result = kFormMalformed;
                break;
            }
            ++count;
            expectingValue = false;
        } else if (separator == '=' && i + 1 < len) {
            pendingName = collected;
            expectingValue = true;
        } else {
            last = FormEntryListInsertAfter(list, last, collected, "");
            if (last == nullptr) {
                result = kFormMalformed;
                break;
            }
            // A name without "=" is accepted only when a final "&" follows it.
            if (i + 1 != len) {
                result = kFormMalformed;
                break;
            }
            ++count;
        }
        ++i;
    }
    free(work);
    return result == kFormMalformed ? kFormMalformed : count;
}
