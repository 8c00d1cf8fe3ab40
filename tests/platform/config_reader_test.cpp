// The configuration reader on files as they are: defaults, letter case of
// file, section and key names, comments, trimming, cut values and numbers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/platform_limits.h"
#include "platform/profile.h"
#include "tests/platform/config_test_dir.h"

namespace {

std::string Read(const char* section, const char* key, const char* defaultValue = "DEFAULT",
                 const char* file = "XOMTA.INI") {
    char buffer[8192];
    GetPrivateProfileString(section, key, defaultValue, buffer, sizeof buffer, file);
    return buffer;
}

TEST(ConfigDefaults, MissingDirectoryFileSectionOrKeyGiveTheDefault) {
    ConfigTestDir dir;
    EXPECT_EQ(Read("Ldap", "HostName", "localhost"), "localhost");   // no file
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Gateway]\nQueueDirectory=/var/spool/xomta\n"));
    EXPECT_EQ(Read("Ldap", "HostName", "localhost"), "localhost");   // no section
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Port", 389, "XOMTA.INI"), 389);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "RecordLimit", 0, "XOMTA.INI"), 0);
    EXPECT_EQ(Read("Gateway", "Other"), "DEFAULT");                   // no key
    EXPECT_EQ(Read("Gateway", "QueueDirectory"), "/var/spool/xomta");

    setenv("XOMTA_CONFIG_DIR", (dir.Path() + "/missing").c_str(), 1);
    EXPECT_EQ(Read("Gateway", "QueueDirectory", ""), "");
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Port", 389, "XOMTA.INI"), 389);
}

TEST(ConfigDefaults, NullDefaultGivesEmptyText) {
    ConfigTestDir dir;
    char buffer[16];
    strcpy(buffer, "junk");
    EXPECT_EQ(GetPrivateProfileString("Ldap", "HostName", nullptr, buffer, sizeof buffer, "XOMTA.INI"), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(ConfigNames, FileNameMatchesEitherLetterCase) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("Xomta.Ini", "[Ldap]\nHostName=ldap1\n"));
    EXPECT_EQ(Read("Ldap", "HostName", "", "XOMTA.INI"), "ldap1");
    EXPECT_EQ(Read("Ldap", "HostName", "", "xomta.ini"), "ldap1");
}

TEST(ConfigNames, ExactFileNameIsPreferred) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Ldap]\nHostName=upper\n"));
    ASSERT_TRUE(dir.Write("xomta.ini", "[Ldap]\nHostName=lower\n"));
    EXPECT_EQ(Read("Ldap", "HostName", "", "XOMTA.INI"), "upper");
    EXPECT_EQ(Read("Ldap", "HostName", "", "xomta.ini"), "lower");
}

TEST(ConfigNames, SectionAndKeyMatchWithoutRegardToCase) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[PREPROCESSOR]\nusecasesensitivealiaslookup=YES\n"));
    EXPECT_EQ(Read("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", "xomta.ini"), "YES");
}

TEST(ConfigNames, OnlyBareFileNamesAreLookedUp) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Ldap]\nHostName=here\n"));
    std::string inside = "../" + dir.Path().substr(dir.Path().rfind('/') + 1) + "/XOMTA.INI";
    EXPECT_EQ(Read("Ldap", "HostName", "d", inside.c_str()), "d");
    EXPECT_EQ(Read("Ldap", "HostName", "d", dir.File("XOMTA.INI").c_str()), "d");
    EXPECT_EQ(Read("Ldap", "HostName", "d", ""), "d");
    EXPECT_EQ(Read("Ldap", "HostName", "d", nullptr), "d");
    EXPECT_EQ(Read("Ldap", "HostName", "d", ".."), "d");
}

