// The dispatcher, run as a real process: which requests get no output, which
// get the whole invalid-request page, which reach which handler, and which
// end the process with status 1 before anything is printed. Then the audit
// trail, against the sandbox directory: each kind of change (user create with
// the domain entries it adds, update, rename, delete, a connector, alias
// changes, the alias table build with its sequence writes, a change the server
// refuses, a forged request) leaves its lines at the audit level with the
// requester, command, DN and result; refusals that change nothing leave none;
// the bind password never reaches the log. How values are quoted, escaped and
// cut is the audit line writer's own test's business.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
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

using std::string;
using Strings = std::vector<string>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

const string kWho = "audit: user=\"admin\" address=\"192.0.2.7\" command=";
const string kAnna = "mail=anna@example.com,dc=example,dc=com";
const string kLee = "mail=lee@new.example.org,dc=new,dc=example,dc=org";
const string kLeo = "mail=leo@new.example.org,dc=new,dc=example,dc=org";

// A url-encoded POST from the requester; a GET when `env` holds a query string.
ProcessResult Send(const string& body, Environment env = {}) {
    env.insert(
        {{"REMOTE_USER", "admin"}, {"REMOTE_ADDR", "192.0.2.7"}, {"XOMTA_CONFIG_DIR", Dir().ConfigDir()}});
    return env.count("QUERY_STRING") != 0 ? RunCgi(env) : RunCgiPost(body, env);
}

// The audit lines: each holds the requester, then its command, operation and
// names as `parts` begins, and ends with the result after " ... "; how the
// values between them are shown is the directory's and base/'s tests' business.
void ExpectAuditLines(const Strings& parts, const string& what) {
    const Strings lines = LogTexts(Dir().ReadLog(), "4");
    ASSERT_EQ(lines.size(), parts.size()) << what << "\n" << Dir().ReadLog();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const string part = kWho + parts[i];
        const std::size_t cut = part.find(" ... ");
        const string head = part.substr(0, cut), tail = cut == string::npos ? "" : part.substr(cut + 4);
        EXPECT_TRUE(lines[i].rfind(head, 0) == 0 && lines[i].size() >= head.size() + tail.size() &&
                    lines[i].compare(lines[i].size() - tail.size(), tail.size(), tail) == 0)
            << what << ": " << lines[i] << "\nis no " << part;
    }
    EXPECT_EQ(Dir().ReadLog().find(Dir().RootPassword()), string::npos) << what;  // the bind's
}

class Audit : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir().Ok());
        queue_ = BinaryPath("audit-queue");
        mkdir(queue_.c_str(), 0755);
        ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ +
                                      "\n\n[Channels]\nSMTPC=enabled,connectors\n"));
        ASSERT_TRUE(Dir().Reset(
            string(kExampleDomainLdif) + "dn: " + kAnna +
            "\nobjectClass: xoperson\nmail: anna@example.com\nfirstname: Anna\nsn: Smith\ncn: Anna Smith\n"));
    }
    void TearDown() override { (void)system(("rm -rf '" + queue_ + "'").c_str()); }
    string queue_;
};

