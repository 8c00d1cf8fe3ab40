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

Environment Get(const std::string& query) { return {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}; }

Environment Post(const std::string& body, const std::string& type = "application/x-www-form-urlencoded") {
    return {
        {"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", type}, {"CONTENT_LENGTH", std::to_string(body.size())}};
}

// Field names match exactly ("command" is not "Command"), the command's letter
// case does not count; NewUser without Submit prints nothing, and its Submit
// is "Create User" (by POST only: it changes the directory) or stands for a
// later command. Each row: the request, its exit status and its standard
// output: whole, or the title of the handler's page after "title:". The
// directory settings point nowhere, so handlers fail fast and alike.
TEST(Dispatch, RequestsGetNothingTheInvalidRequestPageOrTheirHandler) {
    const std::string invalid = ExpectedPage("invalid_request"), dir = BinaryPath("ldapcgi-dispatch");
    mkdir(dir.c_str(), 0700);
    std::ofstream(dir + "/XOMTA.INI") << "[Ldap]\nHostName=127.0.0.1\nPort=1\n";
    const std::string multipart =
        "--B\r\nContent-Disposition: form-data; name=\"Command\"\r\n\r\nFindUserMenu\r\n--B--\r\n";
    const std::string create = "Command=NewUser&Submit=create+user&Mail=&LastName=x";
    Environment longer = Post(multipart + "more.", "multipart/form-data; boundary=B");
    const struct {
        Environment env;
        std::string body;
        int status;
        std::string out;
    } rows[] = {
        {Get("Mail=a"), "", 0, ""},
        {Get(""), "", 0, ""},
        {Get("command=FindUserMenu"), "", 0, ""},
        {Get("Command=NewUser&Mail=a%40b.c"), "", 0, ""},
        {Get("Command=Bogus"), "", 0, invalid},
        {Get("Command="), "", 0, invalid},
        {Get("a&Command=FindUserMenu"), "", 0, invalid},
        {Get("Command=FindUserMenu&&b=2"), "", 0, invalid},
        {Get("Command=NewUser&Submit=FindUserMenu"), "", 0, invalid},
        {Get("Command=NewUser&Submit=Cancel"), "", 0, invalid},
        {Post("Command=Bogus&Mail=x"), "Command=Bogus&Mail=x", 0, invalid},
        {Post("Command=FindUserMenu=", "text/plain"), "Command=FindUserMenu=", 0, invalid},  // no form
        {Get("Command=finduser&Mail=a"), "", 0, "title:User Details"},
        {Get("Command=FINDUSERMENU"), "", 0, "title:Find User Menu"},
        {Get("Command=NewUser&Submit=ListUsers&FirstName=A"), "", 0, "title:User Listing"},
        {Get("Command=NewUser&Submit=newusermenu"), "", 0, "title:New User"},
        {Post(create), create, 0, "title:New User"},
        // Fatal input errors: status 1 and nothing printed, whatever the command.
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "multipart/form-data; boundary=B"}}, multipart, 1, ""},
        {longer, multipart, 1, ""},
        {{{"REQUEST_METHOD", "HEAD"}, {"QUERY_STRING", "Command=FindUserMenu"}}, "", 1, ""},
    };
    for (const auto& row : rows) {
        Environment env = row.env;
        env["XOMTA_CONFIG_DIR"] = dir;
        const ProcessResult r = RunCgi(env, row.body);
        SCOPED_TRACE(env.count("QUERY_STRING") ? env["QUERY_STRING"] : row.body);
        EXPECT_EQ(r.exitStatus, row.status);
        if (row.out.rfind("title:", 0) == 0)
            EXPECT_NE(r.out.find("<title>" + row.out.substr(6) + "</title>"), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err.rfind("caught by ldapcgi: ", 0), row.status ? 0u : std::string::npos) << r.err;
    }
}

}  // namespace
