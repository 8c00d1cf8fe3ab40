// The configuration reader keeps parsed files between calls: every change of
// the file or of the directory must still be seen by the next call.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/profile.h"
#include "platform/profile_store.h"
#include "tests/platform/config_test_dir.h"

namespace {

std::string Host() {
    char buffer[256];
    GetPrivateProfileString("Ldap", "HostName", "localhost", buffer, sizeof buffer, "XOMTA.INI");
    return buffer;
}

std::string HostFile(const std::string& host) { return "[Ldap]\nHostName=" + host + "\n"; }

// Sets the modification time of `path` to a fixed second and nanosecond.
void SetModified(const std::string& path, time_t seconds, long nanoseconds) {
    timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ConfigChange, SameSizeRewriteWithTheSameModificationTimeIsSeen) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("alpha")));
    SetModified(dir.File("XOMTA.INI"), 1000000000, 5);
    EXPECT_EQ(Host(), "alpha");
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("bravo")));
    SetModified(dir.File("XOMTA.INI"), 1000000000, 5);
    EXPECT_EQ(Host(), "bravo");
}

TEST(ConfigChange, ReplacementByRenameIsSeen) {
    ConfigTestDir dir;
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("alpha")));
    SetModified(dir.File("XOMTA.INI"), 1000000000, 0);
    EXPECT_EQ(Host(), "alpha");
    ASSERT_TRUE(dir.Write("next.tmp", HostFile("bravo")));
    SetModified(dir.File("next.tmp"), 1000000000, 0);
    ASSERT_EQ(rename(dir.File("next.tmp").c_str(), dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(Host(), "bravo");
}

TEST(ConfigChange, RapidRewritesWithinOneClockTickAreSeen) {
    ConfigTestDir dir;
    for (int round = 0; round < 200; ++round) {
        std::string host = "host" + std::to_string(1000 + round);
        ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile(host)));
        ASSERT_EQ(Host(), host) << "round " << round;
    }
}

TEST(ConfigChange, FileAppearingDisappearingAndChangingCaseIsSeen) {
    ConfigTestDir dir;
    EXPECT_EQ(Host(), "localhost");
    ASSERT_TRUE(dir.Write("xomta.ini", HostFile("lower")));
    EXPECT_EQ(Host(), "lower");
    ASSERT_EQ(rename(dir.File("xomta.ini").c_str(), dir.File("XOMTA.ini").c_str()), 0);
    EXPECT_EQ(Host(), "lower");
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("exact")));
    EXPECT_EQ(Host(), "exact");
    ASSERT_EQ(std::remove(dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(Host(), "lower");
    ASSERT_EQ(std::remove(dir.File("XOMTA.ini").c_str()), 0);
    EXPECT_EQ(Host(), "localhost");
}

TEST(ConfigChange, AnotherDirectoryIsSeen) {
    ConfigTestDir first;
    ASSERT_TRUE(first.Write("XOMTA.INI", HostFile("first")));
    EXPECT_EQ(Host(), "first");
    {
        ConfigTestDir second;
        ASSERT_TRUE(second.Write("XOMTA.INI", HostFile("second")));
        EXPECT_EQ(Host(), "second");
    }
    setenv("XOMTA_CONFIG_DIR", first.Path().c_str(), 1);
    EXPECT_EQ(Host(), "first");
}

TEST(ConfigChange, UnreadableEntriesGiveTheDefault) {
    ConfigTestDir dir;
    ASSERT_EQ(mkdir(dir.File("XOMTA.INI").c_str(), 0755), 0);
    EXPECT_EQ(Host(), "localhost");
    ASSERT_EQ(rmdir(dir.File("XOMTA.INI").c_str()), 0);
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("file")));
    EXPECT_EQ(Host(), "file");
}

TEST(ConfigVersion, NamesTheContentAndChangesWithIt) {
    ConfigTestDir dir;
    EXPECT_EQ(ProfileStoreVersion("XOMTA.INI"), 0u);
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("alpha")));
    unsigned long long first = ProfileStoreVersion("XOMTA.INI");
    EXPECT_NE(first, 0u);
    EXPECT_EQ(ProfileStoreVersion("XOMTA.INI"), first);
    EXPECT_EQ(ProfileStoreVersion("xomta.ini"), first);  // the same file
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("alpha")));  // rewritten, same text
    EXPECT_EQ(ProfileStoreVersion("XOMTA.INI"), first);
    ASSERT_TRUE(dir.Write("XOMTA.INI", HostFile("bravo")));
    unsigned long long second = ProfileStoreVersion("XOMTA.INI");
    EXPECT_NE(second, first);
    EXPECT_NE(second, 0u);
    EXPECT_EQ(Host(), "bravo");
    ASSERT_EQ(std::remove(dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(ProfileStoreVersion("XOMTA.INI"), 0u);
    EXPECT_EQ(ProfileStoreVersion("../XOMTA.INI"), 0u);
}

}  // namespace
