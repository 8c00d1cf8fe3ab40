// Multipart form data decoded in-process; refused uploads end the process, so
// they run the real executable.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/cgi/cgi_test_support.h"

static const std::string kBoundary = "----WebKitFormBoundary7MA4YWxkTrZu0gW";

struct Part {
    std::string name, content;
    const char* fileName;
};  // fileName null: a plain field

static std::string Body(const std::vector<Part>& parts) {
    std::string body;
    for (const Part& p : parts) {
        body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName) body += std::string("; filename=\"") + p.fileName + "\"\r\nContent-Type: text/plain";
        body += "\r\n\r\n" + p.content + "\r\n";
    }
    return body + "--" + kBoundary + "--\r\n";
}

static Environment MultipartEnv(const std::string& body, const std::string& agent = "") {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", "multipart/form-data; boundary=" + kBoundary},
            {"CONTENT_LENGTH", std::to_string(body.size())},
            {"HTTP_USER_AGENT", agent}};
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
    // Inner line breaks kept, no URL decoding, lines longer than a read piece.
    const std::string address = "line one\r\nline two", longLine(3 * 8192 + 5, 'L');
    const std::string longLines = longLine + "\r\n" + longLine;
    EXPECT_EQ(
        Parse(Body({{"Address", address, nullptr}, {"a", "x%41+y", nullptr}, {"b", longLines, nullptr}})), 3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Address", address}, {"a", "x%41+y"}, {"b", longLines}}));
}

TEST_F(Multipart, UploadGoesIntoTmpWithMode0600AndReplacesAnEarlierFile) {
    const std::string fileName = "ldapcgi-upload-" + std::to_string(getpid()), path = "/tmp/" + fileName;
    const std::string content = "first line\r\nsecond\nno carriage return\r\n\r\n" + std::string(9000, 'b');
    const std::string sent = "C:\\Users\\me\\" + fileName;  // a Windows agent: the name after the last "\"
    EXPECT_EQ(
        Parse(Body({{"Mail", "u@d.e", nullptr}, {"File", content, sent.c_str()}, {"After", "1", nullptr}}),
              "Mozilla/5.0 (WINDOWS NT 10.0)"),
        3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Mail", "u@d.e"}, {"File", fileName}, {"After", "1"}}));
    EXPECT_EQ(ReadFile(path), content);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Parse(Body({{"File", "", fileName.c_str()}})), 1);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    unlink(path.c_str());
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
    // No length, or no boundary: nothing.
    const std::string body = Body({{"a", "1", nullptr}});
    EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", "multipart/form-data; boundary=" + kBoundary}}), 0);
    for (const char* type : {"multipart/form-data", "multipart/form-data; boundary="})
        EXPECT_EQ(Parse(body, {{"CONTENT_TYPE", type}, {"CONTENT_LENGTH", "10"}}), 0) << type;
    EXPECT_EQ(list.head, nullptr);
}

TEST(MultipartUploadRefused, NamesLeavingTmpAndFilesInTheWay) {
    const std::string stem = "ldapcgi-refused-" + std::to_string(getpid()), tmp = "/tmp/" + stem;
    const std::string target = BinaryPath(stem + "-target"), escaped = BinaryPath(stem + "-escaped");
    std::ofstream(target) << "keep me";
    ASSERT_EQ(symlink(target.c_str(), (tmp + "-link").c_str()), 0);
    ASSERT_EQ(mkdir((tmp + "-dir").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((tmp + "-fifo").c_str(), 0600), 0);
    const std::string win = "Mozilla (Windows)";
    const std::pair<std::string, std::string> cases[] = {
        // sent name, user agent
        {"", ""},
        {".", ""},
        {"..", ""},
        {"../.." + escaped, ""},
        {"/etc/x", ""},
        {"sub/file", ""},
        {"back\\slash", ""},
        {"C:\\dir\\", win},
        {"C:\\dir\\..", win},
        {"C:\\dir\\a/b", win},
        {stem + "-link", ""},
        {stem + "-dir", ""},
        {stem + "-fifo", ""},  // a fifo must not hang
    };
    for (const auto& c : cases) {
        const std::string body = Body({{"File", "payload", c.first.c_str()}});
        ProcessResult r = RunCgi(MultipartEnv(body, c.second), body);
        EXPECT_EQ(r.exitStatus, 1) << c.first;
        EXPECT_EQ(r.err, "ldapcgi Error: cannot upload file\n") << c.first;
        EXPECT_EQ(r.out, "") << c.first;
    }
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_NE(access(escaped.c_str(), F_OK), 0);
    for (const std::string& made : {tmp + "-link", tmp + "-dir", tmp + "-fifo", target})
        std::remove(made.c_str());
}
