// The CGI request: url-encoded and multipart bodies decoded in-process as one
// table of requests (malformed fields, content types and lengths, NUL bytes,
// layout rules, uploads and the names refused), the origin screen of
// changing requests, and, run as a web server runs the executable, the fatal
// conditions, the dispatcher's choice of handler, and the upload folder gone
// whatever the outcome. Well-formed fields of any bytes decoding back,
// uploads and the part and field bounds included, are the cgi_url_encoded
// and cgi_multipart fuzz targets' round trips; fields named twice or in
// another letter case, escapes of non-hex characters, whole forged requests
// and requests without a command or without NewUser's Submit, the hostile
// suite's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "cgi/form_entries.h"
#include "cgi/request_origin.h"
#include "cgi/request_uploads.h"
#include "tests/support/config_folder.h"
#include "tests/support/holding_relay.h"
#include "tests/support/run_cgi.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
const std::string kBoundary = "XyZ";
const Environment kMultipart = {{"CONTENT_TYPE", "multipart/form-data; boundary=" + kBoundary}};

struct Part {
    std::string name, content;
    const char* fileName;  // null: a plain field
};

std::string Body(const std::vector<Part>& parts, const std::string& eol = "\r\n") {
    std::string body;
    for (const Part& p : parts) {
        body += "--" + kBoundary + eol + "Content-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName)
            body += std::string("; filename=\"") + p.fileName + "\"" + eol + "Content-Type: text/plain";
        body += eol + eol + p.content + eol;
    }
    return body + "--" + kBoundary + "--" + eol;
}

// `env` with the variables of `more` set ("-" unsets one).
Environment With(Environment env, const Environment& more) {
    for (const auto& [name, value] : more) value == "-" ? (void)env.erase(name) : (void)(env[name] = value);
    return env;
}

