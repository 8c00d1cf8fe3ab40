// Fuzz target: the URL-encoded decoder, fed three ways by byte 0 of the input:
// the rest as text to ParseUrlEncoded, as a POST body on standard input, or
// as QUERY_STRING of a GET request. Any input decodes to as many entries as
// it reports (or -1). For direct decoding the rest, split at byte 1 into
// names and values, is also encoded as a browser does (blanks as "+", other
// bytes but letters and digits as escapes in either letter case), joined
// with "=" and "&", and must decode back to the same pairs.
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string Encoded(const std::string& text) {
    std::string out;
    char escape[4];
    for (unsigned char c : text) {
        snprintf(escape, sizeof escape, c % 2 ? "%%%02x" : "%%%02X", c);
        out += c == ' ' ? "+" : isalnum(c) ? std::string(1, static_cast<char>(c)) : escape;
    }
    return out;
}

// The entries of `text`, or of the request when it is null.
int Decoded(const char* text, Pairs* pairs) {
    FormEntryList list = {nullptr};
    const int count = text == nullptr ? ReadFormEntries(list) : ParseUrlEncoded(list, text);
    *pairs = TakeEntries(list);
    FUZZ_CHECK(count == kFormMalformed || count == static_cast<int>(pairs->size()));
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text = FuzzText(data + 1, size - 1);
    unsetenv("CONTENT_TYPE");
    Pairs pairs;
    if (data[0] % 3 == 0) {
        Decoded(text.c_str(), &pairs);
        const Pairs sent = PairsOf(text);
        std::string encoded;
        for (const auto& pair : sent)
            encoded += (encoded.empty() ? "" : "&") + Encoded(pair.first) + "=" + Encoded(pair.second);
        FUZZ_CHECK(Decoded(encoded.c_str(), &pairs) == static_cast<int>(sent.size()) && pairs == sent);
        return 0;
    }
    if (data[0] % 3 == 1 && size - 1 > kMaxPostDataLength) return 0;
    setenv("REQUEST_METHOD", data[0] % 3 == 1 ? "POST" : "GET", 1);
    FuzzSetEnv("CONTENT_LENGTH", std::to_string(size - 1));
    FuzzFeedStdin(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    FuzzSetEnv("QUERY_STRING", text);
    Decoded(nullptr, &pairs);
    return 0;
}
