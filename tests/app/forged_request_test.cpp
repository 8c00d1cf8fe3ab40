// Requests sent from elsewhere than our own pages, run as the web server runs
// the program against the sandbox directory. Every changing command of the
// command table, by its own row and through the NewUser row's Submit, gets
// the invalid-request page for every forged form, changes nothing and leaves
// an audit line; every reading command still answers a link; posts from our
// own pages, and from tools that send no origin headers, still work.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "app/commands.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }
const string kHost = "mail.example.com", kAnn = "ann@example.com";

// A request in its transport: the method, body type and browser headers.
struct Transport {
    const char* name;
    string method, contentType;
    Environment headers;
};

ProcessResult Send(const Transport& t, const Fields& fields) {
    Environment env = t.headers;
    env["XOMTA_CONFIG_DIR"] = Dir().ConfigDir();
    env["REQUEST_METHOD"] = t.method;
    string body = FormBody(fields);
    if (t.method == "GET") return RunCgi((env["QUERY_STRING"] = body, env));
    if (t.contentType == "text/plain") body += "=\r\n";  // the whole request in one field's name
    if (t.contentType.rfind("multipart/", 0) == 0) {
        body.clear();
        for (const auto& f : fields)
            body += "--B0und\r\nContent-Disposition: form-data; name=\"" + f.first + "\"\r\n\r\n" + f.second +
                    "\r\n";
        body += "--B0und--\r\n";
    }
    if (!t.contentType.empty()) env["CONTENT_TYPE"] = t.contentType;
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}

// The request of a command with values that would change the seeded
// directory, by its own row or (`viaNewUser`) through the NewUser row.
Fields Request(const Command& command, bool viaNewUser) {
    const bool newUser = string(command.name) == "NewUser";
    std::map<string, string> values = {
        {"MailNdx", kAnn},       {"Mail", kAnn},         {"FirstName", "Eve"},
        {"LastName", "Evil"},    {"Channel", "SMTP"},    {"Othermailbox", "SMTP$ann@remote.net"},
        {"Identifier", "x@y.z"}, {"Permission", "Send"}, {"MailAlias", "ann.alias@example.com"},
        {"Domain", "com"},       {"Special", "on"}};
    if (newUser) values["Mail"] = "eve@example.com";
    if (string(command.name) == "UpdateAlias") values["MailAlias"] = "new@example.com";
    Fields fields = {{"Command", viaNewUser ? "NewUser" : command.name}};
    if (viaNewUser || newUser) fields.push_back({"Submit", newUser ? "Create User" : command.name});
    for (std::size_t i = 0; i < kMaxCommandFields && command.fields[i] != nullptr; ++i)
        fields.push_back({command.fields[i], values[command.fields[i]]});
    return fields;
}

class ForgedRequest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir().Ok());
        queue_ = BinaryPath("forged-queue");
        mkdir(queue_.c_str(), 0755);
        ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ +
                                      "\n\n[Channels]\nSMTP=enabled,connectors\n"));
        ASSERT_TRUE(Dir().Reset(
            string(kExampleDomainLdif) +
            "dn: mail=ann@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: ann@example.com\n"
            "mail: ann.alias@example.com\nfirstname: Ann\nsn: Lee\ncn: Ann Lee\n"
            "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n"
            "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: bob@example.com\n"
            "firstname: Bob\nsn: Brown\ncn: Bob Brown\n\n"));
        ASSERT_TRUE(Dir().ClearLog());
    }
    int LogLines(const string& text) { return CountLogLines(Dir().ReadLog(), text); }
    string State() { return Dir().Search("", "(objectClass=*)", "*"); }
    string queue_;
};

