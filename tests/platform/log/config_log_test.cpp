// The configuration reader (defaults, name case, syntax, cut values, numbers, changes seen by the
// next call) and the log service writing to [Log] File (line format, level, whole lines).
#include <fcntl.h>
#include <sys/wait.h>

#include <climits>
#include <cstdarg>
#include <regex>

#include "platform/config/config_limits.h"
#include "platform/config/profile.h"
#include "platform/log/log_limits.h"
#include "platform/log/logapi.h"
#include "tests/support/config_folder.h"

std::string Read(const char* section, const char* key, const char* def = "DEFAULT",
                 const char* file = "XOMTA.INI") {
    char buffer[kConfigMaxLineSize];
    GetPrivateProfileString(section, key, def, buffer, sizeof buffer, file);
    return buffer;
}

TEST(Config, DefaultsAndNames) {
    ConfigFolder dir;
    EXPECT_EQ(Read("Ldap", "HostName", "localhost"), "localhost");  // no file
    WriteWholeFile(dir.File("XOMTA.INI"), "[Gateway]\nQueueDirectory=/q\n[PREPROCESSOR]\nusecase=YES\n");
    WriteWholeFile(dir.File("xomta.ini"), "[Gateway]\nQueueDirectory=/lower\n");
    std::string up = "../" + dir.path.substr(dir.path.rfind('/') + 1) + "/XOMTA.INI",
                full = dir.File("XOMTA.INI");
    // No section, no key; names of any case; the exact file name first; bare file names only.
    struct {
        const char* section;
        const char* key;
        const char* file;
        const char* value;
    } reads[] = {{"Ldap", "HostName", "XOMTA.INI", "d"},
                 {"Gateway", "Other", "XOMTA.INI", "d"},
                 {"PreProcessor", "UseCase", "XOMTA.INI", "YES"},
                 {"Gateway", "QueueDirectory", "XOMTA.INI", "/q"},
                 {"Gateway", "QueueDirectory", "xomta.ini", "/lower"},
                 {"Gateway", "QueueDirectory", up.c_str(), "d"},
                 {"Gateway", "QueueDirectory", full.c_str(), "d"},
                 {"Gateway", "QueueDirectory", "", "d"},
                 {"Gateway", "QueueDirectory", nullptr, "d"},
                 {"Gateway", "QueueDirectory", "..", "d"}};
    for (const auto& r : reads)
        EXPECT_EQ(Read(r.section, r.key, "d", r.file), r.value) << (r.file ? r.file : "null");
    char buffer[16] = "junk";
    EXPECT_EQ(GetPrivateProfileString("Ldap", "HostName", nullptr, buffer, sizeof buffer, "XOMTA.INI"), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(Config, SyntaxCutValuesAndNumbers) {
    ConfigFolder dir;
    std::string fits(kConfigMaxLineSize - 1 - 6, 'f'), over(kConfigMaxLineSize - 1 - 5, 'o'), zs(30000, 'z');
    WriteWholeFile(dir.File("XOMTA.INI"),
                   "TopKey=top\n; HostName=commented\n[Ldap]\n# Port=1\n;UserName=commented\n"
                   "   HostName   =   ldap.example.org   \n\tPassword = se;cr#et ; kept\r\n"
                   "a line without an equals sign\nEmpty=\nPort= 1389\nPort=2389\nLong=abcdefghijkl\n"
                   "Negative=-5x\nWord=abc\nHuge=99999999999\nTiny=-99999999999\nPlus=+7\n"
                   "[ Gateway ]\nQueueDirectory=/var/spool/x=y\nFits=" +
                       fits + "\nOver=" + over + "\nJunk=" + std::string(40000, 'z') +
                       "=Injected\nAfter=yes\n");
    struct {
        const char* section;
        const char* key;
        std::string value;
    } texts[] = {// Fits: the longest line
                 {"", "TopKey", "top"},           {"Ldap", "HostName", "ldap.example.org"},
                 {"Ldap", "UserName", "DEFAULT"}, {"Ldap", "Password", "se;cr#et ; kept"},
                 {"Ldap", "Empty", ""},           {"Gateway", "QueueDirectory", "/var/spool/x=y"},
                 {"Gateway", "Fits", fits},       {"Gateway", "Over", "DEFAULT"},
                 {"Gateway", "Junk", "DEFAULT"},  {"Gateway", zs.c_str(), "DEFAULT"},
                 {"Gateway", "After", "yes"}};
    for (const auto& t : texts) EXPECT_EQ(Read(t.section, t.key), t.value) << t.key;
    struct {
        const char* key;
        int size, copied;
        const char* text;
    } cuts[] = {{"Long", 8, 7, "abcdefg"}, {"Missing", 4, 3, "012"}, {"Long", 1, 0, ""}, {"Long", 0, 0, ""}};
    for (const auto& c : cuts) {  // cut to the buffer and terminated, nothing written past its size
        char buffer[16] = "###############";
        EXPECT_EQ(GetPrivateProfileString("Ldap", c.key, "0123456789", buffer, c.size, "XOMTA.INI"),
                  c.copied);
        EXPECT_EQ(std::string(buffer, 15), std::string(c.text, c.size) + std::string(15 - c.size, '#'))
            << c.size;
    }
    struct {
        const char* key;
        int value;
    } numbers[] = {{"Port", 1389},    {"Negative", -5},  {"Word", 0}, {"Empty", 0},
                   {"Huge", INT_MAX}, {"Tiny", INT_MIN}, {"Plus", 7}, {"Absent", 42}};
    for (const auto& n : numbers)
        EXPECT_EQ(GetPrivateProfileInt("Ldap", n.key, 42, "XOMTA.INI"), n.value) << n.key;
}

TEST(Config, EveryChangeIsSeenByTheNextCall) {
    ConfigFolder dir, other;
    auto write = [](const ConfigFolder& in, const char* name, const std::string& host) {  // all at one time
        WriteWholeFile(in.File(name), "[Ldap]\nHostName=" + host + "\n");
        timespec times[2] = {{1000000000, 5}, {1000000000, 5}};
        return utimensat(AT_FDCWD, in.File(name).c_str(), times, 0) == 0;
    };
    auto host = [] { return Read("Ldap", "HostName", "localhost"); };
    ASSERT_TRUE(write(dir, "XOMTA.INI", "alpha") && write(other, "XOMTA.INI", "other"));
    EXPECT_EQ(host(), "other");
    setenv("XOMTA_CONFIG_DIR", dir.path.c_str(), 1);
    EXPECT_EQ(host(), "alpha");
    ASSERT_TRUE(write(dir, "XOMTA.INI", "bravo"));  // same size, same time
    EXPECT_EQ(host(), "bravo");
    ASSERT_TRUE(write(dir, "next.tmp", "delta"));
    ASSERT_EQ(rename(dir.File("next.tmp").c_str(), dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(host(), "delta");
    ASSERT_TRUE(write(dir, "xomta.ini", "lower"));
    ASSERT_EQ(std::remove(dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_EQ(host(), "lower");  // another case of the file name
    ASSERT_EQ(std::remove(dir.File("xomta.ini").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("XOMTA.INI").c_str(), 0755), 0);  // unreadable: the default
    EXPECT_EQ(host(), "localhost");
}

static int Format(int level, std::size_t limit, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = LogFormatV(level, "LDAP CGI", limit, format, args);
    return va_end(args), length;
}

// Each line as "<level> <application>[<pid>]: <text>" after checking its time.
static std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::regex time("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ([^]*)");
    std::smatch match;
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::regex_match(line, match, time) ? match[1].str() : "no time: " + line);
    return lines;
}

struct LogTest : ::testing::Test {
    void Settings(const std::string& file, const std::string& more = "") {
        WriteWholeFile(dir.File("XOMTA.INI"), "[Log]\nFile = " + file + "\n" + more);
    }
    void SetUp() override { Settings(log); }
    ConfigFolder dir;
    std::string log = dir.File("mail.log"), pid = "[" + std::to_string(getpid()) + "]: ";
};

TEST_F(LogTest, OneLinePerCallAppended) {
    WriteWholeFile(log, "earlier line\n");
    LogMessage(kLogProgress, "LDAP CGI", "Alias table 12 built");
    LogMessage(kLogError, "LDAP\nCGI", "line one\nline two\r\nthree\n\x1b[2J\a\x7f");
    LogMessage(kLogAudit, "LDAP CGI", "audit: user=\"a\\x1B\\\"b\"");  // quoted already: unchanged
    LogMessage(3, nullptr, nullptr);
    LogMessage(3, "LDAP CGI", std::string(kLogMaxTextSize * 2, 'h').c_str());
    LogMessage(3, "LDAP CGI", (std::string(kLogMaxTextSize - 2, 'h') + "\t").c_str());  // no escape cut
    EXPECT_EQ(Format(2, 5, "%s and more", "abcdefgh"), 5);
    std::vector<std::string> expected = {
        "no time: earlier line",
        "6 LDAP CGI" + pid + "Alias table 12 built",
        "1 LDAP\\x0ACGI" + pid + "line one\\x0Aline two\\x0D\\x0Athree\\x0A\\x1B[2J\\x07\\x7F",
        "4 LDAP CGI" + pid + "audit: user=\"a\\x1B\\\"b\"",
        "3 " + pid,
        "3 LDAP CGI" + pid + std::string(kLogMaxTextSize, 'h'),
        "3 LDAP CGI" + pid + std::string(kLogMaxTextSize - 2, 'h'),
        "2 LDAP CGI" + pid + "abcde"};
    EXPECT_EQ(Lines(log), expected);
}

TEST_F(LogTest, LevelAndFileFollowedOnTheNextCall) {
    Settings(log, "Level = 5\n");
    EXPECT_FALSE(LogLevelEnabled(kLogProgress));
    LogMessage(kLogProgress, "LDAP CGI", "progress");
    LogMessage(kLogError, "LDAP CGI", "error");
    LogMessage(5, "LDAP CGI", "notice");
    // Dropped before formatting.
    EXPECT_EQ(Format(kLogProgress, 100, "%s", reinterpret_cast<const char*>(16)), 0);
    ASSERT_EQ(std::remove(dir.File("XOMTA.INI").c_str()), 0);
    EXPECT_TRUE(LogLevelEnabled(7));  // no file: every level
    Settings(dir.File("other.log"));
    LogMessage(kLogError, "LDAP CGI", "second");
    EXPECT_EQ(Lines(log),
              std::vector<std::string>({"1 LDAP CGI" + pid + "error", "5 LDAP CGI" + pid + "notice"}));
    EXPECT_EQ(Lines(dir.File("other.log")), std::vector<std::string>({"1 LDAP CGI" + pid + "second"}));
    Settings(dir.File("no-such-dir/mail.log"));  // unwritable: to syslog, nothing else lost
    LogMessage(kLogError, "LDAP CGI", "to syslog");
    EXPECT_NE(access(dir.File("no-such-dir").c_str(), F_OK), 0);
}

TEST_F(LogTest, ProcessesWriteWholeLinesUnderTheirOwnId) {
    LogMessage(kLogProgress, "LDAP CGI", "parent");  // before the fork
    std::vector<pid_t> children;
    std::vector<std::string> expected = {"6 LDAP CGI" + pid + "parent"};
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
    std::vector<std::string> lines = Lines(log);
    std::sort(lines.begin(), lines.end()), std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

// A batch holds progress lines back until an error line, its end or its time
// runs out, keeps their order, and looks at the settings once a second.
TEST_F(LogTest, BatchWritesProgressTogetherAndInOrder) {
    LogMessage(kLogProgress, "LDAP CGI", "opens the file");
    LogBeginBatch();
    LogMessage(kLogProgress, "LDAP CGI", "alias 1");
    LogMessage(kLogProgress, "LDAP CGI", "alias 2");
    EXPECT_EQ(Lines(log).size(), 1u);  // held back
    LogMessage(kLogError, "LDAP CGI", "write error");
    std::vector<std::string> expected = {"6 LDAP CGI" + pid + "opens the file",
                                         "6 LDAP CGI" + pid + "alias 1", "6 LDAP CGI" + pid + "alias 2",
                                         "1 LDAP CGI" + pid + "write error"};
    EXPECT_EQ(Lines(log), expected);

    Settings(log, "Level = 5\n");  // not looked at again within the second
    LogMessage(kLogProgress, "LDAP CGI", "alias 3");
    usleep((kLogBatchFlushMs + 50) * 1000);
    LogMessage(kLogProgress, "LDAP CGI", "alias 4");  // the oldest waited long enough: both go out
    expected.push_back("6 LDAP CGI" + pid + "alias 3");
    expected.push_back("6 LDAP CGI" + pid + "alias 4");
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
