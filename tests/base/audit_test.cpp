// The audit line's pieces: quoting, escaping and bounding of texts, the
// secret-name rule, and the whole line as the log file receives it; and
// LogPrintf's cut and its dropped level, left unformatted. A line without a
// requester or command, and a removed value's sign, are the directory test's.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>

#include "base/audit.h"
#include "base/limits.h"
#include "base/log.h"
#include "tests/support/config_folder.h"
#include "tests/support/log_lines.h"

namespace {

TEST(Audit, TextsAreQuotedEscapedAndBoundedVisiblyAndSecretsHidden) {
    const std::string shown(kAuditTextShown, 'a'), size = std::to_string(kAuditTextShown + 1);
    const std::tuple<const char*, std::string, std::string> cases[] = {
        // attribute name ("" for a text alone), value, as the line shows them
        {"", "say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
        {"", "1 Road\r\nTown\t<b>", "\"1 Road\\x0D\\x0ATown\\x09<b>\""},  // no line break reaches the log
        {"", "Jos\xC3\xA9 \x7F\x01", "\"Jos\\xC3\\xA9 \\x7F\\x01\""},
        {"", shown + "b", "\"" + shown + "...\"(" + size + " bytes)"},
        {"", std::string(kAuditTextShown + 1, '\n'),
         "\"" + Repeated("\\x0A", kAuditTextShown) + "...\"(" + size + " bytes)"},
        {"USERPASSWORD;binary", "Q", " +USERPASSWORD;binary=(hidden)"},
        {"ClientSecret", "Q", " +ClientSecret=(hidden)"},
        {"odd name", "Q", " +\"odd name\"=\"Q\""},
    };
    for (const auto& [name, text, expected] : cases) {
        std::string line;
        *name ? AppendAuditValue(line, '+', name, text.c_str()) : AppendAuditQuoted(line, text.c_str());
        EXPECT_EQ(line, expected) << name << text;
    }
}

// The whole line at the audit level, and LogPrintf's lines beside it.
TEST(Audit, TheLineNamesTheRequesterAndCommandAndLogPrintfCutsAt1023) {
    ConfigFolder folder;
    folder.Replace("XOMTA.INI", "[Log]\nFile=" + folder.File("ldapcgi.log") + "\nLevel=4\n");
    setenv("REMOTE_USER", "ad\"min\nx", 1);
    setenv("REMOTE_ADDR", "192.0.2.7", 1);
    SetAuditCommand(std::string(200, 'C').c_str());  // bounded all the same
    LogAudit(std::string(kAuditLineSize, 'w'), "0 (Success)");
    EXPECT_EQ(LogPrintf(kLogError, "%s", std::string(3000, 'x').c_str()), 1023);
    // Dropped at level 4: not formatted.
    EXPECT_EQ(LogPrintf(kLogProgress, "Entry %s", reinterpret_cast<const char*>(16)), 0);
    const auto lines = LogTexts(ReadWholeFile(folder.File("ldapcgi.log")));
    ASSERT_EQ(lines.size(), 2u);
    const std::string start = "audit: user=\"ad\\\"min\\x0Ax\" address=\"192.0.2.7\" command=\"" +
                              std::string(kAuditCommandSize - 1, 'C') + "\" www";
    EXPECT_EQ(lines[0].substr(0, start.size()), start);
    EXPECT_EQ(lines[0].size(), kAuditLineSize);
    EXPECT_EQ(lines[0].substr(kAuditLineSize - 4), "w...");
    EXPECT_EQ(lines[1], std::string(1023, 'x'));
}

}  // namespace
