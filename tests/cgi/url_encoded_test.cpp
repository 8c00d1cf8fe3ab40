// URL-encoded decoding: the example table, "+" and escapes, short escapes,
// and the hexadecimal arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"

namespace {

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
    };
    for (const Example& ex : examples) {
        FormEntryList list = {nullptr};
        EXPECT_EQ(ParseUrlEncoded(list, ex.input), ex.result) << ex.input;
        EXPECT_EQ(EntriesOf(list), ex.entries) << ex.input;
        FormEntryListClear(list);
    }
}

TEST(ParseUrlEncoded, EmptyTextGivesNoEntries) {
    FormEntryList list = {nullptr};
    EXPECT_EQ(ParseUrlEncoded(list, ""), 0);
    EXPECT_EQ(list.head, nullptr);
}

TEST(ParseUrlEncoded, PlusIsBlankAndEscapedPlusIsPlus) {
    FormEntryList list = {nullptr};
    EXPECT_EQ(ParseUrlEncoded(list, "FirstName=John+Smith&Other=a%2Bb&Slash=%2f%2F"), 3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"FirstName", "John Smith"}, {"Other", "a+b"}, {"Slash", "//"}}));
    FormEntryListClear(list);
}

TEST(ParseUrlEncoded, NamesAreDecodedLikeValues) {
    FormEntryList list = {nullptr};
    EXPECT_EQ(ParseUrlEncoded(list, "My+Field%3D=x%26y"), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"My Field=", "x&y"}}));
    FormEntryListClear(list);
}

TEST(ParseUrlEncoded, DuplicatesKeptInInputOrder) {
    FormEntryList list = {nullptr};
    EXPECT_EQ(ParseUrlEncoded(list, "Mail=x1&Mail=x2"), 2);
    EXPECT_STREQ(FormValue(list.head, "Mail"), "x1");
    const char** values = FormValues(list.head, "Mail");
    ASSERT_NE(values, nullptr);
    EXPECT_STREQ(values[0], "x1");
    EXPECT_STREQ(values[1], "x2");
    EXPECT_EQ(values[2], nullptr);
    free(values);
    EXPECT_EQ(FormValue(list.head, "mail"), nullptr);
    FormEntryListClear(list);
}

TEST(ParseUrlEncoded, ReplacesWhatTheListHeld) {
    FormEntryList list = {nullptr};
    ParseUrlEncoded(list, "old=1&older=2");
    EXPECT_EQ(ParseUrlEncoded(list, "new=3"), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"new", "3"}}));
    FormEntryListClear(list);
}

TEST(ParseUrlEncoded, ShortEscapesAtTheEndAreKept) {
    FormEntryList list = {nullptr};
    EXPECT_EQ(ParseUrlEncoded(list, "a=%4&b=%&c%=1&d=x%"), 4);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", "%4"}, {"b", "%"}, {"c%", "1"}, {"d", "x%"}}));
    FormEntryListClear(list);
}

TEST(UnescapeUrl, DecodesInPlace) {
    char text[] = "%41b%63%20%7e%";
    UnescapeUrl(text);
    EXPECT_STREQ(text, "Abc ~%");
    char lone[] = "%";
    UnescapeUrl(lone);
    EXPECT_STREQ(lone, "%");
    char one[] = "x%4";
    UnescapeUrl(one);
    EXPECT_STREQ(one, "x%4");
    char plus[] = "a+b";
    UnescapeUrl(plus);
    EXPECT_STREQ(plus, "a+b");   // only ParseUrlEncoded turns "+" into a blank
}

TEST(HexPairToChar, EitherLetterCaseAndNonHexArithmetic) {
    EXPECT_EQ(HexPairToChar("2f"), '/');
    EXPECT_EQ(HexPairToChar("2F"), '/');
    EXPECT_EQ(HexPairToChar("00"), '\0');
    EXPECT_EQ(static_cast<unsigned char>(HexPairToChar("ff")), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(HexPairToChar("Ff")), 0xFF);
    // Not rejected: "G" counts 16, "!" counts 33 - 48 = -15.
    EXPECT_EQ(static_cast<unsigned char>(HexPairToChar("1G")), 32);
    EXPECT_EQ(static_cast<unsigned char>(HexPairToChar("!0")), static_cast<unsigned char>(-15 * 16));
    // Bytes above 127 count their code - 48.
    const char high[] = {static_cast<char>(0xC8), '0', 0};
    EXPECT_EQ(static_cast<unsigned char>(HexPairToChar(high)), static_cast<unsigned char>((200 - 48) * 16));
}

}  // namespace
