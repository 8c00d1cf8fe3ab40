// HtmlEscape's references (one per UTF-8 character, one per stray byte),
// UrlEncode's six characters, long values that must come back whole, and
// LogPrintf through to the log file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "html/text_helpers.h"

#include "base/log.h"
#include "tests/support/config_folder.h"
#include "tests/support/log_lines.h"

static std::string Repeat(const std::string& text, int times) {
    std::string result;
    while (times-- > 0) result += text;
    return result;
}

TEST(HtmlEscape, OneReferencePerCharacterAndLongValuesWhole) {
    EXPECT_EQ(HtmlEscape(nullptr), "");
    const std::pair<std::string, std::string> cases[] = {
        {"Abc-xyz.09", "Abc-xyz.09"},
        {" _@<\"'&>", "&#32;&#95;&#64;&#60;&#34;&#39;&#38;&#62;"},
        {"\xe9\xff\x01\t", "&#233;&#255;&#1;&#9;"},
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
        {Repeat("a \xe9\x01\xf0\x9f\x98\x80", 1000), Repeat("a&#32;&#233;&#1;&#128512;", 1000)},
    };
    for (const auto& [text, escaped] : cases) EXPECT_EQ(HtmlEscape(text.c_str()), escaped) << text;
}

TEST(UrlEncode, OnlyTheSixReservedCharactersAndLongValuesWhole) {
    for (auto [text, encoded] : {std::pair{"a b@c/d;e", "a b@c/d;e"}, {"", ""}, {nullptr, ""}}) {
        char* result = UrlEncode(text);
        EXPECT_STREQ(result, encoded);
        free(result);
    }
    char* result = UrlEncode(Repeat("%?+&#=", 400).c_str());
    EXPECT_EQ(result, Repeat("%25%3f%2b%26%23%3d", 400));
    free(result);
}

TEST(LogPrintf, ReachesTheLogCutAt1023AndSkipsADroppedLevel) {
    ConfigFolder dir;
    dir.Replace("XOMTA.INI", "[Log]\nFile=" + dir.File("ldapcgi.log") + "\nLevel=6\n");
    EXPECT_EQ(LogPrintf(kLogError, "User %d not found", 42), 17);
    EXPECT_EQ(LogPrintf(kLogProgress, "%sz", std::string(1022, 'y').c_str()), 1023);
    EXPECT_EQ(LogPrintf(kLogProgress, "%s", std::string(3000, 'x').c_str()), 1023);
    dir.Replace("XOMTA.INI", "[Log]\nFile=" + dir.File("ldapcgi.log") + "\nLevel=5\n");  // counts at once
    EXPECT_EQ(LogPrintf(kLogProgress, "Entry %s", reinterpret_cast<const char*>(16)),
              0);  // would fault if formatted
    EXPECT_EQ(LogPrintf(5, "kept %d", 5), 6);
    EXPECT_EQ(LogTexts(ReadWholeFile(dir.File("ldapcgi.log"))),
              (std::vector<std::string>{"User 42 not found", std::string(1022, 'y') + "z",
                                        std::string(1023, 'x'), "kept 5"}));
}
