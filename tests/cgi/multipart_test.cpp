// Multipart form data decoded in-process: values, uploads into a private
// folder per request, the layout rules, and what is refused. Refused uploads
// end the request, so they run the real executable.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "cgi/request_uploads.h"
#include "tests/cgi/cgi_test_support.h"

static const std::string kBoundary = "----WebKitFormBoundary7MA4YWxkTrZu0gW";

struct Part {
    std::string name, content;
    const char* fileName;
};  // fileName null: a plain field

static std::string Body(const std::vector<Part>& parts, const std::string& eol = "\r\n") {
    std::string body;
    for (const Part& p : parts) {
        body += "--" + kBoundary + eol + "Content-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName)
            body += std::string("; filename=\"") + p.fileName + "\"" + eol + "Content-Type: text/plain";
        body += eol + eol + p.content + eol;
    }
    return body + "--" + kBoundary + "--" + eol;
}

static Environment MultipartEnv(const std::string& body, const std::string& agent = "") {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "multipart/form-data; boundary=" + kBoundary},
            {"CONTENT_LENGTH", std::to_string(body.size())},
            {"HTTP_USER_AGENT", agent}};
}

// The request folders of uploads under /tmp.
static std::set<std::string> UploadFolders() {
    std::set<std::string> folders;
    DIR* tmp = opendir("/tmp");
    for (dirent* e; tmp != nullptr && (e = readdir(tmp)) != nullptr;)
        if (std::string(e->d_name).rfind("ldapcgi-upload-", 0) == 0)
            folders.insert("/tmp/" + std::string(e->d_name));
    if (tmp != nullptr) closedir(tmp);
    return folders;
}

static int ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class Multipart : public testing::Test {
protected:
    void TearDown() override {
        SetCgiEnvironment({});
        FormEntryListClear(list);
    }
    int Parse(const std::string& body, const Environment& env) {
        FormEntryListClear(list);
        SetCgiEnvironment(env);
        FeedStdin(body);
        return ReadFormEntries(list);
    }
    int Parse(const std::string& body, const std::string& agent = "") {
        return Parse(body, MultipartEnv(body, agent));
    }
    FormEntryList list = {nullptr};
};

TEST_F(Multipart, ValuesAreTakenAsSentAcrossLinesAndPieces) {
    // Inner line breaks kept, no URL decoding, a line longer than a read piece;
    // with LF-only line ends too, and the final line break cut between two pieces.
    const std::string address = "line one\r\nline two", longLines(8192, 'L'), cut(8191, 'c');
    for (const std::string eol : {"\r\n", "\n"}) {
        const std::string lf = "line one\nline two";
        EXPECT_EQ(Parse(Body({{"Address", address, nullptr},
                              {"Lf", lf, nullptr},
                              {"a", "x%41+y", nullptr},
                              {"b", longLines, nullptr},
                              {"c", cut, nullptr},
                              {"e", "", nullptr}},
                             eol)),
                  6);
        EXPECT_EQ(
            EntriesOf(list),
            (Pairs{
                {"Address", address}, {"Lf", lf}, {"a", "x%41+y"}, {"b", longLines}, {"c", cut}, {"e", ""}}))
            << (eol == "\n" ? "LF" : "CRLF");
    }
}

