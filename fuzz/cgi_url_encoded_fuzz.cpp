// Fuzz target: the URL-encoded decoder, fed three ways by byte 0 of the input:
// the rest as text to ParseUrlEncoded, as a POST body on standard input, or
// as QUERY_STRING of a GET request. Any input decodes to as many entries as
// it reports (or -1). For direct decoding the rest, split at byte 1 into
// names and values, is also percent-encoded, joined with "=" and "&", and
// must decode back to the same pairs.
#include <cctype>
#include <cstdlib>
#include <string>

#include "base/limits.h"
#include "cgi/form_entries.h"
#include "fuzz/fuzz_pairs.h"
#include "fuzz/fuzz_support.h"

namespace {

void CheckCount(int count, const Pairs& pairs) {
    FUZZ_CHECK(count == -1 || count == static_cast<int>(pairs.size()));
}

std::string PercentEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

void RoundTrip(const std::string& text) {
    const Pairs sent = PairsOf(text);
    std::string encoded;
    for (std::size_t i = 0; i < sent.size(); ++i)
        encoded += (i == 0 ? "" : "&") + PercentEncoded(sent[i].first) + "=" + PercentEncoded(sent[i].second);
    FormEntryList list;
    FormEntryListInit(list);
    const int count = ParseUrlEncoded(list, encoded.c_str());
    FUZZ_CHECK(count == static_cast<int>(sent.size()));
    FUZZ_CHECK(EntriesOf(list) == sent);
    FormEntryListClear(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    const std::string text = FuzzText(rest, restSize);
    FormEntryList list;
    FormEntryListInit(list);
    unsetenv("CONTENT_TYPE");
    switch (data[0] % 3) {
        case 0:
            CheckCount(ParseUrlEncoded(list, text.c_str()), EntriesOf(list));
            FormEntryListClear(list);
            RoundTrip(text);
            return 0;
        case 1:
            if (restSize > kMaxPostDataLength) return 0;
            setenv("REQUEST_METHOD", "POST", 1);
            FuzzSetEnv("CONTENT_LENGTH", std::to_string(restSize));
            FuzzFeedStdin(rest, restSize);
            break;
        default:
            setenv("REQUEST_METHOD", "GET", 1);
            FuzzSetEnv("QUERY_STRING", text);
            break;
    }
    CheckCount(ReadFormEntries(list), EntriesOf(list));
    FormEntryListClear(list);
    return 0;
}
