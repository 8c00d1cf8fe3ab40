// Fuzz target: the cookie decoder. Any text as HTTP_COOKIE decodes to as many
// entries as it reports, none holding a separator (but for the text's last
// byte, which joins the last value whatever it is); and "name=value" pairs
// joined with "; " decode back to the pairs (the input, split at byte 1 into
// names and values, with the separators dropped from them).
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cgi/form_entries.h"
#include "fuzz/fuzz_support.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs Decode(const std::string& cookie, int* count) {
    FuzzSetEnv("HTTP_COOKIE", cookie);
    FormEntryList list;
    FormEntryListInit(list);
    *count = ParseCookies(list);
    Pairs pairs;
    for (const FormEntry* e = list.head; e != nullptr; e = e->next) {
        FUZZ_CHECK(e->name != nullptr && e->value != nullptr);
        pairs.emplace_back(e->name, e->value);
    }
    FormEntryListClear(list);
    return pairs;
}

std::string Without(const std::string& text, const char* dropped) {
    std::string kept;
    for (char c : text)
        if (strchr(dropped, c) == nullptr) kept.push_back(c);
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    int count = 0;
    const Pairs any = Decode(text, &count);
    FUZZ_CHECK(count == static_cast<int>(any.size()));
    for (std::size_t i = 0; i < any.size(); ++i) {
        FUZZ_CHECK(any[i].first.find_first_of("&;=") == std::string::npos);
        // The text's last byte joins the last value, even a separator.
        std::string value = any[i].second;
        if (i + 1 == any.size() && !value.empty() && value.back() == text.back()) value.pop_back();
        FUZZ_CHECK(value.find_first_of("&;") == std::string::npos);
    }

    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == '\1')
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    Pairs sent;
    std::string cookie;
    for (std::size_t i = 0; i < pieces.size(); i += 2) {
        sent.emplace_back(Without(pieces[i], "&;="),
                          i + 1 < pieces.size() ? Without(pieces[i + 1], "&;") : "");
        cookie += (i == 0 ? "" : "; ") + sent.back().first + "=" + sent.back().second;
    }
    const Pairs decoded = Decode(cookie, &count);
    FUZZ_CHECK(decoded == sent);
    return 0;
}
