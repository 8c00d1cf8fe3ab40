// Multipart form data decoded in-process: values across lines and read
// pieces, the layout rules, uploads into a private folder per request, and
// the names refused. Browser-laid bodies of any names and contents decoding
// back (uploads and the part and field bounds included) is the cgi_multipart
// fuzz target's round trip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "cgi/request_uploads.h"
#include "tests/cgi/cgi_test_support.h"

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
    const Pairs sent = {{"Address", "line one\r\nline two"}, {"Lf", "line one\nline two"},  {"a", "x%41+y"},
                        {"b", std::string(8192, 'L')},       {"c", std::string(8191, 'c')}, {"e", ""}};
    std::vector<Part> parts;
    for (const auto& field : sent) parts.push_back({field.first, field.second, nullptr});
    for (const std::string eol : {"\r\n", "\n"}) {
        EXPECT_EQ(Parse(Body(parts, eol)), 6);
        EXPECT_EQ(EntriesOf(list), sent) << (eol == "\n" ? "LF" : "CRLF");
    }
}

// Delimiters only at a line start, headers by name and parameter; a part that
// breaks the layout stops the decoding with what was decoded. Other broken
// layouts are the fuzz target's: no reads out of bounds, no endless loops.
TEST_F(Multipart, LayoutRulesAndBrokenInput) {
    const std::string open = "--" + kBoundary + "\r\n", close = "--" + kBoundary + "--\r\n";
    const std::string disposition = "Content-Disposition: form-data; name=";
    const std::pair<std::string, Pairs> cases[] = {
        // The boundary inside a line, or longer, ends nothing.
        {open + disposition + "\"a\"\r\n\r\nhello --" + kBoundary + " world\r\n--" + kBoundary + "x\r\n" +
             close,
         {{"a", "hello --" + kBoundary + " world\r\n--" + kBoundary + "x"}}},
        // Blanks, letter case, the first name parameter, quoted or bare, other headers first.
        {open + "content-type: text/plain\r\n" +
             "CONTENT-DISPOSITION :  form-data ;  x=y; NAME = \"a b\" ; name=\"second\"\r\n\r\n1\r\n" + open +
             disposition + "bare\r\n\r\n2\r\n" + close,
         {{"a b", "1"}, {"bare", "2"}}},
        // A preamble, blanks after the delimiter, an epilogue.
        {"preamble\r\n--" + kBoundary + " \t\r\n" + disposition + "\"a\"\r\n\r\n1\r\n" + close +
             "epilogue\r\n",
         {{"a", "1"}}},
        // A part without Content-Disposition stops the decoding; an LF-only end.
        {open + disposition + "\"a\"\r\n\r\n1\r\n" + open + "Content-Type: x\r\n\r\n2\r\n" + close,
         {{"a", "1"}}},
        {open + disposition + "\"a\"\r\n\r\n\n--" + kBoundary + "--", {{"a", ""}}},
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
}

TEST_F(Multipart, ExactlyContentLengthBytesAreRead) {
    const std::string first = Body({{"a", "1", nullptr}}), second = Body({{"b", "2", nullptr}});
    // The length covers the first body only: the second is never read.
    EXPECT_EQ(Parse(first + second, MultipartEnv(first)), 1);
    EXPECT_EQ(ftell(stdin), static_cast<long>(first.size()));
    // A length that ends inside a value: the value has no delimiter and is dropped.
    const std::string body = Body({{"a", "1", nullptr}, {"big", std::string(100000, 'x'), nullptr}});
    EXPECT_EQ(Parse(body, MultipartEnv(first + "--" + kBoundary)), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", "1"}}));
    EXPECT_EQ(ftell(stdin), static_cast<long>(first.size() + 2 + kBoundary.size()));
}

TEST_F(Multipart, NulBytesInNamesOrValuesMakeTheRequestMalformed) {
    const std::string nul(1, '\0');
    EXPECT_EQ(Parse(Body({{"a", "anna@example.com" + nul + "junk", nullptr}})), kFormMalformed);
    EXPECT_EQ(Parse(Body({{"a" + nul + "b", "1", nullptr}})), kFormMalformed);
    // In a file's content a NUL is just a byte.
    EXPECT_EQ(Parse(Body({{"f", "bin" + nul + "ary", "nul.bin"}})), 1);
    RemoveRequestUploads();
}

TEST_F(Multipart, UploadsGoIntoAFreshPrivateFolderPerRequest) {
    // A line longer than a read piece, and a delimiter after the cut that is none.
    const std::string content = "first line\r\nsecond\n" + std::string(8192, 'b') + "--" + kBoundary;
    const std::set<std::string> before = UploadFolders();
    // Windows agents by their platform token: the name after the last "\".
    const std::pair<std::string, std::string> sent[] = {
        {"..\\..\\upload.txt", "Mozilla/5.0 (X11; Win64; x64)"},
        {"upload.txt", "Mozilla/5.0 (Macintosh; Darwin)"},
    };
    std::string previous;
    for (const auto& s : sent) {
        EXPECT_EQ(Parse(Body({{"Mail", "u@d.e", nullptr}, {"File", content, s.first.c_str()}}), s.second), 2);
        EXPECT_EQ(EntriesOf(list), (Pairs{{"Mail", "u@d.e"}, {"File", "upload.txt"}}));
        ASSERT_NE(RequestUploadFolder(), nullptr);
        const std::string folder = RequestUploadFolder();
        EXPECT_EQ(before.count(folder), 0u);
        EXPECT_EQ(ModeOf(folder), 0700);
        std::stringstream written;
        written << std::ifstream(folder + "/upload.txt", std::ios::binary).rdbuf();
        EXPECT_EQ(written.str(), content);
        EXPECT_EQ(ModeOf(folder + "/upload.txt"), 0600);
        EXPECT_EQ(ModeOf(previous), -1);  // the folder of the request before is gone
        previous = folder;
    }
    RemoveRequestUploads();
    EXPECT_EQ(UploadFolders(), before);
    // A request without uploads makes no folder.
    EXPECT_EQ(Parse(Body({{"a", "1", nullptr}})), 1);
    EXPECT_EQ(UploadFolders(), before);
}

TEST_F(Multipart, NamesThatLeaveOrHideInTheFolderOrComeTwiceAreRefused) {
    const std::string escaped = BinaryPath("ldapcgi-refused-" + std::to_string(getpid()));
    const std::set<std::string> before = UploadFolders();
    const std::string win = "Mozilla (Windows)", mac = "Mozilla/5.0 (Macintosh) Darwin/23.0";
    const std::pair<std::string, std::string> cases[] = {
        // sent name, user agent
        {"", ""},
        {"..", ""},
        {".hidden", ""},
        {"a\1b", ""},
        {"del\x7f", ""},
        {"../.." + escaped, ""},
        {"back\\slash", ""},
        {"..\\..\\x", mac},  // "win" inside "Darwin" is no Windows agent
        {"..\\..\\x", "Winamp"},
        {"C:\\dir\\..", win},
        {"C:\\dir\\a/b", win},
    };
    testing::internal::CaptureStderr();
    std::string refusals;
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(Body({{"File", "payload", c.first.c_str()}}), c.second), kFormInputFatal) << c.first;
        refusals += "ldapcgi Error: cannot upload file\n";
    }
    // The same name twice in one request: the second is not written over the first.
    EXPECT_EQ(Parse(Body({{"File", "one", "same.txt"}, {"File", "two", "same.txt"}})), kFormInputFatal);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), refusals + "ldapcgi Error: cannot upload file\n");
    EXPECT_NE(access(escaped.c_str(), F_OK), 0);
    RemoveRequestUploads();
    EXPECT_EQ(UploadFolders(), before);
}
