// Multipart form data: values, uploads into /tmp, refused upload names, and
// input that breaks the layout. Values are checked in-process; refusals end
// the process, so they run the real executable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"
#include "tests/support/run_cgi.h"

namespace {

const char kBoundary[] = "----WebKitFormBoundary7MA4YWxkTrZu0gW";

struct Part {
    std::string name;
    std::string content;
    const char* fileName;   // null for a plain field
};

std::string Body(const std::vector<Part>& parts) {
    std::string body;
    for (const Part& p : parts) {
        body += std::string("--") + kBoundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + p.name + "\"";
        if (p.fileName) body += std::string("; filename=\"") + p.fileName + "\"\r\nContent-Type: text/plain";
        body += "\r\n\r\n" + p.content + "\r\n";
    }
    return body + "--" + kBoundary + "--\r\n";
}

Environment MultipartEnv(const std::string& body, const std::string& agent = "") {
    Environment env = {{"REQUEST_METHOD", "POST"},
                       {"CONTENT_TYPE", std::string("multipart/form-data; boundary=") + kBoundary},
                       {"CONTENT_LENGTH", std::to_string(body.size())}};
    if (!agent.empty()) env["HTTP_USER_AGENT"] = agent;
    return env;
}

class Multipart : public testing::Test {
protected:
    void SetUp() override { ClearCgiEnvironment(); }
    void TearDown() override {
        ClearCgiEnvironment();
        FormEntryListClear(list);
        for (const std::string& f : created) unlink(f.c_str());
    }
    int Parse(const std::string& body, const std::string& agent = "") {
        for (const auto& kv : MultipartEnv(body, agent)) setenv(kv.first.c_str(), kv.second.c_str(), 1);
        FeedStdin(body);
        return ReadFormEntries(list);
    }
    FormEntryList list = {nullptr};
    std::vector<std::string> created;
};

TEST_F(Multipart, PlainFieldsInOrder) {
    EXPECT_EQ(Parse(Body({{"Command", "FindUser", nullptr}, {"Mail", "a@b.c", nullptr}, {"Mail", "", nullptr}})), 3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Command", "FindUser"}, {"Mail", "a@b.c"}, {"Mail", ""}}));
}

TEST_F(Multipart, ValueSpanningTwoLinesKeepsInnerLineBreak) {
    EXPECT_EQ(Parse(Body({{"Address", "line one\r\nline two", nullptr}})), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Address", "line one\r\nline two"}}));
}

TEST_F(Multipart, ValuesAreTakenAsSent) {
    // No URL decoding, and a value longer than one line piece grows as needed.
    const std::string big(20000, 'q');
    EXPECT_EQ(Parse(Body({{"a", "x%41+y", nullptr}, {"b", big, nullptr}})), 2);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", "x%41+y"}, {"b", big}}));
}

TEST_F(Multipart, UploadIsWrittenIntoTmp) {
    const std::string fileName = UniqueName("upload") + ".txt";
    const std::string path = "/tmp/" + fileName;
    created.push_back(path);
    const std::string content = "first line\r\nsecond line\nno carriage return\r\n\r\n" + std::string(9000, 'b');
    EXPECT_EQ(Parse(Body({{"Mail", "u@d.e", nullptr}, {"File", content, fileName.c_str()},
                          {"After", "1", nullptr}})),
              3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Mail", "u@d.e"}, {"File", fileName}, {"After", "1"}}));
    EXPECT_EQ(ReadFile(path), content);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Multipart, UploadReplacesAnEarlierFileOfTheSameName) {
    const std::string fileName = UniqueName("again");
    created.push_back("/tmp/" + fileName);
    EXPECT_EQ(Parse(Body({{"File", "a much longer first content", fileName.c_str()}})), 1);
    FormEntryListClear(list);
    EXPECT_EQ(Parse(Body({{"File", "short", fileName.c_str()}})), 1);
    EXPECT_EQ(ReadFile("/tmp/" + fileName), "short");
}

TEST_F(Multipart, WindowsAgentKeepsTheNameAfterTheLastBackslash) {
    const std::string fileName = UniqueName("win");
    created.push_back("/tmp/" + fileName);
    const std::string sent = "C:\\Users\\me\\" + fileName;
    EXPECT_EQ(Parse(Body({{"File", "data", sent.c_str()}}), "Mozilla/5.0 (WINDOWS NT 10.0)"), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"File", fileName}}));
    EXPECT_EQ(ReadFile("/tmp/" + fileName), "data");
}

TEST_F(Multipart, EmptyUploadCreatesAnEmptyFile) {
    const std::string fileName = UniqueName("empty");
    created.push_back("/tmp/" + fileName);
    EXPECT_EQ(Parse(Body({{"File", "", fileName.c_str()}})), 1);
    struct stat st;
    ASSERT_EQ(stat(("/tmp/" + fileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(Multipart, NoContentLengthGivesNothing) {
    const std::string body = Body({{"a", "1", nullptr}});
    setenv("CONTENT_TYPE", (std::string("multipart/form-data; boundary=") + kBoundary).c_str(), 1);
    FeedStdin(body);
    EXPECT_EQ(ReadFormEntries(list), 0);
    EXPECT_EQ(list.head, nullptr);
}

TEST_F(Multipart, MalformedInputStopsWithWhatWasDecoded) {
    const std::string good = std::string("--") + kBoundary + "\r\n" +
                             "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n" + "--" + kBoundary + "\r\n";
    struct Case {
        std::string body;
        Pairs entries;
    };
    const Case cases[] = {
        {"", {}},
        {"--only-the-opening-line", {}},
        {good, {{"a", "1"}}},                                                            // no next part
        {good + "Content-Disposition: short\r\n\r\nx\r\n", {{"a", "1"}}},               // short header
        {good + "Content-Disposition: form-data; name=\"unclosed\r\n\r\nx\r\n", {{"a", "1"}}},
        {good + "Content-Disposition: form-data; name=\"b\"\r\n\r\nno boundary follows", {{"a", "1"}}},
        {good + "Content-Disposition: form-data; name=\"b\"\r\nContent-Type: x", {{"a", "1"}}},
        {good + "Content-Disposition: form-data; name=\"b\"; filename=\"unclosed\r\n\r\nx\r\n", {{"a", "1"}}},
        {"--" + std::string(kBoundary) + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n\n--" +
             kBoundary + "--",
         {{"a", ""}}},                                                                   // line feeds alone
        {Body({{"a", "1", nullptr}}) + "epilogue line\r\nContent-Disposition: form-data; name=\"z\"\r\n\r\nz\r\n",
         {{"a", "1"}}},
    };
    for (const Case& c : cases) {
        FormEntryListClear(list);
        EXPECT_EQ(Parse(c.body), static_cast<int>(c.entries.size())) << c.body;
        EXPECT_EQ(EntriesOf(list), c.entries) << c.body;
    }
}

TEST_F(Multipart, ContentTypeWithoutBoundaryGivesNothing) {
    for (const char* type : {"multipart/form-data", "multipart/form-data; boundary="}) {
        setenv("CONTENT_TYPE", type, 1);
        setenv("CONTENT_LENGTH", "10", 1);
        FeedStdin(Body({{"a", "1", nullptr}}));
        EXPECT_EQ(ParseMultipart(list), 0) << type;
        EXPECT_EQ(list.head, nullptr);
    }
}

TEST_F(Multipart, LongLinesAreReadInPieces) {
    // A header line beyond one piece, and a body line with a boundary-free tail.
    const std::string longName(9000, 'n');
    const std::string longLine(3 * 8192 + 5, 'L');
    EXPECT_EQ(Parse(Body({{longName, longLine, nullptr}})), 0);   // header too long: stops
    FormEntryListClear(list);
    EXPECT_EQ(Parse(Body({{"a", longLine + "\r\n" + longLine, nullptr}})), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", longLine + "\r\n" + longLine}}));
}

TEST(ReadBodyLine, StopsAtLineFeedAtMaxAndAtEnd) {
    FeedStdin("ab\ncdefg\nh");
    char buffer[5];
    EXPECT_EQ(ReadBodyLine(buffer, 4), 3u);
    EXPECT_EQ(std::string(buffer, 3), "ab\n");
    EXPECT_EQ(ReadBodyLine(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    EXPECT_EQ(ReadBodyLine(buffer, 4), 2u);
    EXPECT_EQ(std::string(buffer, 2), "g\n");
    EXPECT_EQ(ReadBodyLine(buffer, 4), 1u);
    EXPECT_EQ(buffer[0], 'h');
    EXPECT_EQ(ReadBodyLine(buffer, 4), 0u);
}

// Refused uploads end the process: run the real executable.
void ExpectUploadRefused(const char* sentName, const std::string& agent = "") {
    const std::string body = Body({{"File", "payload", sentName}});
    ProcessResult r = RunCgi(MultipartEnv(body, agent), body);
    EXPECT_EQ(r.exitStatus, 1) << sentName;
    EXPECT_EQ(r.err, "ldapcgi Error: cannot upload file\n") << sentName;
    EXPECT_EQ(r.out, "") << sentName;
}

TEST(MultipartUploadRefused, NamesThatWouldLeaveTmp) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string escape = "../.." + dir + "/escaped";   // /tmp/../../<dir>/escaped
    for (const char* name : {"", ".", "..", "../etc-passwd-copy", "sub/file", "/etc/x", escape.c_str(),
                             "back\\slash", "..\\..\\x"})
        ExpectUploadRefused(name);
    EXPECT_NE(access((dir + "/escaped").c_str(), F_OK), 0);
    // For a Windows agent only the last component counts, and that must be sound too.
    ExpectUploadRefused("C:\\dir\\", "Mozilla (Windows)");
    ExpectUploadRefused("C:\\dir\\..", "Mozilla (Windows)");
    ExpectUploadRefused("C:\\dir\\a/b", "Mozilla (Windows)");
    RemoveTree(dir);
}

TEST(MultipartUploadRefused, SymbolicLinkInTmpIsNotFollowed) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    const std::string target = dir + "/target";
    FILE* f = fopen(target.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("keep me", f);
    fclose(f);
    const std::string linkName = UniqueName("link");
    const std::string link = "/tmp/" + linkName;
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ExpectUploadRefused(linkName.c_str());
    EXPECT_EQ(ReadFile(target), "keep me");
    unlink(link.c_str());
    RemoveTree(dir);
}

TEST(MultipartUploadRefused, DirectoryOrFifoInTheWay) {
    const std::string dirName = UniqueName("dir");
    ASSERT_EQ(mkdir(("/tmp/" + dirName).c_str(), 0700), 0);
    ExpectUploadRefused(dirName.c_str());
    rmdir(("/tmp/" + dirName).c_str());

    const std::string fifoName = UniqueName("fifo");
    ASSERT_EQ(mkfifo(("/tmp/" + fifoName).c_str(), 0600), 0);
    ExpectUploadRefused(fifoName.c_str());   // must not hang waiting for a reader
    unlink(("/tmp/" + fifoName).c_str());
}

TEST(MultipartUploadRefused, ProcessUploadSucceedsQuietly) {
    const std::string fileName = UniqueName("proc");
    const std::string body = Body({{"File", "via the executable", fileName.c_str()}});
    ProcessResult r = RunCgi(MultipartEnv(body, ""), body);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile("/tmp/" + fileName), "via the executable");
    unlink(("/tmp/" + fileName).c_str());
}

}  // namespace
