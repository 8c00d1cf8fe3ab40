// Changing commands sent from elsewhere than our own pages, run as the web
// server runs the program against the sandbox directory: every forged form
// of every changing command (also through the NewUser row's Submit) gets the
// invalid-request page, changes nothing and leaves an audit line; posts from our
// own pages, and from tools that send no origin headers, still work.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"

namespace {

using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }
const string kInvalid = pagetexts::ResultPage("Internal error", "Invalid CGI values!");
const string kHost = "mail.example.com";

string State() { return Dir().Search("", "(objectClass=*)", "*"); }

// A request in its transport: the method, body type and browser headers.
struct Transport {
    const char* name;
    string method, contentType;
    Environment headers;
};

// Values are sent as typed; in a url-encoded body "@", "$" and blanks are escaped.
string UrlBody(const std::vector<std::pair<string, string>>& fields) {
    string body;
    for (const auto& f : fields) {
        body += (body.empty() ? "" : "&") + f.first + "=";
        for (char c : f.second) body += c == '@' ? "%40" : c == '$' ? "%24" : c == ' ' ? "+" : string(1, c);
    }
    return body;
}

ProcessResult Send(const Transport& t, const std::vector<std::pair<string, string>>& fields) {
    Environment env = t.headers;
    env["XOMTA_CONFIG_DIR"] = Dir().ConfigDir();
    env["REQUEST_METHOD"] = t.method;
    string body = UrlBody(fields);
    if (t.method == "GET") return RunCgi((env["QUERY_STRING"] = body, env));
    if (t.contentType == "text/plain") {
        body += "=\r\n";  // a text/plain form: the whole request in one field's name
    } else if (t.contentType.rfind("multipart/", 0) == 0) {
        string parts;
        for (const auto& f : fields)
            parts += "--B0und\r\nContent-Disposition: form-data; name=\"" + f.first + "\"\r\n\r\n" +
                     f.second + "\r\n";
        body = parts + "--B0und--\r\n";
    }
    if (!t.contentType.empty()) env["CONTENT_TYPE"] = t.contentType;
    env["CONTENT_LENGTH"] = std::to_string(body.size());
    return RunCgi(env, body);
}

int LogLines(const string& text) { return CountLogLines(Dir().ReadLog(), text); }

using Fields = std::vector<std::pair<string, string>>;
const string kAnn = "ann@example.com";
// Every changing command with fields that would change the seeded directory.
const std::vector<std::pair<string, Fields>> kChanges = {
    {"UpdateUser",
     {{"MailNdx", kAnn},
      {"FirstName", ""},
      {"LastName", ""},
      {"TelNo", ""},
      {"Address", ""},
      {"Mail", kAnn}}},
    {"VerifyDeleteUser", {{"Mail", kAnn}}},
    {"BuildAliasTable", {}},
    {"UpdateAlias",
     {{"Mail", kAnn}, {"MailAlias", "new@example.com"}, {"OldMailAlias", "ann.alias@example.com"}}},
    {"ConfirmDeleteAlias", {{"Mail", kAnn}, {"MailAlias", "ann.alias@example.com"}}},
    {"AddChannel", {{"Mail", kAnn}, {"Channel", "SMTP"}, {"Identifier", "x@y.z"}, {"Permission", "Send"}}},
    {"UpdateConn",
     {{"Mail", kAnn},
      {"Othermailbox", "SMTP$ann@remote.net"},
      {"Identifier", "y@y.z"},
      {"Permission", "Send"}}},
    {"VerifyDeleteConn", {{"Mail", kAnn}, {"Othermailbox", "SMTP$ann@remote.net"}, {"Permission", "Send"}}},
};

class ForgedRequest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir().Ok());
        queue_ = BinaryPath("forged-queue");
        mkdir(queue_.c_str(), 0755);
        ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue_ + "\n"));
        ASSERT_TRUE(Dir().Reset(
            "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
            "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
            "dn: mail=ann@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: ann@example.com\n"
            "mail: ann.alias@example.com\nfirstname: Ann\nsn: Lee\ncn: Ann Lee\n"
            "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n"
            "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: bob@example.com\n"
            "firstname: Bob\nsn: Brown\ncn: Bob Brown\n\n"));
        ASSERT_TRUE(Dir().ClearLog());
    }
    string queue_;
};

TEST_F(ForgedRequest, EveryForgedChangeIsRefusedAndChangesNothing) {
    const string before = State();
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
    // Each command by its own row, and through the NewUser row's Submit.
    std::vector<std::pair<string, Fields>> requests;
    requests.push_back({"NewUser create",
                        {{"Command", "NewUser"},
                         {"Submit", "Create User"},
                         {"FirstName", "Eve"},
                         {"LastName", "Evil"},
                         {"TelNo", ""},
                         {"Address", ""},
                         {"Mail", "eve@example.com"}}});
    for (const auto& change : kChanges) {
        Fields own = {{"Command", change.first}},
               viaNewUser = {{"Command", "NewUser"}, {"Submit", change.first}};
        own.insert(own.end(), change.second.begin(), change.second.end());
        viaNewUser.insert(viaNewUser.end(), change.second.begin(), change.second.end());
        requests.push_back({change.first, own});
        requests.push_back({"NewUser/" + change.first, viaNewUser});
    }
    int runs = 0, textPlain = 0;
    for (const Transport& t : forged) {
        for (const auto& request : requests) {
            ProcessResult r = Send(t, request.second);
            EXPECT_EQ(r.out, kInvalid) << t.name << ": " << request.first;
            EXPECT_EQ(r.exitStatus, 0) << t.name << ": " << request.first;
            ++(t.contentType == "text/plain" ? textPlain : runs);
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
    // Reading commands still answer a link.
    EXPECT_NE(
        Send(forged[0], {{"Command", "FindUser"}, {"Mail", kAnn}}).out.find("<title>User Details</title>"),
        string::npos);
}

TEST_F(ForgedRequest, PostsFromOurPagesAndWithoutOriginHeadersWork) {
    const string form = "application/x-www-form-urlencoded";
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
    const string bob = "mail=bob@example.com,dc=example,dc=com";
    for (const Transport& t : ours) {
        SCOPED_TRACE(t.name);
        ASSERT_NE(Dir().Search(bob, "(objectClass=*)", "1.1"), "");
        ProcessResult deleted =
            Send(t, {{"Command", "NewUser"}, {"Submit", "VerifyDeleteUser"}, {"Mail", "bob@example.com"}});
        EXPECT_EQ(deleted.out, pagetexts::Header("Delete User") +
                                   pagetexts::ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
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
