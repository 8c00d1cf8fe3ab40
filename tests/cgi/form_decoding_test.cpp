// URL-encoded decoding, and a POST body read in-process with lookups on it.
// Well-formed fields of any bytes decoding back is the cgi_url_encoded fuzz
// target's round trip; these rows hold the malformed ones and the NUL bytes.
#include <gtest/gtest.h>

#include "tests/cgi/cgi_test_support.h"

TEST(ParseUrlEncoded, MalformedFieldsEscapesAndNul) {
    const struct {
        const char* input;
        Pairs entries;
        int result;
    } examples[] = {
        {"a=1&b&", {{"a", "1"}, {"b", ""}}, 2},
        {"a=1&b", {{"a", "1"}, {"b", ""}}, -1},
        {"a&b=1", {{"a", ""}}, -1},
        {"a=1&&b=2", {{"a", "1"}, {"", ""}}, -1},
        {"a=b=c", {{"a", "b"}, {"c", ""}}, -1},
        {"a=b=", {{"a", "b"}}, 1},
        {"", {}, 0},
        // "%" with fewer than two characters after it is kept.
        {"a=%4&b=%&c%=1&d=x%", {{"a", "%4"}, {"b", "%"}, {"c%", "1"}, {"d", "x%"}}, 4},
        // An escape that decodes to NUL would cut its text: the request is malformed.
        {"Mail=anna@example.com%00junk", {}, -1},
        {"a=1&b%00=2", {{"a", "1"}}, -1},
        {"a=1&b=%1+", {{"a", "1"}}, -1},                // "+" is a blank first: 16 * 1 + (32 - 48) = 0
        {"a=%zz&b=%0A", {{"a", "S"}, {"b", "\n"}}, 2},  // other odd escapes stay lenient
    };
    FormEntryList list = {nullptr};
    for (const auto& ex : examples) {  // each parse replaces what the list held
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
}

// The body's type decides the decoder; any type but a form's is refused.
TEST(ReadFormEntries, ContentTypesAndRawNul) {
    const struct {
        const char* contentType;  // null: none
        std::string body;
        int result;
    } cases[] = {
        {nullptr, "a=1", 1},
        {"Application/X-WWW-Form-Urlencoded ; charset=UTF-8", "a=1", 1},
        {"text/plain", "Command=VerifyDeleteUser&Mail=x", kFormMalformed},
        {"text/plain; x=multipart/form-data", "a=1", kFormMalformed},
        {"", "a=1", 1},  // set, but empty: none
        {"; charset=x", "a=1", kFormMalformed},
        {nullptr, std::string("a=1&b=2\0&c=3", 12), kFormMalformed},  // a raw NUL in the body
    };
    FormEntryList list = {nullptr};
    for (const auto& c : cases) {
        Environment env = {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", std::to_string(c.body.size())}};
        if (c.contentType != nullptr) env["CONTENT_TYPE"] = c.contentType;
        SetCgiEnvironment(env);
        FeedStdin(c.body);
        EXPECT_EQ(ReadFormEntries(list), c.result) << (c.contentType ? c.contentType : "none");
    }
    // A GET's content type does not matter: it has no body.
    SetCgiEnvironment({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "a=1"}, {"CONTENT_TYPE", "text/plain"}});
    EXPECT_EQ(ReadFormEntries(list), 1);
    FormEntryListClear(list);
    SetCgiEnvironment({});
}
