// Cookie decoding from HTTP_COOKIE: separators, the final byte, no unescaping.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"

namespace {

struct CookieCase {
    const char* cookie;
    Pairs entries;
};

TEST(ParseCookies, Examples) {
    const CookieCase cases[] = {
        {"a=1; b=2", {{"a", "1"}, {"b", "2"}}},
        {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"a=x%41+y", {{"a", "x%41+y"}}},        // taken as sent
        {"a=", {{"a", ""}}},                     // final "=" gives an empty value
        {"a=1&", {{"a", "1&"}}},                 // a final byte joins the value, even "&"
        {"tok=ab==", {{"tok", "ab=="}}},         // "=" inside a value is kept
        {"a=1;b=2", {{"a", "1"}, {"b", "2"}}},   // only a blank after ";" is skipped
        {"lonely", {}},                          // a name without "=" gives nothing
        {"", {}},
    };
    for (const CookieCase& c : cases) {
        setenv("HTTP_COOKIE", c.cookie, 1);
        FormEntryList list = {nullptr};
        EXPECT_EQ(ParseCookies(list), static_cast<int>(c.entries.size())) << c.cookie;
        EXPECT_EQ(EntriesOf(list), c.entries) << c.cookie;
        FormEntryListClear(list);
    }
    unsetenv("HTTP_COOKIE");
}

TEST(ParseCookies, AbsentVariableLeavesTheListAlone) {
    unsetenv("HTTP_COOKIE");
    FormEntryList list = {nullptr};
    FormEntryListInsertAfter(list, nullptr, "kept", "1");
    EXPECT_EQ(ParseCookies(list), 0);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"kept", "1"}}));
    FormEntryListClear(list);
}

}  // namespace