TEST_F(Multipart, DelimitersOnlyAtLineStartHeadersByNameAndParameter) {
    const std::string open = "--" + kBoundary + "\r\n", close = "--" + kBoundary + "--\r\n";
    const std::pair<std::string, Pairs> cases[] = {
        // The boundary inside a line, or longer, ends nothing.
        {open + "Content-Disposition: form-data; name=\"a\"\r\n\r\nhello --" + kBoundary + " world\r\n--" +
             kBoundary + "x\r\n" + close,
         {{"a", "hello --" + kBoundary + " world\r\n--" + kBoundary + "x"}}},
        // Blanks, letter case, the first name parameter, quoted or bare, other headers first.
        {open + "content-type: text/plain\r\n" +
             "CONTENT-DISPOSITION :  form-data ;  x=y; NAME = \"a b\" ; name=\"second\"\r\n\r\n1\r\n" + open +
             "Content-Disposition: form-data; name=bare\r\n\r\n2\r\n" + close,
         {{"a b", "1"}, {"bare", "2"}}},
        // A preamble, blanks after the delimiter, an epilogue.
        {"preamble\r\n--" + kBoundary + " \t\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n" +
             close + "epilogue\r\n",
         {{"a", "1"}}},
        // A part without Content-Disposition or without a name stops the decoding.
        {open + "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n" + open +
             "Content-Type: x\r\n\r\n2\r\n" + close,
         {{"a", "1"}}},
        {open + "Content-Disposition: form-data; filename=\"f\"\r\n\r\n2\r\n" + close, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.first), static_cast<int>(c.second.size())) << c.first;
        EXPECT_EQ(EntriesOf(list), c.second) << c.first;
    }
    // A quoted boundary parameter, after another one.
    const std::string body = Body({{"q", "v", nullptr}});
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", "Multipart/Form-Data; charset=x; boundary=\"" + kBoundary + "\""},
                           {"CONTENT_LENGTH", std::to_string(body.size())}}),
              1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"q", "v"}}));
}

TEST_F(Multipart, ExactlyContentLengthBytesAreRead) {
    const std::string first = Body({{"a", "1", nullptr}}), second = Body({{"b", "2", nullptr}});
    // The length covers the first body only: the second is never read.
    Environment env = MultipartEnv(first);
    EXPECT_EQ(Parse(first + second, env), 1);
    EXPECT_EQ(ftell(stdin), static_cast<long>(first.size()));
    // A length that ends inside a value: the value has no delimiter and is dropped.
    const std::string body = Body({{"a", "1", nullptr}, {"big", std::string(100000, 'x'), nullptr}});
    EXPECT_EQ(Parse(body, MultipartEnv(first + "--" + kBoundary)), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", "1"}}));
    EXPECT_EQ(ftell(stdin), static_cast<long>(first.size() + 2 + kBoundary.size()));
}

TEST_F(Multipart, NulBytesInNamesOrValuesMakeTheRequestMalformed) {
    const std::string nul(1, '\0');
    for (const std::string& body :
         {Body({{"a", "anna@example.com" + nul + "junk", nullptr}}), Body({{"a" + nul + "b", "1", nullptr}})})
        EXPECT_EQ(Parse(body), kFormMalformed);
    // In a file's content a NUL is just a byte.
    const std::string name = "nul-" + std::to_string(getpid());
    EXPECT_EQ(Parse(Body({{"f", "bin" + nul + "ary", name.c_str()}})), 1);
    RemoveRequestUploads();
}

TEST_F(Multipart, UploadsGoIntoAFreshPrivateFolderPerRequest) {
    const std::string fileName = "ldapcgi-upload-" + std::to_string(getpid());
    const std::string content = "first line\r\nsecond\nno carriage return\r\n\r\n" + std::string(8191, 'c') +
                                "\r\n" + std::string(9000, 'b');
    const std::set<std::string> before = UploadFolders();
    // Windows agents: the name after the last "\".
    const std::pair<std::string, std::string> sent[] = {
        {"C:\\Users\\me\\" + fileName, "Mozilla/5.0 (WINDOWS NT 10.0)"},
        {"..\\..\\" + fileName, "Mozilla/5.0 (X11; Win64; x64)"},
        {fileName, "Mozilla/5.0 (Macintosh; Darwin)"},
    };
    std::string previous;
    for (const auto& s : sent) {
        EXPECT_EQ(Parse(Body({{"Mail", "u@d.e", nullptr},
                              {"File", content, s.first.c_str()},
                              {"After", "1", nullptr}}),
                        s.second),
                  3)
            << s.first;
        EXPECT_EQ(EntriesOf(list), (Pairs{{"Mail", "u@d.e"}, {"File", fileName}, {"After", "1"}}));
        ASSERT_NE(RequestUploadFolder(), nullptr);
        const std::string folder = RequestUploadFolder();
        EXPECT_EQ(before.count(folder), 0u);
        EXPECT_EQ(ModeOf(folder), 0700);
        EXPECT_EQ(ReadFile(folder + "/" + fileName), content);
        EXPECT_EQ(ModeOf(folder + "/" + fileName), 0600);
        EXPECT_EQ(ModeOf(previous), -1);  // the folder of the request before is gone
        previous = folder;
    }
    RemoveRequestUploads();
    EXPECT_EQ(UploadFolders(), before);
    // A request without uploads makes no folder.
    EXPECT_EQ(Parse(Body({{"a", "1", nullptr}})), 1);
    EXPECT_EQ(UploadFolders(), before);
}

TEST_F(Multipart, LengthsAndBoundariesRefusedOrEmpty) {
    const std::string body = Body({{"a", "1", nullptr}});
    const std::string type = "multipart/form-data; boundary=" + kBoundary;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", type}}), kFormInputFatal);
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", type}, {"CONTENT_LENGTH", "-1"}}), kFormInputFatal);
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", type}, {"CONTENT_LENGTH", "33554433"}}), kFormInputFatal);
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", type}, {"CONTENT_LENGTH", std::to_string(body.size() + 1)}}),
              kFormInputFatal);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "caught by ldapcgi: CONTENT_LENGTH is null\n"
              "caught by ldapcgi: CONTENT_LENGTH > MAX_MULTIPART_DATA_LENGTH\n"
              "caught by ldapcgi: CONTENT_LENGTH > MAX_MULTIPART_DATA_LENGTH\n"
              "caught by ldapcgi: input length < CONTENT_LENGTH\n");
    // No boundary, or one longer than 70 characters: nothing.
    for (const std::string& t :
         {std::string("multipart/form-data"), std::string("multipart/form-data; boundary="),
          "multipart/form-data; boundary=" + std::string(71, 'b')})
        EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", t}, {"CONTENT_LENGTH", "10"}}), 0) << t;
    EXPECT_EQ(list.head, nullptr);
}