TEST_F(Audit, EveryChangeLeavesItsLineWithWhoWhatAndResult) {
    const string newLee =
        "Command=NewUser&Submit=Create+User&FirstName=Lee&LastName=Stone&TelNo=&Address=&Mail=lee%40new.example.org";
    const string anna = "Mail=anna%40example.com&", ok = " ... result=0 (Success)",
                 add = "\"NewUser\" add \"";
    const string alias = "\"UpdateAlias\" modify \"" + kAnna + "\" ";
    const std::pair<string, Strings> cases[] = {
        // a new domain's entries first
        {newLee,
         {add + "dc=org\"" + ok, add + "dc=example,dc=org\"" + ok, add + "dc=new,dc=example,dc=org\"" + ok,
          add + kLee + "\" +objectClass=\"xoperson\"" + ok}},
        {newLee, {add + kLee + "\" ... result=68 (Already exists)"}},
        {"Command=NewUser&Submit=Create+User&FirstName=Bad%FF&LastName=X&Mail=bad%40example.com",
         {add + "mail=bad@example.com,dc=example,dc=com\" ... result=21 (Invalid syntax)"}},
        {"Command=UpdateUser&MailNdx=anna%40example.com&FirstName=Anna&LastName=Smyth&TelNo=%2B44+1&Address=&" +
             anna,
         {"\"UpdateUser\" modify \"" + kAnna + "\" -sn=\"Smith\" +sn=\"Smyth\"" + ok}},
        {"Command=UpdateUser&MailNdx=lee%40new.example.org&FirstName=&LastName=Stone&TelNo=&Address=&Mail=leo%40new.example.org",
         {"\"UpdateUser\" rename \"" + kLee + "\" to \"" + kLeo + "\"" + ok,
          "\"UpdateUser\" modify \"" + kLeo + "\" -firstname=\"Lee\"" + ok}},
        {"Command=AddChannel&" + anna +
             "Channel=SMTPC&Identifier=anna%40partner.example&Permission=Send%2FReceive",
         {"\"AddChannel\" modify \"" + kAnna + "\" +othermailbox=\"SMTPC$anna@partner.example\"" + ok}},
        {"Command=UpdateAlias&" + anna + "MailAlias=ann%40example.com&OldMailAlias=",
         {alias + "+mail=\"ann@example.com\"" + ok}},
        // Through the NewUser row: the line names the command that Submit stands for.
        {"Command=NewUser&Submit=UpdateAlias&" + anna +
             "MailAlias=annie%40example.com&OldMailAlias=ann%40example.com",
         {alias + "-mail=\"ann@example.com\" +mail=\"annie@example.com\"" + ok}},
        {"Command=ConfirmDeleteAlias&" + anna + "MailAlias=annie%40example.com",
         {"\"ConfirmDeleteAlias\" modify \"" + kAnna + "\" -mail=\"annie@example.com\"" + ok}},
        {"Command=VerifyDeleteUser&Mail=leo%40new.example.org",
         {"\"VerifyDeleteUser\" delete \"" + kLeo + "\"" + ok}},
        {"Command=VerifyDeleteUser&Mail=leo%40new.example.org", {}},  // refused before any change
    };
    for (const auto& [body, parts] : cases) {
        ASSERT_TRUE(Dir().ClearLog());
        EXPECT_EQ(Send(body).exitStatus, 0) << body;
        ExpectAuditLines(parts, body);
    }
    EXPECT_EQ(Dir().Search(kAnna, "(objectClass=*)", "mail othermailbox"),
              "dn: " + kAnna + "\nmail: anna@example.com\nothermailbox: SMTPC$anna@partner.example\n\n");
}

TEST_F(Audit, BuildsAndForgedRequestsLeaveTheirLines) {
    ASSERT_TRUE(Dir().ClearLog());
    ASSERT_EQ(Send("Command=BuildAliasTable").exitStatus, 0);
    // The build goes on after its page, in a process of its own.
    for (int wait = 0; wait < 200 && Dir().ReadLog().find("alias-table-build") == string::npos; ++wait)
        usleep(50000);
    const string sequence =
        "\"BuildAliasTable\" profile-string section=\"PreProcessor\" key=\"AliasSequence\" value=";
    ExpectAuditLines({sequence + "\"0!\" result=0 (Success)", sequence + "\"1\" result=0 (Success)",
                      "\"BuildAliasTable\" alias-table-build generation=1 result=published (0 records)"},
                     "build");

    // A second build while the first holds the lock: refused, and said so.
    ASSERT_TRUE(Dir().ClearLog());
    int lock = open((queue_ + "/AliasTables/build.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_TRUE(lock >= 0 && flock(lock, LOCK_EX) == 0);
    Send("Command=BuildAliasTable");
    close(lock);
    ExpectAuditLines(
        {"\"BuildAliasTable\" alias-table-build result=not-published (Another Mail Alias Table build is in progress, Alias Table not built)"},
        "locked build");

    // A forged request: refused before its handler runs.
    ASSERT_TRUE(Dir().ClearLog());
    Send("", {{"REQUEST_METHOD", "GET"},
              {"QUERY_STRING", "Command=VerifyDeleteUser&Mail=anna%40example.com"},
              {"HTTP_SEC_FETCH_SITE", "cross-site"},
              {"HTTP_HOST", "mail.example.com"}});
    ExpectAuditLines({"\"VerifyDeleteUser\" request result=refused (not sent by POST)"}, "forged");
    EXPECT_NE(Dir().Search(kAnna, "(objectClass=*)", "1.1"), "");
    EXPECT_EQ(LogTexts(Dir().ReadLog(), "1"), Strings{});
}

}  // namespace
