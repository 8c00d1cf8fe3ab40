// HtmlEscape's references: one per UTF-8 character of every length, one per
// byte of a sequence that is not well-formed, and a long text never cut.
// Letters, digits and other ASCII against glibc's decoder, and LinkValue
// with the UrlEncode under it, are the escapes fuzz target's cross-checks.
#include <gtest/gtest.h>

#include <string>

#include "html/text_helpers.h"
#include "tests/support/config_folder.h"

TEST(HtmlEscape, OneReferencePerCharacterAndLongValuesWhole) {
    EXPECT_EQ(HtmlEscape(nullptr), "");
    const std::pair<std::string, std::string> cases[] = {
        // UTF-8: one reference per character, of every length.
        {"J\xc3\xbcrgen", "J&#252;rgen"},
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "&#8364;&#32;&#128512;"},
        {"\xef\xbf\xbf\xf4\x8f\xbf\xbf", "&#65535;&#1114111;"},
        // Not well-formed: each byte on its own (cut, stray, overlong,
        // surrogate, beyond U+10FFFF).
        {"\xc3", "&#195;"},
        {"\xc3\x61", "&#195;a"},
        {"\xbc", "&#188;"},
        {"\xc0\xaf", "&#192;&#175;"},
        {"\xe0\x80\xaf", "&#224;&#128;&#175;"},
        {"\xed\xa0\x80", "&#237;&#160;&#128;"},
        {"\xf4\x90\x80\x80", "&#244;&#144;&#128;&#128;"},
        {"\xe2\x82", "&#226;&#130;"},
        {Repeated("a \xe9\x01\xf0\x9f\x98\x80", 1000), Repeated("a&#32;&#233;&#1;&#128512;", 1000)},
    };
    for (const auto& [text, escaped] : cases) EXPECT_EQ(HtmlEscape(text.c_str()), escaped) << text;
}
