// The configuration reader (file and key names, syntax, numbers, changes seen
// by the next call) and the log service writing to [Log] File (line format,
// escapes, level, whole lines from several processes, batches).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "platform/config/config_limits.h"
#include "platform/config/profile.h"
#include "platform/log/log_limits.h"
#include "platform/log/logapi.h"
#include "tests/support/config_folder.h"

using Strings = std::vector<std::string>;

static std::string Read(const char* section, const char* key, const char* file = "XOMTA.INI") {
    char buffer[kConfigMaxLineSize];
    GetPrivateProfileString(section, key, "d", buffer, sizeof buffer, file);
    return buffer;
}

TEST(Config, NamesSyntaxAndNumbers) {
    ConfigFolder dir;
    EXPECT_EQ(Read("Ldap", "HostName"), "d");  // no file
    // Long lines are kept whole, then cut by the caller's buffer.
    const std::string over(kConfigMaxLineSize - 1 - 5, 'o'), cut(kConfigMaxLineSize - 1, 'z');
    WriteWholeFile(dir.File("xomta.ini"), "[Gateway]\nQueueDirectory=/lower\n");
    WriteWholeFile(dir.File("XOMTA.INI"),
                   "; HostName=commented\n[LDAP]\n# Port=1\n"
                   "   HostName   =   ldap.example.org   \n\tPassword = se;cr#et ; kept\r\n"
                   "a line without an equals sign\nEmpty=\nPort= 1389\nPort=2389\nNegative=-5x\n"
                   "[ Gateway ]\nQueueDirectory=/var/spool/x=y\nOver=" +
                       over + "\nJunk=" + std::string(40000, 'z') + "=Injected\nAfter=yes\n");
    const std::tuple<const char*, const char*, std::string> texts[] = {
        {"ldap", "hostname", "ldap.example.org"},
        {"Ldap", "UserName", "d"},
        {"Ldap", "Password", "se;cr#et ; kept"},
        {"Ldap", "Empty", ""},
        {"Gateway", "QueueDirectory", "/var/spool/x=y"},
        {"Gateway", "Over", over},
        {"Gateway", "Junk", cut},
        {"Gateway", "After", "yes"}};
    for (const auto& [section, key, value] : texts) EXPECT_EQ(Read(section, key), value) << key;
    // Either spelling names one file, the first in byte order.
    EXPECT_EQ(Read("Gateway", "QueueDirectory", "xomta.ini"), "/var/spool/x=y");
    const std::pair<const char*, int> numbers[] = {{"Port", 1389}, {"Negative", -5}, {"Absent", 42}};
    for (auto [key, value] : numbers)
        EXPECT_EQ(GetPrivateProfileInt("Ldap", key, 42, "XOMTA.INI"), value) << key;
}

