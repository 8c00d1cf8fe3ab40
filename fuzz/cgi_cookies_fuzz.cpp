// Fuzz target: the cookie decoder. Any text as HTTP_COOKIE decodes to as many
// entries as it reports, none holding a separator (but for the text's last
// byte, which joins the last value whatever it is); and "name=value" pairs
// joined with "; " decode back to the pairs (the input, split at byte 1 into
// names and values, with the separators dropped from them).
#include <string>

#include "cgi/form_entries.h"
#include "fuzz/fuzz_pairs.h"
#include "fuzz/fuzz_support.h"

namespace {

Pairs Decode(const std::string& cookie) {
    FuzzSetEnv("HTTP_COOKIE", cookie);
    FormEntryList list = {nullptr};
    const int count = ParseCookies(list);
    Pairs pairs = EntriesOf(list);
    FormEntryListClear(list);
    FUZZ_CHECK(count == static_cast<int>(pairs.size()));
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    const Pairs any = Decode(text);
    for (std::size_t i = 0; i < any.size(); ++i) {
        FUZZ_CHECK(any[i].first.find_first_of("&;=") == std::string::npos);
        // The text's last byte joins the last value, even a separator.
        std::string value = any[i].second;
        if (i + 1 == any.size() && !value.empty() && value.back() == text.back()) value.pop_back();
        FUZZ_CHECK(value.find_first_of("&;") == std::string::npos);
    }
    Pairs sent = PairsOf(text);
    std::string cookie;
    for (auto& pair : sent) {
        pair = {Without(pair.first, "&;="), Without(pair.second, "&;")};
        cookie += (cookie.empty() ? "" : "; ") + pair.first + "=" + pair.second;
    }
    FUZZ_CHECK(Decode(cookie) == sent);
    return 0;
}