TEST_F(Multipart, MalformedInputStopsWithWhatWasDecoded) {
    const std::string open = "--" + kBoundary + "\r\n", disposition = "Content-Disposition: form-data; name=";
    const std::string good = open + disposition + "\"a\"\r\n\r\n1\r\n" + open;
    const std::pair<std::string, Pairs> cases[] = {
        {"", {}},
        {Body({{std::string(9000, 'n'), "x", nullptr}}), {}},  // header longer than a piece
        {good, {{"a", "1"}}},                                  // no next part
        {good + "Content-Disposition: short\r\n\r\nx\r\n", {{"a", "1"}}},
        {good + disposition + "\"unclosed\r\n\r\nx\r\n", {{"a", "1"}}},
        {good + disposition + "\"b\"\r\n\r\nno boundary follows", {{"a", "1"}}},
        {good + disposition + "\"b\"\r\nContent-Type: x", {{"a", "1"}}},
        {good + disposition + "\"b\"; filename=\"unclosed\r\n\r\nx\r\n", {{"a", "1"}}},
        {open + disposition + "\"a\"\r\n\r\n\n--" + kBoundary + "--", {{"a", ""}}},
        {Body({{"a", "1", nullptr}}) + "epilogue\r\n" + disposition + "\"z\"\r\n\r\nz\r\n", {{"a", "1"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.first), static_cast<int>(c.second.size())) << c.first;
        EXPECT_EQ(EntriesOf(list), c.second) << c.first;
    }
}

TEST(MultipartUploadRefused, NamesThatLeaveOrHideInTheFolderOrComeTwice) {
    const std::string stem = "ldapcgi-refused-" + std::to_string(getpid());
    const std::string escaped = BinaryPath(stem + "-escaped");
    const std::set<std::string> before = UploadFolders();
    const std::string win = "Mozilla (Windows)", mac = "Mozilla/5.0 (Macintosh) Darwin/23.0";
    const std::pair<std::string, std::string> cases[] = {
        // sent name, user agent
        {"", ""},
        {".", ""},
        {"..", ""},
        {"...", ""},
        {".hidden", ""},
        {"a\x01"
         "b",
         ""},
        {"tab\tname", ""},
        {"del\x7f", ""},
        {"../.." + escaped, ""},
        {"/etc/x", ""},
        {"sub/file", ""},
        {"back\\slash", ""},
        {"..\\..\\x", mac},  // "win" inside "Darwin" is no Windows agent
        {"..\\..\\x", "Winamp"},
        {"C:\\dir\\", win},
        {"C:\\dir\\..", win},
        {"C:\\dir\\.hidden", win},
        {"C:\\dir\\a/b", win},
    };
    for (const auto& c : cases) {
        const std::string body = Body({{"File", "payload", c.first.c_str()}});
        ProcessResult r = RunCgi(MultipartEnv(body, c.second), body);
        EXPECT_EQ(r.exitStatus, 1) << c.first;
        EXPECT_EQ(r.err, "ldapcgi Error: cannot upload file\n") << c.first;
        EXPECT_EQ(r.out, "") << c.first;
    }
    EXPECT_NE(access(escaped.c_str(), F_OK), 0);
    // The same name twice in one request: the second is not written over the first.
    const std::string twice = Body({{"File", "one", "same.txt"}, {"File", "two", "same.txt"}});
    ProcessResult r = RunCgi(MultipartEnv(twice), twice);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "ldapcgi Error: cannot upload file\n");
    EXPECT_EQ(UploadFolders(), before);
}