// The CGI variables of a POST of `body`, with those of `env` on top.
Environment Request(const Environment& env, const std::string& body) {
    return With({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", std::to_string(body.size())}}, env);
}

// Makes the request the process's own, `body` its standard input.
void SetRequest(const Environment& env, const std::string& body) {
    for (const char* name :
         {"REQUEST_METHOD", "CONTENT_LENGTH", "CONTENT_TYPE", "QUERY_STRING", "HTTP_USER_AGENT",
          "HTTP_SEC_FETCH_SITE", "HTTP_ORIGIN", "HTTP_HOST", "HTTPS", "REQUEST_SCHEME"})
        unsetenv(name);
    for (const auto& [name, value] : Request(env, body)) setenv(name.c_str(), value.c_str(), 1);
    char path[] = "/tmp/ldapcgi-stdin-XXXXXX";
    close(mkstemp(path));
    WriteWholeFile(path, body);
    EXPECT_NE(freopen(path, "rb", stdin), nullptr);
    unlink(path);
}

// The request folders of uploads under /tmp, but those in `before`.
std::set<std::string> UploadFolders(const std::set<std::string>& before = {}) {
    std::set<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp"))
        if (entry.path().filename().string().rfind("ldapcgi-upload-", 0) == 0 && !before.count(entry.path()))
            folders.insert(entry.path());
    return folders;
}

// The folders not in `before` still there after a few seconds: the folder of
// another program's request (a test beside these) goes with its request.
std::set<std::string> LeftSince(const std::set<std::string>& before) {
    std::set<std::string> left = {""};
    for (int poll = 0; poll < 300 && !left.empty(); ++poll, usleep(10000)) left = UploadFolders(before);
    return left;
}

// A field without "=" (unless only a final "&" follows) or an escape that
// decodes to NUL makes a url-encoded body malformed; the body's type decides
// the decoder (any type but a form's is refused); exactly CONTENT_LENGTH bytes
// are read; a NUL byte in a multipart name or value makes it malformed,
// delimiters count only at a line start and part headers are read by name
// and parameter; each request's uploads go into a new private folder, and
// names that leave or hide in it are refused. The lengths and methods that
// end the request are RequestProcess's.
TEST(ReadFormEntries, RequestsDecodedAsTheirTypeAndLength) {
    const std::string v8185(8185, 'v'), nul(1, '\0');
    const std::string part = "--XyZ\r\nContent-Disposition: form-data; name=", end = "\r\n--XyZ--\r\n";
    const std::string first = Body({{"a", "1", nullptr}});
    const Pairs a1 = {{"a", "1"}};
    const std::string cut = Body({{"a", "1", nullptr}, {"File", std::string(20, 'x'), "cut.txt"}});
    // Values across lines and read pieces, with no URL decoding, with either line end.
    const Pairs sent = {{"Address", "line one\r\nline two"}, {"Lf", "line one\nline two"},  {"a", "x%41+y"},
                        {"b", std::string(8192, 'L')},       {"c", std::string(8191, 'c')}, {"e", ""}};
    std::vector<Part> parts;
    for (const auto& field : sent) parts.push_back({field.first, field.second, nullptr});
    struct Case {
        Environment env;  // a POST of the body's length, no content type, unless given
        std::string body;
        int count;
        Pairs entries = {};  // none when the request ends (kFormInputFatal)
    };
    std::vector<Case> cases = {
        {{}, "a=1&b", kFormMalformed, {{"a", "1"}, {"b", ""}}},
        // "%" with fewer than two characters after it is kept.
        {{}, "a=%4&b=%&c%=1&d=x%", 4, {{"a", "%4"}, {"b", "%"}, {"c%", "1"}, {"d", "x%"}}},
        // An escape that decodes to NUL would cut its text.
        {{}, "Mail=anna@example.com%00junk", kFormMalformed, {}},
        {{}, std::string("a=1&b=2\0&c=3", 12), kFormMalformed, {}},  // a raw NUL in the body
        {{{"CONTENT_LENGTH", "8192"}}, "a=x1&a=" + v8185 + "&c=3", 2, {{"a", "x1"}, {"a", v8185}}},
        {{{"CONTENT_TYPE", "Application/X-WWW-Form-Urlencoded ; charset=UTF-8"}}, "a=1", 1, a1},
        {{{"CONTENT_TYPE", ""}}, "a=1", 1, a1},  // set, but empty: none
        {{{"CONTENT_TYPE", "text/plain; x=multipart/form-data"}}, "a=1", kFormMalformed, {}},
        {{{"CONTENT_LENGTH", "abc"}}, "a=1", 0, {}},  // no digits: an empty body
        // With GET, a multipart body's type wins.
        {With(kMultipart, {{"REQUEST_METHOD", "GET"}}), first, 1, a1},
        {kMultipart, Body(parts), 6, sent},
        {kMultipart, Body(parts, "\n"), 6, sent},
        // A length that ends inside a value: the value has no delimiter and is dropped.
        {With(kMultipart, {{"CONTENT_LENGTH", std::to_string(first.size() + 2 + kBoundary.size())}}),
         Body({{"a", "1", nullptr}, {"big", std::string(100000, 'x'), nullptr}}), 1, a1},
        {With(kMultipart, {{"CONTENT_LENGTH", std::to_string(cut.size() - 20)}}), cut, 1, a1},  // a file cut
        // The boundary inside a line, or longer, ends nothing.
        {kMultipart, part + "a\r\n\r\nx --XyZ y\r\n--XyZx" + end, 1, {{"a", "x --XyZ y\r\n--XyZx"}}},
        // Blanks, letter case, the first name parameter, other headers first.
        {kMultipart,
         "--XyZ\r\nA: b\r\nCONTENT-DISPOSITION :  form-data ; x=y; NAME = \"a b\" ; name=c\r\n\r\n1" + end,
         1,
         {{"a b", "1"}}},
        // A part without Content-Disposition stops the decoding.
        {kMultipart, part + "a\r\n\r\n1\r\n--XyZ\r\nContent-Type: x\r\n\r\n2" + end, 1, a1},
        {kMultipart, Body({{"a", "anna@example.com" + nul + "junk", nullptr}}), kFormMalformed, {}},
        {kMultipart, Body({{"a" + nul + "b", "1", nullptr}}), kFormMalformed, {}},
        // A file field left empty: no file.
        {kMultipart, Body({{"a", "1", nullptr}, {"File", "", ""}}), 2, {{"a", "1"}, {"File", ""}}},
        // The same name twice in one request: the second is not written over the first.
        {kMultipart, Body({{"File", "one", "same.txt"}, {"File", "two", "same.txt"}}), kFormInputFatal, {}},
    };
    // Upload names refused, by user agent: "win" counts only as the Windows platform token.
    const std::pair<const char*, const char*> refused[] = {
        {"..", ""},
        {".hidden", ""},
        {"a\1b", ""},
        {"../../x", ""},
        {"back\\slash", ""},
        {"..\\..\\x", "Mozilla/5.0 (Macintosh) Darwin/23.0"},
        {"C:\\dir\\..", "Mozilla (Windows)"},
    };
    for (const auto& [name, agent] : refused)
        cases.push_back(
            {With(kMultipart, {{"HTTP_USER_AGENT", agent}}), Body({{"File", "x", name}}), kFormInputFatal});
    // Last, an upload from a Windows agent (the name after the last "\\"); in a file a NUL is just a byte.
    cases.push_back({With(kMultipart, {{"HTTP_USER_AGENT", "Mozilla/5.0 (X11; Win64; x64)"}}),
                     Body({{"File", "bin" + nul + "ary", "..\\..\\up.txt"}}),
                     1,
                     {{"File", "up.txt"}}});
    const std::set<std::string> before = UploadFolders();
    std::string previous;
    for (const Case& c : cases) {
        SetRequest(c.env, c.body);
        FormEntryList list = {nullptr};
        EXPECT_EQ(ReadFormEntries(list), c.count) << &c - cases.data();
        Pairs entries;
        for (const FormEntry* e = list.head; e && c.count != kFormInputFatal; e = e->next)
            entries.emplace_back(e->name, e->value);
        FormEntryListClear(list);
        EXPECT_EQ(entries, c.entries) << &c - cases.data();
        EXPECT_EQ(ModeOf(previous), -1);  // the uploads of the request before are gone
        previous = RequestUploadFolder() ? RequestUploadFolder() : "";
        EXPECT_TRUE(previous.empty() || (before.count(previous) == 0 && ModeOf(previous) == 0700))
            << previous;
    }
    EXPECT_EQ(ReadWholeFile(previous + "/up.txt"), "bin" + nul + "ary");
    EXPECT_EQ(ModeOf(previous + "/up.txt"), 0600);
    RemoveRequestUploads();
    EXPECT_EQ(LeftSince(before), std::set<std::string>{});
}

// Origin (or Referer) against Host and the request's scheme, and Sec-Fetch-Site.
TEST(ForgedRequestReason, OriginAgainstHostAndScheme) {
    const char *site = "sent from another site (Sec-Fetch-Site)",
               *origin = "sent from another origin (Origin)", *referer = "sent from another origin (Referer)";
    const struct {
        const char* origin;  // null: none
        const char* fetchSite;
        const char* reason;
        Environment more = {};  // Host is mail.example.com and the method POST unless given
    } cases[] = {
        {nullptr, nullptr, "not sent by POST", {{"REQUEST_METHOD", "post"}}},
        {nullptr, "Same-Origin", nullptr},
        {"https://mail.example.com", nullptr, nullptr, {{"HTTPS", "on"}}},
        {"HTTPS://mail.example.com:443", nullptr, nullptr, {{"REQUEST_SCHEME", "https"}}},
        // The scheme counts too; without HTTPS or REQUEST_SCHEME it is plain http.
        {"https://mail.example.com", nullptr, origin},
        {"http://127.0.0.1:8080", nullptr, nullptr, {{"HTTP_HOST", "127.0.0.1:8080"}}},
        {"http://mail.example.com:8080", nullptr, origin},
        {"http://mail.example.com.evil.net", nullptr, origin},
        // Opaque, as pages under "Referrer-Policy: no-referrer" post: only with a same-origin fetch.
        {"null", nullptr, origin},
        {"null", "same-origin", nullptr},
        // Each header must pass on its own.
        {"https://evil.example.net", "same-origin", origin},
        {"https://mail.example.com", "cross-site", site, {{"HTTPS", "1"}}},
        // A Referer, from browsers that send no Origin, stands for one.
        {nullptr, nullptr, nullptr, {{"HTTP_REFERER", "http://mail.example.com/vemo/cgi-bin/x?a=b"}}},
        {nullptr, nullptr, referer, {{"HTTP_REFERER", "https://evil.example.net/"}}},
        {"http://mail.example.com", nullptr, nullptr, {{"HTTP_REFERER", "https://evil.example.net/"}}},
        {nullptr, nullptr, nullptr, {{"HTTP_REFERER", ""}}},  // says nothing
    };
    for (const auto& c : cases) {
        Environment env = {{"HTTP_HOST", "mail.example.com"}};
        if (c.origin != nullptr) env["HTTP_ORIGIN"] = c.origin;
        if (c.fetchSite != nullptr) env["HTTP_SEC_FETCH_SITE"] = c.fetchSite;
        SetRequest(With(env, c.more), "");
        EXPECT_STREQ(ForgedRequestReason(), c.reason) << &c - cases;
    }
}

// Run as a web server runs it: fatal input errors end with status 1, a
// message and no page; whatever the outcome, the request's uploads go with
// it; a body holds at most 64 parts and a field at most 8 192 bytes. The
// dispatcher: field names match exactly ("command" is not "Command"), the
// command's letter case does not count, an unknown command or a malformed
// body gets the invalid-request page, and NewUser's Submit is "Create User"
// or stands for another command.
TEST(RequestProcess, FatalConditionsDispatchAndUploadsThatNeverOutliveTheRequest) {
    const Part command = {"Command", "FindUserMenu", nullptr}, file = {"File", "payload", "upload.txt"};
    std::vector<Part> parts65(64, {"f", "", nullptr});
    parts65.push_back(file);
    const std::vector<Part> deleteUser = {{"Command", "VerifyDeleteUser", nullptr}, file};
    const char *page = "<title>Find User Menu</title>", *invalid = "Invalid CGI values!";
    const char *tooLong = "CONTENT_LENGTH > MAX_POST_DATA_LENGTH", *short_ = "input length < CONTENT_LENGTH";
    const char *tooLongMultipart = "CONTENT_LENGTH > MAX_MULTIPART_DATA_LENGTH",
               *noLength = "CONTENT_LENGTH is null";
    const auto get = [](const char* query) {
        return Environment{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}};
    };
    const struct {
        Environment env;
        std::vector<Part> parts;  // a multipart body; none: `body`
        const char* error;        // null: status 0 and nothing on standard error
        const char* out;          // a piece of the page; empty: none
        std::string body = "a=1";
    } cases[] = {
        {{{"REQUEST_METHOD", "GET"}}, {}, "QUERY_STRING is null", ""},
        {With(get("Command=FindUserMenu"), {{"REQUEST_METHOD", "HEAD"}}), {}, "REQUEST_METHOD invalid", ""},
        {{{"CONTENT_LENGTH", "-"}}, {}, noLength, ""},
        {{{"CONTENT_LENGTH", "-"}}, {command}, noLength, ""},
        {{{"CONTENT_LENGTH", "1000"}}, {command}, short_, ""},
        {{{"CONTENT_LENGTH", "8193"}}, {}, tooLong, ""},
        {{{"CONTENT_LENGTH", "-1"}}, {}, tooLong, ""},
        {{{"CONTENT_LENGTH", "10"}}, {}, short_, ""},
        {{{"CONTENT_LENGTH", "-1"}}, {command}, tooLongMultipart, ""},
        {{{"CONTENT_LENGTH", "33554433"}}, {command}, tooLongMultipart, ""},
        {{}, {command, file, {"a", std::string(8192, 'x'), nullptr}}, nullptr, page},
        {{{"HTTP_SEC_FETCH_SITE", "cross-site"}}, deleteUser, nullptr, invalid},
        {{}, parts65, "multipart parts > MAX_MULTIPART_PARTS", ""},
        {{}, {file, {"a", std::string(8193, 'x'), nullptr}}, "multipart field > MAX_POST_DATA_LENGTH", ""},
        {get("command=FindUserMenu"), {}, nullptr, ""},
        {get("Command=FINDUSERMENU"), {}, nullptr, page},
        {get("Command="), {}, nullptr, invalid},
        {get("a&Command=FindUserMenu"), {}, nullptr, invalid},
        {get("Command=NewUser&Submit=newusermenu"), {}, nullptr, "<title>New User</title>"},
        {{}, {}, nullptr, "Incomplete data input", "Command=NewUser&Submit=create+user&Mail=&LastName=x"},
    };
    const std::set<std::string> before = UploadFolders();
    for (const auto& c : cases) {
        const std::string body = c.parts.empty() ? c.body : Body(c.parts);
        const ProcessResult r =
            RunCgi(With(Request(c.parts.empty() ? Environment{} : kMultipart, body), c.env), body);
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(r.exitStatus, c.error ? 1 : 0);
        EXPECT_EQ(r.err, c.error ? "caught by ldapcgi: " + std::string(c.error) + "\n" : "");
        EXPECT_TRUE(Holds(r.out, c.out));
        EXPECT_EQ(r.out.empty(), !*c.out);
        EXPECT_EQ(LeftSince(before), std::set<std::string>{});
    }
}

// A web server ends a request past its time with SIGTERM (here while the
// bind waits on a server that took the connection): its uploads go too.
TEST(RequestProcess, UploadsGoWhenTheWebServerEndsTheRequest) {
    ConfigFolder config;
    int port = 0, silent = ListenOnLoopback(&port);
    WriteWholeFile(config.File("XOMTA.INI"),
                   "[Ldap]\nHostName=127.0.0.1\nPort=" + std::to_string(port) + "\n");
    const std::string body = Body({{"Command", "FindUser", nullptr}, {"File", "x", "up.txt"}});
    const std::set<std::string> before = UploadFolders();
    const ProcessResult r =
        RunProcess({"/usr/bin/timeout", "-s", "TERM", "1", LDAPCGI_EXECUTABLE},
                   With(Request(kMultipart, body), {{"XOMTA_CONFIG_DIR", config.path}}), body);
    close(silent);
    EXPECT_EQ(r.exitStatus, 124);  // ended by timeout's signal
    EXPECT_EQ(LeftSince(before), std::set<std::string>{});
}

TEST(RequestProcess, InteractiveModeReadsOneLineOfAnyLength) {
    const std::string line = "q=" + std::string(5000, 'z');  // beyond the first buffer
    ProcessResult r = RunCgi({}, line + "\nCommand=Bogus\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(Holds(r.err, "\n Input string: " + line + "\nString length: 5002\n"));
    EXPECT_EQ(r.out, "");  // the second line, with its Command, is never read
}

}  // namespace
