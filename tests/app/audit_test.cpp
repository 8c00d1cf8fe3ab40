// The audit trail, as the web server runs the program against the sandbox
// directory: every change of every kind (user create, update, rename and
// delete with the domain entries they add, a connector, alias changes, the
// alias table build with its sequence writes, a change the server refuses,
// a forged request) leaves exactly the expected lines at the audit level,
// with the requester, command, DN, values and result; refusals that change
// nothing leave none; the bind password never reaches the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;
using Strings = std::vector<string>;
using Fields = std::vector<std::pair<string, string>>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

const Environment kRequester = {{"REMOTE_USER", "admin"}, {"REMOTE_ADDR", "192.0.2.7"}};
const string kWho = "audit: user=\"admin\" address=\"192.0.2.7\" ";
const string kAnna = "mail=anna@example.com,dc=example,dc=com";

string FormEncode(const string& text) {
    string out;
    char code[4];
    for (unsigned char c : text)
        out += isalnum(c) ? string(1, c) : (snprintf(code, sizeof code, "%%%02X", c), string(code));
    return out;
}

ProcessResult Post(const Fields& fields) {
    string body;
    for (const auto& f : fields) body += (body.empty() ? "" : "&") + f.first + "=" + FormEncode(f.second);
    Environment env = kRequester;
    env["XOMTA_CONFIG_DIR"] = Dir().ConfigDir();
    return RunCgiPost(body, env);
}

// The texts of the log's lines at `level`.
Strings LogTexts(const string& level = "4") { return ::LogTexts(Dir().ReadLog(), level); }

Fields NewUser(const string& first, const string& last, const string& address, const string& mail) {
    return {{"Command", "NewUser"}, {"Submit", "Create User"}, {"FirstName", first}, {"LastName", last},
            {"TelNo", ""},          {"Address", address},      {"Mail", mail}};
}
Fields UpdateUser(const string& old, const string& first, const string& last, const string& tel,
                  const string& mail) {
    return {
        {"Command", "UpdateUser"}, {"MailNdx", old}, {"FirstName", first}, {"LastName", last}, {"TelNo", tel},
        {"Address", ""},           {"Mail", mail}};
}

class Audit : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir().Ok());
        queue_ = BinaryPath("audit-queue");
        mkdir(queue_.c_str(), 0755);
        ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ +
                                      "\n\n[Channels]\nSMTPC=enabled,connectors\n"));
        ASSERT_TRUE(
            Dir().Reset("dn: dc=com\nobjectClass: domain\ndc: com\n\n"
                        "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
                        "dn: " +
                        kAnna +
                        "\nobjectClass: xoperson\nmail: anna@example.com\n"
                        "firstname: Anna\nsn: Smith\ncn: Anna Smith\n"));
    }
    void TearDown() override { (void)system(("rm -rf '" + queue_ + "'").c_str()); }
    string queue_;
};