// Whatever the outcome, the request's uploads go with it; parts and fields are bounded.
TEST(MultipartRequest, UploadsNeverOutliveTheRequest) {
    const Part command = {"Command", "FindUserMenu", nullptr}, file = {"File", "payload", "upload.txt"};
    auto with = [](std::vector<Part> parts, const Part& last) { return parts.push_back(last), parts; };
    const std::vector<Part> parts64 = with(std::vector<Part>(63, {"f", "", nullptr}), command);
    const Environment https = {{"HTTP_ORIGIN", "https://h"}, {"HTTP_HOST", "h"}, {"HTTPS", "on"}};
    const char *page = "<title>Find User Menu</title>", *invalid = "Invalid CGI values!";
    const struct {
        std::vector<Part> parts;
        Environment headers;
        const char* output;  // a part of the page; empty: none, status 1 and `err`
        const char* err;
    } cases[] = {
        {{command, file, {"a", std::string(8192, 'x'), nullptr}}, https, page, ""},
        {{{"Command", "VerifyDeleteUser", nullptr}, file},
         {{"HTTP_SEC_FETCH_SITE", "cross-site"}},
         invalid,
         ""},
        {{{"Command", "BuildAliasTable", nullptr}, file},
         {{"HTTP_ORIGIN", "http://h"}, {"HTTP_HOST", "h"}, {"HTTPS", "on"}},
         invalid,
         ""},
        {parts64, {}, page, ""},
        {with(parts64, file), {}, "", "caught by ldapcgi: multipart parts > MAX_MULTIPART_PARTS\n"},
        {{file, {"a", std::string(8193, 'x'), nullptr}},
         {},
         "",
         "caught by ldapcgi: multipart field > MAX_POST_DATA_LENGTH\n"},
    };
    const std::set<std::string> before = UploadFolders();
    for (const auto& c : cases) {
        const std::string body = Body(c.parts);
        Environment env = MultipartEnv(body);
        env.insert(c.headers.begin(), c.headers.end());
        ProcessResult r = RunCgi(env, body);
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(r.exitStatus, *c.output ? 0 : 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_NE(r.out.find(c.output), std::string::npos);
        EXPECT_EQ(r.out.empty(), !*c.output);
        EXPECT_EQ(UploadFolders(), before);
    }
}