TEST(Config, EveryChangeIsSeenByTheNextCall) {
    ConfigFolder dir;
    auto write = [&](const char* name, const std::string& host) {  // each with the same time
        WriteWholeFile(dir.File(name), "[Ldap]\nHostName=" + host + "\n");
        timespec times[2] = {{1000000000, 5}, {1000000000, 5}};
        return utimensat(AT_FDCWD, dir.File(name).c_str(), times, 0) == 0;
    };
    ASSERT_TRUE(write("XOMTA.INI", "alpha"));
    EXPECT_EQ(Read("Ldap", "HostName"), "alpha");
    ASSERT_TRUE(write("XOMTA.INI", "bravo"));  // same size, same time
    EXPECT_EQ(Read("Ldap", "HostName"), "bravo");
    ASSERT_TRUE(write("next.tmp", "delta"));
    ASSERT_EQ(rename(dir.File("next.tmp").c_str(), dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(Read("Ldap", "HostName"), "delta");
    ASSERT_TRUE(write("xomta.ini", "lower"));
    ASSERT_EQ(std::remove(dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(Read("Ldap", "HostName"), "lower");  // another case of the file name
    ASSERT_EQ(std::remove(dir.File("xomta.ini").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("XOMTA.INI").c_str(), 0755), 0);  // unreadable: the default
    EXPECT_EQ(Read("Ldap", "HostName"), "d");
    ASSERT_TRUE(write("xomta.ini", "beside"));  // a folder of the name is no file
    EXPECT_EQ(Read("Ldap", "HostName"), "beside");
}

// Each line as "<level> <application>[<pid>]: <text>" after checking its time.
static Strings Lines(const std::string& path) {
    std::ifstream in(path);
    Strings lines;
    std::regex time("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ");
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::regex_match(line.substr(0, 25), time) ? line.substr(25) : "no time: " + line);
    return lines;
}

struct LogTest : ::testing::Test {
    void Settings(const std::string& file, const std::string& more = "") {
        WriteWholeFile(dir.File("XOMTA.INI"), "[Log]\nFile = " + file + "\n" + more);
    }
    void SetUp() override { Settings(log); }
    std::string Line(int level, const std::string& text) {
        return std::to_string(level) + " LDAP CGI" + pid + text;
    }
    ConfigFolder dir;
    std::string log = dir.File("mail.log"), pid = "[" + std::to_string(getpid()) + "]: ";
};

// One line per call, appended, its control bytes escaped, cut at the limit;
// the file looked at on each call (the level: the batch test and base/'s audit
// test).
TEST_F(LogTest, LinesEscapedCutAndFollowingTheSettings) {
    WriteWholeFile(log, "earlier line");  // torn by a full disk
    LogMessage(kLogError, "LDAP\nCGI", "line one\r\nthree\n\x1b[2J\a\x7f\xc2\x85");
    LogMessage(3, "LDAP CGI", std::string(kLogMaxTextSize * 2, 'h').c_str());
    Settings(dir.File("other.log"));
    WriteWholeFile(dir.File("other.log"), "");
    const int holder = open(dir.File("other.log").c_str(), O_RDONLY);  // its lock held by a stopped writer
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    LogMessage(kLogError, "LDAP CGI", "second");
    close(holder);
    EXPECT_EQ(Lines(dir.File("other.log")), Strings{Line(1, "second")});
    EXPECT_EQ(Lines(log),
              (Strings{"no time: earlier line",
                       "1 LDAP\\x0ACGI" + pid + "line one\\x0D\\x0Athree\\x0A\\x1B[2J\\x07\\x7F\\xC2\\x85",
                       Line(3, std::string(kLogMaxTextSize, 'h'))}));
    WriteWholeFile(dir.File("table.sum"), "sum\n");  // a link or FIFO there: to syslog, never blocking
    ASSERT_TRUE(mkfifo(dir.File("fifo.log").c_str(), 0600) == 0 &&
                symlink("table.sum", dir.File("link.log").c_str()) == 0);
    const int reader = open(dir.File("fifo.log").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* name : {"fifo.log", "link.log"})
        Settings(dir.File(name)), LogMessage(1, "LDAP CGI", "x");
    char byte;
    EXPECT_TRUE(read(reader, &byte, 1) <= 0 && close(reader) == 0);
    EXPECT_EQ(ReadWholeFile(dir.File("table.sum")), "sum\n");
}

TEST_F(LogTest, ProcessesWriteWholeLinesUnderTheirOwnId) {
    LogMessage(kLogProgress, "LDAP CGI", "parent");  // before the fork
    std::vector<pid_t> children;
    Strings expected = {Line(6, "parent")};
    for (int p = 0; p < 3; ++p) {
        std::string text = std::to_string(p) + std::string(600, 'p');
        if ((children.emplace_back(fork())) == 0) {
            for (int i = 0; i < 300; ++i) LogMessage(kLogProgress, "LDAP CGI", text.c_str());
            _exit(0);
        }
        expected.insert(expected.end(), 300, "6 LDAP CGI[" + std::to_string(children.back()) + "]: " + text);
    }
    int status = 0;
    for (pid_t child : children)
        EXPECT_EQ(std::make_pair(waitpid(child, &status, 0), status), std::make_pair(child, 0));
    Strings lines = Lines(log);
    std::sort(lines.begin(), lines.end()), std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

// A batch holds progress lines back until an error line, its end or its time
// runs out, keeps their order, and looks at the settings once a second.
TEST_F(LogTest, BatchWritesProgressTogetherAndInOrder) {
    LogMessage(kLogProgress, "LDAP CGI", "opens the file");
    LogBeginBatch();
    LogMessage(kLogProgress, "LDAP CGI", "alias 1");
    EXPECT_EQ(Lines(log).size(), 1u);  // held back
    LogMessage(kLogError, "LDAP CGI", "write error");
    Strings expected = {Line(6, "opens the file"), Line(6, "alias 1"), Line(1, "write error")};
    EXPECT_EQ(Lines(log), expected);
    Settings(log, "Level = 5\n");  // not looked at again within the second
    LogMessage(kLogProgress, "LDAP CGI", "alias 3");
    usleep((kLogBatchFlushMs + 50) * 1000);
    LogMessage(kLogProgress, "LDAP CGI", "alias 4");  // the oldest waited long enough: both go out
    expected.insert(expected.end(), {Line(6, "alias 3"), Line(6, "alias 4")});
    EXPECT_EQ(Lines(log), expected);
    usleep((kLogBatchSettingsMs - kLogBatchFlushMs) * 1000);
    LogMessage(kLogProgress, "LDAP CGI", "dropped: Level 5 seen by now");
    LogEndBatch();
    EXPECT_EQ(Lines(log), expected);
    Settings(log);
    LogBeginBatch();
    for (int i = 0; i < 2000; ++i) LogMessage(kLogProgress, "LDAP CGI", "many");  // more than one buffer full
    LogEndBatch();
    EXPECT_EQ(Lines(log).size(), expected.size() + 2000);
}