TEST(ConfigSyntax, CommentsTrimmingAndOddLines) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI",
                          "TopKey=top\n"
                          "; HostName=commented\n"
                          "[Ldap]\n"
                          "# Port=1\n"
                          ";UserName=commented\n"
                          "   HostName   =   ldap.example.org   \n"
                          "\tPassword = se;cr#et ; kept\r\n"
                          "a line without an equals sign\n"
                          "Empty=\n"
                          "Port=1389\n"
                          "Port=2389\n"
                          "[ Gateway ]\n"
                          "QueueDirectory=/var/spool/x=y\n"));
    EXPECT_EQ(Read("", "TopKey"), "top");
    EXPECT_EQ(Read("Ldap", "HostName"), "ldap.example.org");
    EXPECT_EQ(Read("Ldap", "UserName"), "DEFAULT");
    EXPECT_EQ(Read("Ldap", "Password"), "se;cr#et ; kept");
    EXPECT_EQ(Read("Ldap", "Empty"), "");
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Port", 389, "XOMTA.INI"), 1389);   // first one counts
    EXPECT_EQ(Read("Gateway", "QueueDirectory"), "/var/spool/x=y");
}

TEST(ConfigSyntax, LongValuesWholeAndOverlongLinesSkipped) {
    ConfigTestDir dir;
    std::string longValue(5000, 'q');
    std::string overlong(40000, 'z');
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Gateway]\nQueueDirectory=" + longValue + "\nJunk=" + overlong +
                                           "=Injected\nAfter=yes\n"));
    EXPECT_EQ(Read("Gateway", "QueueDirectory"), longValue);
    EXPECT_EQ(Read("Gateway", "Junk"), "DEFAULT");
    EXPECT_EQ(Read("Gateway", "After"), "yes");
    // The tail of the skipped line is not taken for a key of its own.
    EXPECT_EQ(Read("Gateway", std::string(30000, 'z').c_str()), "DEFAULT");
}

TEST(ConfigSyntax, LongestLineIsReadWholeAndOneMoreIsSkipped) {
    ConfigTestDir dir;
    // "Fits=" + value + "\n" takes the whole line buffer but its terminator.
    std::string fits(kConfigMaxLineSize - 1 - 6, 'f');
    std::string over(kConfigMaxLineSize - 1 - 5, 'o');
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Gateway]\nFits=" + fits + "\nOver=" + over + "\nNext=1\n"));
    char buffer[kConfigMaxLineSize];
    GetPrivateProfileString("Gateway", "Fits", "", buffer, sizeof buffer, "XOMTA.INI");
    EXPECT_EQ(std::string(buffer), fits);
    GetPrivateProfileString("Gateway", "Over", "skipped", buffer, sizeof buffer, "XOMTA.INI");
    EXPECT_STREQ(buffer, "skipped");
    EXPECT_EQ(GetPrivateProfileInt("Gateway", "Next", 0, "XOMTA.INI"), 1);
}

TEST(ConfigBuffer, ValueLongerThanTheBufferArrivesCut) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[PreProcessor]\nUseCaseSensitiveAliasLookup=abcdefghijkl\n"));
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    int copied = GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", buffer, 8,
                                         "xomta.ini");
    EXPECT_EQ(copied, 7);
    EXPECT_STREQ(buffer, "abcdefg");
    for (int i = 8; i < 16; ++i) EXPECT_EQ(buffer[i], '#') << "written past size at " << i;

    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileString("PreProcessor", "Missing", "0123456789", buffer, 4, "xomta.ini"), 3);
    EXPECT_STREQ(buffer, "012");
    EXPECT_EQ(buffer[4], '#');

    memset(buffer, '#', sizeof buffer);
    GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", buffer, 1, "xomta.ini");
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileString("PreProcessor", "UseCaseSensitiveAliasLookup", "NO", buffer, 0,
                                      "xomta.ini"), 0);
    EXPECT_EQ(buffer[0], '#');
}

TEST(ConfigInt, NumbersReadInTheMannerOfAtoi) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI",
                          "[Ldap]\nPort= 1389\nNegative=-5x\nWord=abc\nEmpty=\nHuge=99999999999\n"
                          "Tiny=-99999999999\nPlus=+7\n"));
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Port", 389, "XOMTA.INI"), 1389);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Negative", 1, "XOMTA.INI"), -5);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Word", 1, "XOMTA.INI"), 0);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Empty", 1, "XOMTA.INI"), 0);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Huge", 1, "XOMTA.INI"), INT_MAX);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Tiny", 1, "XOMTA.INI"), INT_MIN);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Plus", 1, "XOMTA.INI"), 7);
    EXPECT_EQ(GetPrivateProfileInt("Ldap", "Absent", 42, "XOMTA.INI"), 42);
}

}  // namespace
