// Fuzz target: the cookie decoder. Any text as HTTP_COOKIE decodes to as many
// entries as it reports; and "name=value" pairs joined with "; " decode back
// to the pairs (the input, split at byte 1 into names and values, with the
// separators dropped from them).

#include "cgi/form_entries.h"
#include "fuzz/fuzz_support.h"

namespace {

Pairs Decode(const std::string& cookie) {
    FuzzSetEnv("HTTP_COOKIE", cookie);
    FormEntryList list = {nullptr};
    const int count = ParseCookies(list);
    Pairs pairs = TakeEntries(list);
    FUZZ_CHECK(count == static_cast<int>(pairs.size()));
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    Decode(text);
    Pairs sent = PairsOf(text);
    std::string cookie;
    for (auto& pair : sent) {
        pair = {Without(pair.first, "&;="), Without(pair.second, "&;")};
        cookie += (cookie.empty() ? "" : "; ") + pair.first + "=" + pair.second;
    }
    FUZZ_CHECK(Decode(cookie) == sent);
    return 0;
}