TEST_F(Audit, EveryChangeLeavesItsLineWithWhoWhatAndResult) {
    const string road = "1 Road\r\nTown " + string(287, 'x');  // 300 bytes: the first 256 are shown
    const string lee = "mail=lee@new.example.org,dc=new,dc=example,dc=org";
    const string leo = "mail=leo@new.example.org,dc=new,dc=example,dc=org";
    struct Case {
        const char* name;
        Fields fields;
        Strings lines;  // the audit lines, whole
    };
    const Case cases[] = {
        {"create in a new domain",
         NewUser("Lee", "Stone \"Q\"", road, "lee@new.example.org"),
         {kWho + "command=\"NewUser\" add \"dc=org\" +objectClass=\"domain\" +dc=\"org\" result=0 (Success)",
          kWho + "command=\"NewUser\" add \"dc=example,dc=org\" +objectClass=\"domain\" result=0 (Success)",
          kWho + "command=\"NewUser\" add \"dc=new,dc=example,dc=org\" +objectClass=\"domain\" " +
              "result=0 (Success)",
          kWho + "command=\"NewUser\" add \"" + lee +
              "\" +objectClass=\"xoperson\" +cn=\"Lee Stone \\\"Q\\\"\" +firstname=\"Lee\" "
              "+streetaddress=\"1 Road\\x0D\\x0ATown " +
              string(243, 'x') + "...\"(300 bytes) +sn=\"Stone \\\"Q\\\"\" result=0 (Success)"}},
        {"create of a user that exists",
         NewUser("Lee", "Stone", "", "lee@new.example.org"),
         {kWho + "command=\"NewUser\" add \"" + lee +
          "\" +objectClass=\"xoperson\" +cn=\"Lee Stone\" +firstname=\"Lee\" +sn=\"Stone\" "
          "result=68 (Already exists)"}},
        {"create the server refuses",
         NewUser("Bad\xFF", "X", "", "bad@example.com"),
         {kWho +
          "command=\"NewUser\" add \"mail=bad@example.com,dc=example,dc=com\" +objectClass=\"xoperson\" "
          "+cn=\"Bad\\xFF X\" +firstname=\"Bad\\xFF\" +sn=\"X\" result=21 (Invalid syntax)"}},
        {"update",
         UpdateUser("anna@example.com", "Anna", "Smyth", "+44 1", "anna@example.com"),
         {kWho + "command=\"UpdateUser\" modify \"" + kAnna +
          "\" -sn=\"Smith\" +sn=\"Smyth\" +telephoneNumber=\"+44 1\" -cn=\"Anna Smith\" +cn=\"Anna Smyth\" "
          "result=0 (Success)"}},
        {"rename",
         UpdateUser("lee@new.example.org", "", "Stone", "", "leo@new.example.org"),
         {kWho + "command=\"UpdateUser\" rename \"" + lee + "\" to \"" + leo + "\" result=0 (Success)",
          kWho + "command=\"UpdateUser\" modify \"" + leo +
              "\" -firstname=\"Lee\" -sn=\"Stone \\\"Q\\\"\" +sn=\"Stone\" -streetaddress=\"1 Road\\x0D\\x0ATown " +
              string(243, 'x') +
              "...\"(300 bytes) -cn=\"Lee Stone \\\"Q\\\"\" +cn=\"Stone\" result=0 (Success)"}},
        {"connector",
         {{"Command", "AddChannel"},
          {"Mail", "anna@example.com"},
          {"Channel", "SMTPC"},
          {"Identifier", "anna@partner.example"},
          {"Permission", "Send/Receive"}},
         {kWho + "command=\"AddChannel\" modify \"" + kAnna +
          "\" +othermailbox=\"SMTPC$anna@partner.example\" +x-permission=\"SMTPC$Send/Receive\" "
          "result=0 (Success)"}},
        {"new alias",
         {{"Command", "UpdateAlias"},
          {"Mail", "anna@example.com"},
          {"MailAlias", "ann@example.com"},
          {"OldMailAlias", ""}},
         {kWho + "command=\"UpdateAlias\" modify \"" + kAnna +
          "\" +mail=\"ann@example.com\" result=0 (Success)"}},
        {"changed alias, through the NewUser row",
         {{"Command", "NewUser"},
          {"Submit", "UpdateAlias"},
          {"Mail", "anna@example.com"},
          {"MailAlias", "annie@example.com"},
          {"OldMailAlias", "ann@example.com"}},
         {kWho + "command=\"UpdateAlias\" modify \"" + kAnna +
          "\" -mail=\"ann@example.com\" +mail=\"annie@example.com\" result=0 (Success)"}},
        {"deleted alias",
         {{"Command", "ConfirmDeleteAlias"},
          {"Mail", "anna@example.com"},
          {"MailAlias", "annie@example.com"}},
         {kWho + "command=\"ConfirmDeleteAlias\" modify \"" + kAnna +
          "\" -mail=\"annie@example.com\" result=0 (Success)"}},
        {"delete",
         {{"Command", "VerifyDeleteUser"}, {"Mail", "leo@new.example.org"}},
         {kWho + "command=\"VerifyDeleteUser\" delete \"" + leo + "\" result=0 (Success)"}},
        {"delete refused before any change",
         {{"Command", "VerifyDeleteUser"}, {"Mail", "leo@new.example.org"}},
         {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Dir().ClearLog());
        ProcessResult result = Post(c.fields);
        EXPECT_EQ(result.exitStatus, 0) << c.name;
        EXPECT_EQ(LogTexts(), c.lines) << c.name << "\n" << Dir().ReadLog();
        EXPECT_EQ(Dir().ReadLog().find(Dir().RootPassword()), string::npos) << c.name;  // the bind's
    }
    EXPECT_EQ(Dir().Search(kAnna, "(objectClass=*)", "mail othermailbox"),
              "dn: " + kAnna + "\nmail: anna@example.com\nothermailbox: SMTPC$anna@partner.example\n\n");
}

TEST_F(Audit, BuildsAndForgedRequestsLeaveTheirLines) {
    ASSERT_TRUE(Dir().ClearLog());
    ASSERT_EQ(Post({{"Command", "BuildAliasTable"}}).exitStatus, 0);
    // The build goes on after its page, in a process of its own.
    for (int wait = 0; wait < 200 && Dir().ReadLog().find("alias-table-build") == string::npos; ++wait)
        usleep(50000);
    const string build = kWho + "command=\"BuildAliasTable\" ";
    EXPECT_EQ(LogTexts(),
              (Strings{build + "profile-string section=\"PreProcessor\" key=\"AliasSequence\" value=\"0!\" "
                               "result=0 (Success)",
                       build + "profile-string section=\"PreProcessor\" key=\"AliasSequence\" value=\"1\" "
                               "result=0 (Success)",
                       build + "alias-table-build generation=1 result=published (0 records)"}))
        << Dir().ReadLog();

    // A second build while the first holds the lock: refused, and said so.
    ASSERT_TRUE(Dir().ClearLog());
    int lock = open((queue_ + "/AliasTables/build.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_TRUE(lock >= 0 && flock(lock, LOCK_EX) == 0);
    Post({{"Command", "BuildAliasTable"}});
    close(lock);
    EXPECT_EQ(LogTexts(),
              Strings{build + "alias-table-build result=not-published (Another Mail Alias Table build "
                              "is in progress, Alias Table not built)"});

    // A forged request: refused before its handler runs.
    ASSERT_TRUE(Dir().ClearLog());
    Environment env = kRequester;
    env["XOMTA_CONFIG_DIR"] = Dir().ConfigDir();
    env["HTTP_SEC_FETCH_SITE"] = "cross-site";
    env["HTTP_HOST"] = "mail.example.com";
    RunCgiGet("Command=VerifyDeleteUser&Mail=anna%40example.com", env);
    EXPECT_EQ(LogTexts(),
              Strings{kWho + "command=\"VerifyDeleteUser\" request result=refused (not sent by POST)"});
    EXPECT_NE(Dir().Search(kAnna, "(objectClass=*)", "1.1"), "");
    EXPECT_EQ(LogTexts("1"), Strings{});
}

}  // namespace
