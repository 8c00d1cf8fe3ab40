// The audit trail, as the web server runs the program against the sandbox
// directory: each kind of change (user create with the domain entries it
// adds, update, rename, delete, a connector, alias changes, the alias table
// build with its sequence writes, a change the server refuses, a forged
// request) leaves its lines at the audit level with the requester, command,
// DN and result, and nothing else; refusals that change nothing leave none;
// the bind password never reaches the log. How values are quoted, escaped
// and cut is the audit line writer's own test's business.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;
using Strings = std::vector<string>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

const string kWho = "audit: user=\"admin\" address=\"192.0.2.7\" command=";
const string kAnna = "mail=anna@example.com,dc=example,dc=com";
const string kLee = "mail=lee@new.example.org,dc=new,dc=example,dc=org";
const string kLeo = "mail=leo@new.example.org,dc=new,dc=example,dc=org";

// A url-encoded POST from the requester; a GET when `env` holds a query string.
ProcessResult Post(const string& body, Environment env = {}) {
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
        EXPECT_EQ(Post(body).exitStatus, 0) << body;
        ExpectAuditLines(parts, body);
    }
    EXPECT_EQ(Dir().Search(kAnna, "(objectClass=*)", "mail othermailbox"),
              "dn: " + kAnna + "\nmail: anna@example.com\nothermailbox: SMTPC$anna@partner.example\n\n");
}

TEST_F(Audit, BuildsAndForgedRequestsLeaveTheirLines) {
    ASSERT_TRUE(Dir().ClearLog());
    ASSERT_EQ(Post("Command=BuildAliasTable").exitStatus, 0);
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
    Post("Command=BuildAliasTable");
    close(lock);
    ExpectAuditLines(
        {"\"BuildAliasTable\" alias-table-build result=not-published (Another Mail Alias Table build is in progress, Alias Table not built)"},
        "locked build");

    // A forged request: refused before its handler runs.
    ASSERT_TRUE(Dir().ClearLog());
    Post("", {{"REQUEST_METHOD", "GET"},
              {"QUERY_STRING", "Command=VerifyDeleteUser&Mail=anna%40example.com"},
              {"HTTP_SEC_FETCH_SITE", "cross-site"},
              {"HTTP_HOST", "mail.example.com"}});
    ExpectAuditLines({"\"VerifyDeleteUser\" request result=refused (not sent by POST)"}, "forged");
    EXPECT_NE(Dir().Search(kAnna, "(objectClass=*)", "1.1"), "");
    EXPECT_EQ(LogTexts(Dir().ReadLog(), "1"), Strings{});
}

}  // namespace