TEST_F(ForgedRequest, EveryForgedChangeIsRefusedAndChangesNothingAndEveryReadIsServed) {
    const string before = State(), invalid = ExpectedPage("invalid_request");
    const Environment host = {{"HTTP_HOST", kHost}};
    auto with = [&host](Environment extra) { return extra.insert(host.begin(), host.end()), extra; };
    const string form = "application/x-www-form-urlencoded", multi = "multipart/form-data; boundary=B0und";
    const Transport forged[] = {
        {"GET", "GET", "", {}},
        {"GET from a same-origin page", "GET", "", with({{"HTTP_SEC_FETCH_SITE", "same-origin"}})},
        {"cross-site form", "POST", form, with({{"HTTP_SEC_FETCH_SITE", "cross-site"}})},
        {"same-site form", "POST", form, with({{"HTTP_SEC_FETCH_SITE", "same-site"}})},
        {"foreign Origin", "POST", form, with({{"HTTP_ORIGIN", "https://evil.example.net"}})},
        {"opaque Origin", "POST", form, with({{"HTTP_ORIGIN", "null"}})},
        {"cross-site multipart", "POST", multi, with({{"HTTP_SEC_FETCH_SITE", "cross-site"}})},
        {"foreign-Origin multipart", "POST", multi, with({{"HTTP_ORIGIN", "http://evil.example.net"}})},
        {"http page to https", "POST", form, with({{"HTTP_ORIGIN", "http://" + kHost}, {"HTTPS", "1"}})},
        {"text/plain", "POST", "text/plain", {}},
    };
    int runs = 0, textPlain = 0;
    for (std::size_t row = 0; row < kCommandCount; ++row) {
        const Command& command = kCommands[row];
        if (!command.changes) {
            ProcessResult read = Send(forged[0], Request(command, false));
            EXPECT_EQ(read.out.rfind("Content-type: text/html\n\n<html>\n", 0), 0u) << command.name;
            EXPECT_EQ(read.out.find("<title>Internal error</title>"), string::npos) << command.name;
            continue;
        }
        for (bool viaNewUser : {false, true}) {
            if (viaNewUser && string(command.name) == "NewUser") continue;
            for (const Transport& t : forged) {
                ProcessResult r = Send(t, Request(command, viaNewUser));
                EXPECT_EQ(r.out, invalid)
                    << t.name << ": " << command.name << (viaNewUser ? " via NewUser" : "");
                EXPECT_EQ(r.exitStatus, 0) << t.name << ": " << command.name;
                ++(t.contentType == "text/plain" ? textPlain : runs);
            }
        }
    }
    EXPECT_EQ(State(), before);
    struct stat st;
    EXPECT_NE(stat((queue_ + "/AliasTables").c_str(), &st), 0);  // no build began
    EXPECT_EQ(LogLines(" request result=refused ("), runs) << Dir().ReadLog();
    EXPECT_EQ(LogLines("command=\"VerifyDeleteUser\" request result=refused (not sent by POST)"), 4);
    EXPECT_EQ(
        LogLines("command=\"NewUser\" request result=refused (sent from another site (Sec-Fetch-Site))"), 3);
    EXPECT_EQ(
        LogLines("command=\"BuildAliasTable\" request result=refused (sent from another origin (Origin))"),
        8);
    EXPECT_EQ(LogLines("a POST body whose CONTENT_TYPE is no form"), textPlain);
}

TEST_F(ForgedRequest, PostsFromOurPagesAndWithoutOriginHeadersWork) {
    const string form = "application/x-www-form-urlencoded", bob = "mail=bob@example.com,dc=example,dc=com";
    const Transport ours[] = {
        {"same-origin page",
         "POST",
         form,
         {{"HTTP_SEC_FETCH_SITE", "same-origin"},
          {"HTTP_ORIGIN", "http://" + kHost + ":8080"},
          {"HTTP_HOST", kHost + ":8080"}}},
        {"typed address", "POST", form, {{"HTTP_SEC_FETCH_SITE", "none"}}},
        {"page under no-referrer",
         "POST",
         form,
         {{"HTTP_SEC_FETCH_SITE", "same-origin"}, {"HTTP_ORIGIN", "null"}, {"HTTP_HOST", kHost}}},
        {"script", "POST", "", {}},
        {"multipart from our page",
         "POST",
         "multipart/form-data; boundary=B0und",
         {{"HTTP_SEC_FETCH_SITE", "same-origin"}, {"HTTP_ORIGIN", "http://" + kHost}, {"HTTP_HOST", kHost}}},
    };
    for (const Transport& t : ours) {
        SCOPED_TRACE(t.name);
        ASSERT_NE(Dir().Search(bob, "(objectClass=*)", "1.1"), "");
        ProcessResult deleted =
            Send(t, {{"Command", "NewUser"}, {"Submit", "VerifyDeleteUser"}, {"Mail", "bob@example.com"}});
        EXPECT_NE(deleted.out.find("<title>Delete User</title>"), string::npos) << deleted.out;
        EXPECT_NE(deleted.out.find("Successfully Deleted User"), string::npos) << deleted.out;
        EXPECT_EQ(Dir().Search(bob, "(objectClass=*)", "1.1"), "");
        ProcessResult created = Send(t, {{"Command", "NewUser"},
                                         {"Submit", "Create User"},
                                         {"FirstName", "Bob"},
                                         {"LastName", "Brown"},
                                         {"TelNo", ""},
                                         {"Address", ""},
                                         {"Mail", "bob@example.com"}});
        EXPECT_NE(created.out.find("User created Succesfully"), string::npos) << created.out;
    }
    EXPECT_EQ(LogLines("refused"), 0) << Dir().ReadLog();
}

}  // namespace
