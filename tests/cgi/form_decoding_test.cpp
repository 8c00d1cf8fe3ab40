// URL-encoded decoding, and a POST body read in-process with lookups on it.
#include <gtest/gtest.h>

#include "tests/cgi/cgi_test_support.h"

struct Example {
    const char* input;
    Pairs entries;
    int result;
};

TEST(ParseUrlEncoded, ExampleTable) {
    const Example examples[] = {
        {"a=1&b=2", {{"a", "1"}, {"b", "2"}}, 2},
        {"a=&b=2", {{"a", ""}, {"b", "2"}}, 2},
        {"x=1&a=", {{"x", "1"}, {"a", ""}}, 2},
        {"a=1&b&", {{"a", "1"}, {"b", ""}}, 2},
        {"a=1&b", {{"a", "1"}, {"b", ""}}, -1},
        {"a&b=1", {{"a", ""}}, -1},
        {"a=1&&b=2", {{"a", "1"}, {"", ""}}, -1},
        {"a=b=c", {{"a", "b"}, {"c", ""}}, -1},
        {"a=b=", {{"a", "b"}}, 1},
        {"=x", {{"", "x"}}, 1},
        {"", {}, 0},
        {"First=John+Smith&Other=a%2Bb&S=%2f%2F",
         {{"First", "John Smith"}, {"Other", "a+b"}, {"S", "//"}},
         3},
        {"My+Field%3D=x%26y", {{"My Field=", "x&y"}}, 1},
        // "%" with fewer than two characters after it is kept.
        {"a=%4&b=%&c%=1&d=x%", {{"a", "%4"}, {"b", "%"}, {"c%", "1"}, {"d", "x%"}}, 4},
    };
    FormEntryList list = {nullptr};
    for (const Example& ex : examples) {  // each parse replaces what the list held
        EXPECT_EQ(ParseUrlEncoded(list, ex.input), ex.result) << ex.input;
        EXPECT_EQ(EntriesOf(list), ex.entries) << ex.input;
    }
    FormEntryListClear(list);
}

TEST(ReadFormEntries, PostTakesExactlyContentLengthBytesAndLookupsMatchNamesExactly) {
    SetCgiEnvironment({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "8192"}});
    const std::string value(8171, 'v');  // the body reaches the limit with it
    FeedStdin("Mail=x1&Other=y&Mail=" + value + "&c=3");
    FormEntryList list = {nullptr};
    EXPECT_EQ(ReadFormEntries(list), 3);
    EXPECT_STREQ(FormValue(list.head, "Mail"), "x1");
    EXPECT_EQ(FormValue(list.head, "mail"), nullptr);
    EXPECT_EQ(FormValue(list.head, "c"), nullptr);
    const char** values = FormValues(list.head, "Mail");
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(values[0], "x1");
    EXPECT_EQ(values[1], value);
    EXPECT_EQ(values[2], nullptr);
    free(values);
    EXPECT_EQ(FormValues(list.head, "None"), nullptr);
    FormEntryListClear(list);
    SetCgiEnvironment({});
}
