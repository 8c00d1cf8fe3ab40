// The log service writing to the file named by [Log] File: the line format,
// one line per call whatever the text holds, and whole lines when several
// processes log at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/logapi.h"
#include "platform/platform_limits.h"
#include "tests/platform/config_test_dir.h"

namespace {

int Format(int level, std::size_t limit, const char* format, ...) __attribute__((format(printf, 3, 4)));
int Format(int level, std::size_t limit, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = LogFormatV(level, "LDAP CGI", limit, format, args);
    va_end(args);
    return length;
}

class LogServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        logFile_ = dir_.File("mail.log");
        ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\n"));
    }
    std::vector<std::string> Lines() {
        std::ifstream in(logFile_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string Text() {
        std::ifstream in(logFile_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    ConfigTestDir dir_;
    std::string logFile_;
};

TEST_F(LogServiceTest, LineHoldsTimeLevelApplicationAndText) {
    LogMessage(6, "LDAP CGI", "Alias table 12 built");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    std::regex format("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z 6 LDAP CGI\\[" +
                      std::to_string(getpid()) + "\\]: Alias table 12 built");
    EXPECT_TRUE(std::regex_match(lines[0], format)) << lines[0];
}

TEST_F(LogServiceTest, LinesOfAForkedChildCarryItsOwnProcessId) {
    LogMessage(6, "LDAP CGI", "parent before");
    pid_t child = fork();
    if (child == 0) {
        LogMessage(6, "LDAP CGI", "child");
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    LogMessage(-12, "LDAP CGI", "parent after");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    std::string parent = "LDAP CGI[" + std::to_string(getpid()) + "]: ";
    EXPECT_NE(lines[0].find(" 6 " + parent + "parent before"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" 6 LDAP CGI[" + std::to_string(child) + "]: child"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(" -12 " + parent + "parent after"), std::string::npos) << lines[2];
}

TEST_F(LogServiceTest, LinesAreAppendedAfterWhatIsThere) {
    ASSERT_TRUE(dir_.Write("mail.log", "earlier line\n"));
    LogMessage(1, "LDAP CGI", "first");
    LogMessage(1, "Other", "second");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_NE(lines[1].find(" 1 LDAP CGI["), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 7), ": first");
    EXPECT_NE(lines[2].find(" 1 Other["), std::string::npos);
    EXPECT_EQ(lines[2].substr(lines[2].size() - 8), ": second");
}

TEST_F(LogServiceTest, LineBreaksInTheTextBecomeBlanks) {
    LogMessage(1, "LDAP\nCGI", "line one\nline two\r\nthree\n");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" 1 LDAP CGI["), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].find("]: ") + 3), "line one line two  three ");
}

TEST_F(LogServiceTest, NullTextsAndOverlongTextsStayOneLine) {
    LogMessage(3, nullptr, nullptr);
    std::string huge(kLogMaxTextSize * 2, 'h');
    LogMessage(3, "LDAP CGI", huge.c_str());
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), ": ");
    EXPECT_EQ(lines[1].substr(lines[1].find("]: ") + 3), std::string(kLogMaxTextSize, 'h'));
}

TEST_F(LogServiceTest, ConcurrentProcessesWriteWholeLines) {
    constexpr int kProcesses = 4;
    constexpr int kLinesEach = 300;
    std::string payload(600, 'p');
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0; i < kLinesEach; ++i) LogMessage(6, "LDAP CGI", (std::to_string(i) + payload).c_str());
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kProcesses * kLinesEach));
    std::regex format(".*Z 6 LDAP CGI\\[\\d+\\]: \\d+p{600}");
    for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, format)) << line.substr(0, 80);
}

TEST_F(LogServiceTest, LevelSettingDropsHigherLevels) {
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\nLevel = 5\n"));
    LogMessage(6, "LDAP CGI", "progress");
    LogMessage(1, "LDAP CGI", "error");
    LogMessage(5, "LDAP CGI", "notice");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("error"), std::string::npos);
    EXPECT_NE(lines[1].find("notice"), std::string::npos);
}

TEST_F(LogServiceTest, LevelCheckFollowsTheSettingOnTheNextCall) {
    EXPECT_TRUE(LogLevelEnabled(1));
    EXPECT_TRUE(LogLevelEnabled(6));
    EXPECT_TRUE(LogLevelEnabled(1000));
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\nLevel = 5\n"));
    EXPECT_TRUE(LogLevelEnabled(5));
    EXPECT_FALSE(LogLevelEnabled(6));
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\nLevel = 6\n"));
    EXPECT_TRUE(LogLevelEnabled(6));
    EXPECT_FALSE(LogLevelEnabled(7));
    LogMessage(6, "LDAP CGI", "now written");
    ASSERT_EQ(std::remove(dir_.File("XOMTA.INI").c_str()), 0);
    EXPECT_TRUE(LogLevelEnabled(7));  // no file: every level
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\nLevel = 0\n"));
    EXPECT_FALSE(LogLevelEnabled(1));
    LogMessage(1, "LDAP CGI", "dropped");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("now written"), std::string::npos);
}

TEST_F(LogServiceTest, FormattedLinesAreCutAtTheLimitAndDroppedLevelsNotFormatted) {
    EXPECT_EQ(Format(2, 5, "%s and more", "abcdefgh"), 5);
    EXPECT_EQ(Format(2, 100, "%d users", 12), 8);
    std::string huge(kLogMaxTextSize + 50, 'q');
    EXPECT_EQ(Format(2, kLogMaxTextSize * 4, "%s", huge.c_str()), static_cast<int>(kLogMaxTextSize));
    EXPECT_EQ(Format(2, 10, nullptr), -1);
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + logFile_ + "\nLevel = 3\n"));
    // Would fault if it were formatted.
    EXPECT_EQ(Format(4, 100, "%s", reinterpret_cast<const char*>(16)), 0);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(lines[0].find("]: ") + 3), "abcde");
    EXPECT_EQ(lines[1].substr(lines[1].find("]: ") + 3), "12 users");
    EXPECT_EQ(lines[2].substr(lines[2].find("]: ") + 3), std::string(kLogMaxTextSize, 'q'));
}

TEST_F(LogServiceTest, ANewFileNameIsFollowed) {
    LogMessage(1, "LDAP CGI", "first");
    std::string second = dir_.File("other.log");
    ASSERT_TRUE(dir_.Write("XOMTA.INI", "[Log]\nFile = " + second + "\n"));
    LogMessage(1, "LDAP CGI", "second");
    EXPECT_EQ(Lines().size(), 1u);
    std::ifstream in(second);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_NE(line.find("second"), std::string::npos);
}

TEST(LogServiceFallback, UnwritableLogFileLosesNoProcess) {
    ConfigTestDir dir;
    std::string missing = dir.File("no-such-dir/mail.log");
    ASSERT_TRUE(dir.Write("XOMTA.INI", "[Log]\nFile=" + missing + "\n"));
    LogMessage(1, "LDAP CGI", "goes to syslog instead");
    EXPECT_NE(access(missing.c_str(), F_OK), 0);
}

}  // namespace
