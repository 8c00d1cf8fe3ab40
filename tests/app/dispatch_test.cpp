// The dispatcher, run as a real process: which requests get no output, which
// get the invalid-request page, and which reach which handler.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"

namespace {

// The complete invalid-request page.
const std::string kInternalErrorPage = pagetexts::ResultPage("Internal error", "Invalid CGI values!");

// The <title> of a page, or "" when it has none.
std::string TitleOf(const std::string& page) {
    std::size_t start = page.find("<title>");
    std::size_t end = page.find("</title>");
    if (start == std::string::npos || end == std::string::npos) return "";
    return page.substr(start + 7, end - start - 7);
}

// Directory settings that point nowhere, so handlers fail fast and alike.
Environment Unreachable() {
    static std::string dir;
    if (dir.empty()) {
        std::string templ = BinaryPath("ldapcgi-dispatch-XXXXXX");
        dir = mkdtemp(&templ[0]);
        FILE* f = fopen((dir + "/XOMTA.INI").c_str(), "w");
        fputs("[Ldap]\nHostName=127.0.0.1\nPort=1\n", f);
        fclose(f);
    }
    return {{"XOMTA_CONFIG_DIR", dir}};
}

void ExpectNoOutput(const ProcessResult& r) {
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
}

TEST(Dispatch, RequestsWithoutCommandPrintNothing) {
    ExpectNoOutput(RunCgiGet("Mail=a"));
    ExpectNoOutput(RunCgiGet(""));
    ExpectNoOutput(RunCgiPost(""));
    // Field names are matched exactly: "command" is not "Command".
    ExpectNoOutput(RunCgiGet("command=FindUserMenu"));
}

TEST(Dispatch, UnknownCommandGetsTheWholeInternalErrorPage) {
    ProcessResult r = RunCgiGet("Command=Bogus");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, kInternalErrorPage);
    EXPECT_EQ(RunCgiGet("Command=").out, kInternalErrorPage);
    EXPECT_EQ(RunCgiPost("Command=Bogus&Mail=x").out, kInternalErrorPage);
}

TEST(Dispatch, MalformedInputGetsTheInternalErrorPage) {
    EXPECT_EQ(RunCgiGet("a&Command=FindUserMenu").out, kInternalErrorPage);
    EXPECT_EQ(RunCgiGet("Command=FindUserMenu&&b=2").out, kInternalErrorPage);
}

TEST(Dispatch, CommandValueIgnoresLetterCase) {
    EXPECT_EQ(TitleOf(RunCgiGet("Command=finduser&Mail=a", Unreachable()).out), "User Details");
    EXPECT_EQ(TitleOf(RunCgiGet("Command=FINDUSERMENU").out), "Find User Menu");
    EXPECT_EQ(TitleOf(RunCgiGet("Command=FindUserMenu").out), "Find User Menu");
}

TEST(Dispatch, NewUserIsDecidedBySubmit) {
    // Without Submit: nothing at all.
    ExpectNoOutput(RunCgiGet("Command=NewUser&Mail=a%40b.c"));
    // "Create User" in any letter case creates.
    EXPECT_EQ(TitleOf(RunCgiGet("Command=NewUser&Submit=create+user&Mail=&LastName=x", Unreachable()).out),
              "New User");
    // Another value stands for the command among the later rows.
    EXPECT_EQ(TitleOf(RunCgiGet("Command=NewUser&Submit=ListUsers&FirstName=A", Unreachable()).out),
              "User Listing");
    EXPECT_EQ(TitleOf(RunCgiGet("Command=NewUser&Submit=newusermenu").out), "New User");
    // Rows before NewUser are not among them, nor are unknown values.
    EXPECT_EQ(RunCgiGet("Command=NewUser&Submit=FindUserMenu").out, kInternalErrorPage);
    EXPECT_EQ(RunCgiGet("Command=NewUser&Submit=Cancel").out, kInternalErrorPage);
}

TEST(Dispatch, AliasRowsReachTheSameHandler) {
    Environment env = Unreachable();
    ProcessResult viewConn = RunCgiGet("Command=ViewConn&Mail=u", env);
    ProcessResult listConnUser = RunCgiGet("Command=ListConnUser&Mail=u", env);
    EXPECT_EQ(viewConn.exitStatus, listConnUser.exitStatus);
    EXPECT_EQ(viewConn.out, listConnUser.out);
    EXPECT_NE(viewConn.out, "");
}

TEST(Dispatch, OversizedPostEndsWithStatusOneAndNoOutput) {
    ProcessResult r = RunCgiPost(std::string(8193, 'a'));
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH\n");
}

}  // namespace
