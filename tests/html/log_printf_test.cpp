// LogPrintf through to the log file named by the configuration: the line
// that arrives, and the cut of an overlong message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "html/text_helpers.h"

namespace {

class LogPrintfTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::string(LDAPCGI_BINARY_DIR) + "/html-log-XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir_ = pattern;
        logFile_ = dir_ + "/ldapcgi.log";
        std::ofstream(dir_ + "/XOMTA.INI") << "[Log]\nFile=" << logFile_ << "\n";
        setenv("XOMTA_CONFIG_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XOMTA_CONFIG_DIR");
        std::remove(logFile_.c_str());
        std::remove((dir_ + "/XOMTA.INI").c_str());
        rmdir(dir_.c_str());
    }
    std::string LogText() {
        std::ifstream in(logFile_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string dir_, logFile_;
};

TEST_F(LogPrintfTest, FormattedLineReachesTheLogUnderTheApplicationName) {
    EXPECT_EQ(LogPrintf(1, "User %d not found", 42), 17);
    std::string expectedEnd = " 1 LDAP CGI[" + std::to_string(getpid()) + "]: User 42 not found\n";
    std::string log = LogText();
    ASSERT_GE(log.size(), expectedEnd.size());
    EXPECT_EQ(log.substr(log.size() - expectedEnd.size()), expectedEnd);
    EXPECT_EQ(log.find('\n'), log.size() - 1);
}

TEST_F(LogPrintfTest, MessageLongerThan1023CharactersIsCut) {
    std::string longText(3000, 'x');
    EXPECT_EQ(LogPrintf(6, "%s", longText.c_str()), 1023);
    std::string log = LogText();
    std::size_t colon = log.find("]: ");
    ASSERT_NE(colon, std::string::npos);
    EXPECT_EQ(log.substr(colon + 3), std::string(1023, 'x') + "\n");
}

TEST_F(LogPrintfTest, MessageOf1023CharactersArrivesWhole) {
    std::string text(1022, 'y');
    EXPECT_EQ(LogPrintf(6, "%sz", text.c_str()), 1023);
    std::string log = LogText();
    EXPECT_EQ(log.substr(log.find("]: ") + 3), text + "z\n");
}

TEST_F(LogPrintfTest, DroppedLevelIsNotFormattedAndTheNextSettingCounts) {
    std::ofstream(dir_ + "/XOMTA.INI") << "[Log]\nFile=" << logFile_ << "\nLevel=5\n";
    // A conversion that would fault if it were formatted.
    EXPECT_EQ(LogPrintf(6, "Entry %s", reinterpret_cast<const char*>(16)), 0);
    EXPECT_EQ(LogPrintf(5, "kept %d", 5), 6);
    std::ofstream(dir_ + "/XOMTA.INI") << "[Log]\nFile=" << logFile_ << "\nLevel=6\n";
    EXPECT_EQ(LogPrintf(6, "now %d", 6), 5);
    std::string log = LogText();
    EXPECT_EQ(log.find("Entry"), std::string::npos);
    EXPECT_NE(log.find("]: kept 5\n"), std::string::npos);
    EXPECT_NE(log.find("]: now 6\n"), std::string::npos);
}

}  // namespace
