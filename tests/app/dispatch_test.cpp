// The dispatcher, run as a real process: which requests get no output, which
// get the whole invalid-request page, which reach which handler, and which
// end the process with status 1 before anything is printed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

namespace {

std::string TitleOf(const std::string& page) {
    std::size_t start = page.find("<title>"), end = page.find("</title>");
    return start == std::string::npos || end == std::string::npos ? ""
                                                                  : page.substr(start + 7, end - start - 7);
}

// Directory settings that point nowhere, so handlers fail fast and alike.
Environment Unreachable() {
    const std::string dir = BinaryPath("ldapcgi-dispatch");
    mkdir(dir.c_str(), 0700);
    std::ofstream(dir + "/XOMTA.INI") << "[Ldap]\nHostName=127.0.0.1\nPort=1\n";
    return {{"XOMTA_CONFIG_DIR", dir}};
}

TEST(Dispatch, RequestsGetNothingOrTheWholeInvalidRequestPage) {
    // Field names match exactly: "command" is not "Command"; NewUser without
    // Submit prints nothing, and Submit stands only for a later command.
    const std::string invalid = ExpectedPage("invalid_request");
    const std::pair<const char*, std::string> cases[] = {
        {"Mail=a", ""},
        {"", ""},
        {"command=FindUserMenu", ""},
        {"Command=NewUser&Mail=a%40b.c", ""},
        {"Command=Bogus", invalid},
        {"Command=", invalid},
        {"a&Command=FindUserMenu", invalid},
        {"Command=FindUserMenu&&b=2", invalid},
        {"Command=NewUser&Submit=FindUserMenu", invalid},
        {"Command=NewUser&Submit=Cancel", invalid},
    };
    for (const auto& c : cases) {
        ProcessResult r = RunCgiGet(c.first);
        EXPECT_EQ(r.exitStatus, 0) << c.first;
        EXPECT_EQ(r.out, c.second) << c.first;
    }
    EXPECT_EQ(RunCgiPost("Command=Bogus&Mail=x").out, invalid);
    // A POST body that is no form.
    Environment textPlain = {
        {"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "text/plain"}, {"CONTENT_LENGTH", "21"}};
    EXPECT_EQ(RunCgi(textPlain, "Command=FindUserMenu=").out, invalid);
}

TEST(Dispatch, CommandsReachTheirHandlers) {
    // The command's letter case does not count; with NewUser, Submit is "Create
    // User" or stands for a later command.
    const std::pair<const char*, const char*> cases[] = {
        {"Command=finduser&Mail=a", "User Details"},
        {"Command=FINDUSERMENU", "Find User Menu"},
        {"Command=NewUser&Submit=ListUsers&FirstName=A", "User Listing"},
        {"Command=NewUser&Submit=newusermenu", "New User"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TitleOf(RunCgiGet(c.first, Unreachable()).out), c.second) << c.first;
    // Creating changes the directory: by POST only.
    EXPECT_EQ(TitleOf(RunCgiPost("Command=NewUser&Submit=create+user&Mail=&LastName=x", Unreachable()).out),
              "New User");
}

TEST(Dispatch, FatalInputErrorsEndWithStatusOneAndNothingOnStandardOutput) {
    const std::string body =
        "--B\r\nContent-Disposition: form-data; name=\"Command\"\r\n\r\nFindUserMenu\r\n--B--\r\n";
    const Environment multipart = {{"REQUEST_METHOD", "POST"},
                                   {"CONTENT_TYPE", "multipart/form-data; boundary=B"}};
    Environment longer = multipart;
    longer["CONTENT_LENGTH"] = std::to_string(body.size() + 5);
    const std::pair<Environment, const char*> cases[] = {
        {multipart, "caught by ldapcgi: CONTENT_LENGTH is null\n"},
        {longer, "caught by ldapcgi: input length < CONTENT_LENGTH\n"},
        {{{"REQUEST_METHOD", "HEAD"}, {"QUERY_STRING", "Command=FindUserMenu"}},
         "caught by ldapcgi: REQUEST_METHOD invalid\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = RunCgi(c.first, body);
        EXPECT_EQ(r.exitStatus, 1) << c.second;
        EXPECT_EQ(r.out, "") << c.second;
        EXPECT_EQ(r.err, c.second);
    }
}

}  // namespace
