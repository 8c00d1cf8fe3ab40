// The audit line's pieces: quoting, escaping and bounding of texts, the
// secret-name rule, and the whole line as the log file receives it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>

#include "base/audit.h"
#include "base/limits.h"
#include "tests/support/config_folder.h"
#include "tests/support/log_lines.h"

namespace {

std::string Quoted(const char* text) {
    std::string line;
    AppendAuditQuoted(line, text);
    return line;
}

TEST(Audit, TextsAreQuotedEscapedAndBoundedVisibly) {
    const std::string shown(kAuditTextShown, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"anna@example.com", "\"anna@example.com\""},
        {"", "\"\""},
        {"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
        {"1 Road\r\nTown\t<b>", "\"1 Road\\x0D\\x0ATown\\x09<b>\""},  // no line break reaches the log
        {"Jos\xC3\xA9 \x7F\x01", "\"Jos\\xC3\\xA9 \\x7F\\x01\""},
        {shown, "\"" + shown + "\""},
        {shown + "b", "\"" + shown + "...\"(" + std::to_string(kAuditTextShown + 1) + " bytes)"},
        {std::string(8193, '\n'), "\"" +
                                      [] {
                                          std::string escaped;
                                          for (std::size_t i = 0; i < kAuditTextShown; ++i)
                                              escaped += "\\x0A";
                                          return escaped;
                                      }() +
                                      "...\"(8193 bytes)"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(Quoted(text.c_str()), expected) << text;
    EXPECT_EQ(Quoted(nullptr), "-");
}

TEST(Audit, ValuesOfSecretsAreHidden) {
    const std::pair<const char*, std::string> cases[] = {
        {"sn", " +sn=\"Smith \\\"Q\\\"\""},
        {"telephoneNumber", " +telephoneNumber=\"Smith \\\"Q\\\"\""},
        {"userPassword", " +userPassword=(hidden)"},
        {"USERPASSWORD;binary", " +USERPASSWORD;binary=(hidden)"},
        {"x-pwd", " +x-pwd=(hidden)"},
        {"unixPasswd", " +unixPasswd=(hidden)"},
        {"ClientSecret", " +ClientSecret=(hidden)"},
        {"odd name", " +\"odd name\"=\"Smith \\\"Q\\\"\""},
        {"", " +\"\"=\"Smith \\\"Q\\\"\""},
    };
    for (const auto& [name, expected] : cases) {
        std::string line;
        AppendAuditValue(line, '+', name, "Smith \"Q\"");
        EXPECT_EQ(line, expected) << name;
    }
    std::string removed;
    AppendAuditValue(removed, '-', "mail", "ann@example.com");
    EXPECT_EQ(removed, " -mail=\"ann@example.com\"");
}

TEST(Audit, TheLineNamesTheRequesterAndCommandAtTheAuditLevel) {
    ConfigFolder folder;
    folder.Replace("XOMTA.INI", "[Log]\nFile=" + folder.File("audit.log") + "\nLevel=4\n");
    unsetenv("REMOTE_USER");
    unsetenv("REMOTE_ADDR");
    LogAudit("delete \"mail=a@b\"", "0 (Success)");  // no command yet, no requester
    setenv("REMOTE_USER", "ad\"min\nx", 1);
    setenv("REMOTE_ADDR", "192.0.2.7", 1);
    SetAuditCommand("VerifyDeleteUser");
    LogAudit("request", "refused (not sent by POST)");
    SetAuditCommand(std::string(200, 'C').c_str());  // bounded all the same
    LogAudit(std::string(kAuditLineSize, 'w'), "0 (Success)");
    auto lines = LogTexts(ReadWholeFile(folder.File("audit.log")), "4");  // all at the audit level
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "audit: user=- address=- command=- delete \"mail=a@b\" result=0 (Success)");
    EXPECT_EQ(lines[1],
              "audit: user=\"ad\\\"min\\x0Ax\" address=\"192.0.2.7\" command=\"VerifyDeleteUser\" request "
              "result=refused (not sent by POST)");
    const std::string start = "audit: user=\"ad\\\"min\\x0Ax\" address=\"192.0.2.7\" command=\"" +
                              std::string(kAuditCommandSize - 1, 'C') + "\" www";
    EXPECT_EQ(lines[2].substr(0, start.size()), start);
    EXPECT_EQ(lines[2].size(), kAuditLineSize);
    EXPECT_EQ(lines[2].substr(kAuditLineSize - 4), "w...");
    // Dropped with the level.
    folder.Replace("XOMTA.INI", "[Log]\nFile=" + folder.File("audit.log") + "\nLevel=3\n");
    LogAudit("request", "refused (not sent by POST)");
    EXPECT_EQ(LogTexts(ReadWholeFile(folder.File("audit.log"))).size(), 3u);
    unsetenv("REMOTE_USER");
    unsetenv("REMOTE_ADDR");
}

}  // namespace
