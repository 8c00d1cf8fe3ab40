// HtmlEscape and UrlEncode edge cases, long values that must come back whole,
// and LogPrintf through to the log file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "html/text_helpers.h"

#include "base/log.h"

static std::string Repeat(const std::string& text, int times) {
    std::string result;
    while (times-- > 0) result += text;
    return result;
}

static std::string Url(const char* text) {
    char* encoded = UrlEncode(text);
    std::string result = encoded ? encoded : "<null>";
    free(encoded);
    return result;
}

TEST(HtmlEscape, EdgeCasesAndLongValues) {
    EXPECT_EQ(HtmlEscape(nullptr), "");
    const std::pair<const char*, const char*> cases[] = {
        {"Abc-xyz.09", "Abc-xyz.09"},
        {"", ""},
        {" _@", "&#32;&#95;&#64;"},
        {"<\"'&>", "&#60;&#34;&#39;&#38;&#62;"},
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
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlEscape(c.first), c.second) << c.first;
    // Long values come back whole.
    EXPECT_EQ(HtmlEscape(Repeat("a \xe9\x01", 1000).c_str()), Repeat("a&#32;&#233;&#1;", 1000));
    EXPECT_EQ(HtmlEscape(Repeat("\xf0\x9f\x98\x80", 1000).c_str()), Repeat("&#128512;", 1000));
    // Two results in one expression stay apart.
    EXPECT_EQ(HtmlEscape("a b") + HtmlEscape("<"), "a&#32;b&#60;");
}

TEST(UrlEncode, OnlyTheSixReservedCharactersAndLongValuesWhole) {
    EXPECT_EQ(Url("%?+&#="), "%25%3f%2b%26%23%3d");
    EXPECT_EQ(Url("a b@c/d;e"), "a b@c/d;e");
    EXPECT_EQ(Url(""), "");
    EXPECT_EQ(Url(nullptr), "");
    EXPECT_EQ(Url(Repeat("%?+&#=", 400).c_str()), Repeat("%25%3f%2b%26%23%3d", 400));
}

TEST(LogPrintf, ReachesTheLogCutAt1023AndSkipsADroppedLevel) {
    const std::string dir = std::string(LDAPCGI_BINARY_DIR) + "/html-log-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    setenv("XOMTA_CONFIG_DIR", dir.c_str(), 1);
    auto configure = [&](const char* level) {
        std::ofstream(dir + "/XOMTA.INI") << "[Log]\nFile=" << dir << "/ldapcgi.log\nLevel=" << level << "\n";
    };
    configure("6");
    EXPECT_EQ(LogPrintf(kLogError, "User %d not found", 42), 17);
    EXPECT_EQ(LogPrintf(kLogProgress, "%sz", std::string(1022, 'y').c_str()), 1023);
    EXPECT_EQ(LogPrintf(kLogProgress, "%s", std::string(3000, 'x').c_str()), 1023);
    configure("5");  // a changed setting counts at once
    // Would fault if formatted.
    EXPECT_EQ(LogPrintf(kLogProgress, "Entry %s", reinterpret_cast<const char*>(16)), 0);
    EXPECT_EQ(LogPrintf(5, "kept %d", 5), 6);
    std::ifstream log(dir + "/ldapcgi.log");
    std::vector<std::string> lines;  // each without its time stamp
    for (std::string line; std::getline(log, line);) lines.push_back(line.substr(line.find(' ')));
    const std::string head = " LDAP CGI[" + std::to_string(getpid()) + "]: ";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         " 1" + head + "User 42 not found", " 6" + head + std::string(1022, 'y') + "z",
                         " 6" + head + std::string(1023, 'x'), " 5" + head + "kept 5"}));
    unsetenv("XOMTA_CONFIG_DIR");
    std::system(("rm -rf '" + dir + "'").c_str());
}
