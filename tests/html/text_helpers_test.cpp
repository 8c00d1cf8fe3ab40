// HtmlEscape, UrlEncode and the small conversions of the same family:
// escaping edge cases, and long values that must come back whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "html/text_helpers.h"
#include "tests/html/stdout_capture.h"

namespace {

// Reverses HtmlEscape: "&#NNN;" back to the byte.
std::string DecodeReferences(const std::string& html) {
    std::string text;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '&' && i + 1 < html.size() && html[i + 1] == '#') {
            std::size_t end = html.find(';', i);
            text.push_back(static_cast<char>(std::stoi(html.substr(i + 2, end - i - 2))));
            i = end;
        } else {
            text.push_back(html[i]);
        }
    }
    return text;
}

// Reverses UrlEncode.
std::string DecodePercent(const std::string& url) {
    std::string text;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%') {
            text.push_back(static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            text.push_back(url[i]);
        }
    }
    return text;
}

std::string Url(const char* text) {
    char* encoded = UrlEncode(text);
    std::string result = encoded ? encoded : "<null>";
    free(encoded);
    return result;
}

TEST(HtmlEscape, KeepsLettersDigitsDotsAndHyphens) {
    EXPECT_STREQ(HtmlEscape("Abc-xyz.09"), "Abc-xyz.09");
    EXPECT_STREQ(HtmlEscape(""), "");
    EXPECT_STREQ(HtmlEscape(nullptr), "");
}

TEST(HtmlEscape, EscapesEveryOtherByteAsDecimalReference) {
    EXPECT_STREQ(HtmlEscape(" "), "&#32;");
    EXPECT_STREQ(HtmlEscape("_"), "&#95;");
    EXPECT_STREQ(HtmlEscape("a@b"), "a&#64;b");
    EXPECT_STREQ(HtmlEscape("<\"'&>"), "&#60;&#34;&#39;&#38;&#62;");
    EXPECT_STREQ(HtmlEscape("\xe9\xff\x01\t"), "&#233;&#255;&#1;&#9;");
}

TEST(HtmlEscape, OneResultBufferSharedByAllCalls) {
    const char* first = HtmlEscape("one");
    const char* second = HtmlEscape("two");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "two");
}

TEST(HtmlEscape, LongValuesComeBackWhole) {
    std::string value;
    for (int i = 0; i < 500; ++i) value.push_back(static_cast<char>(i % 2 ? 233 : ' '));
    std::string escaped = HtmlEscape(value.c_str());
    EXPECT_EQ(escaped.size(), 250u * 5 + 250u * 6);
    EXPECT_EQ(DecodeReferences(escaped), value);

    // Every byte value, several times over, well past any first buffer size.
    std::string all;
    for (int round = 0; round < 40; ++round)
        for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(DecodeReferences(HtmlEscape(all.c_str())), all);

    // After a long value, short ones still escape correctly.
    EXPECT_STREQ(HtmlEscape("a b"), "a&#32;b");
}

TEST(HtmlEscape, EarlierResultStaysReadableWhenTheBufferGrows) {
    // Sizes beyond what any earlier case grew the buffer to.
    std::string big(100000, '#');
    std::string bigger(300000, '#');
    const char* first = HtmlEscape(big.c_str());
    const char* second = HtmlEscape(bigger.c_str());
    // Against the one-result rule, but must not read freed memory: the
    // outgrown buffer keeps its text.
    EXPECT_EQ(DecodeReferences(first), big);
    EXPECT_EQ(DecodeReferences(second), bigger);
}

TEST(UrlEncode, EncodesOnlyTheSixReservedCharacters) {
    EXPECT_EQ(Url("a+b=c"), "a%2bb%3dc");
    EXPECT_EQ(Url("%"), "%25");
    EXPECT_EQ(Url("%?+&#="), "%25%3f%2b%26%23%3d");
    EXPECT_EQ(Url("a b@c/d;e"), "a b@c/d;e");
    EXPECT_EQ(Url(""), "");
    EXPECT_EQ(Url(nullptr), "");
}

TEST(UrlEncode, LongValuesComeBackWhole) {
    std::string value;
    for (int i = 0; i < 2000; ++i) value += "%?+&#="[i % 6];
    std::string encoded = Url(value.c_str());
    EXPECT_EQ(encoded.size(), value.size() * 3);
    EXPECT_EQ(DecodePercent(encoded), value);
}

TEST(TextConversions, PlusAndBlankSwaps) {
    char* blanks = PlusToBlank("a+b++c");
    ASSERT_NE(blanks, nullptr);
    EXPECT_STREQ(blanks, "a b  c");
    free(blanks);
    char* pluses = BlankToPlus("a b  c");
    ASSERT_NE(pluses, nullptr);
    EXPECT_STREQ(pluses, "a+b++c");
    free(pluses);
    EXPECT_EQ(PlusToBlank(""), nullptr);
    EXPECT_EQ(PlusToBlank(nullptr), nullptr);
    EXPECT_EQ(BlankToPlus(""), nullptr);
    EXPECT_EQ(BlankToPlus(nullptr), nullptr);
}

TEST(TextConversions, PrintWithEncodedNewlines) {
    int consumed = -1;
    std::string out = CaptureStdout([&] { consumed = PrintWithEncodedNewlines("a\r\nb\n%"); });
    EXPECT_EQ(out, "a%0Ab%0A%");
    EXPECT_EQ(consumed, 6);
    EXPECT_EQ(PrintWithEncodedNewlines(nullptr), 0);
}

}  // namespace
