// The decoder's fatal conditions and modes, run as a web server runs the real
// executable. Requests carry no Command field, so a decoded request prints
// nothing: only the exit status and standard error tell.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_cgi.h"

namespace {

void ExpectRefused(const ProcessResult& r, const std::string& message) {
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_EQ(r.out, "");
}

void ExpectDecodedQuietly(const ProcessResult& r) {
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
}

TEST(RequestProcess, InvalidRequestMethods) {
    for (const char* method : {"get", "post", "PUT", "HEAD", ""})
        ExpectRefused(RunCgi({{"REQUEST_METHOD", method}, {"QUERY_STRING", "a=1"}}),
                      "caught by ldapcgi: REQUEST_METHOD invalid");
}

TEST(RequestProcess, GetWithoutQueryString) {
    ExpectRefused(RunCgi({{"REQUEST_METHOD", "GET"}}), "caught by ldapcgi: QUERY_STRING is null");
}

TEST(RequestProcess, GetWithEmptyQueryString) { ExpectDecodedQuietly(RunCgiGet("")); }

TEST(RequestProcess, PostWithoutContentLength) {
    ExpectRefused(RunCgi({{"REQUEST_METHOD", "POST"}}, "a=1"), "caught by ldapcgi: CONTENT_LENGTH is null");
}

TEST(RequestProcess, PostAtTheLimitIsDecoded) {
    std::string body = "a=" + std::string(8190, 'x');
    ASSERT_EQ(body.size(), 8192u);
    ExpectDecodedQuietly(RunCgiPost(body));
}

TEST(RequestProcess, PostOverTheLimitIsRefused) {
    std::string body = "a=" + std::string(8191, 'x');
    ASSERT_EQ(body.size(), 8193u);
    ExpectRefused(RunCgiPost(body), "caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH");
    // The length alone decides, whatever arrives.
    ExpectRefused(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "99999999999999999999"}}, "a=1"),
                  "caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH");
}

TEST(RequestProcess, NegativeContentLengthIsRefused) {
    for (const char* length : {"-1", " -5", "-99999999999999999999"})
        ExpectRefused(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", length}}, "a=1"),
                      "caught by ldapcgi: CONTENT_LENGTH > MAX_POST_DATA_LENGTH");
}

TEST(RequestProcess, ShortBodyIsRefused) {
    ExpectRefused(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "10"}}, "a=1"),
                  "caught by ldapcgi: input length < CONTENT_LENGTH");
    ExpectRefused(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "8192"}}, ""),
                  "caught by ldapcgi: input length < CONTENT_LENGTH");
}

TEST(RequestProcess, ContentLengthReadLikeADecimalNumber) {
    // Leading blanks and a sign allowed, reading stops at the first non-digit.
    ExpectDecodedQuietly(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "  +3xyz"}}, "a=1"));
    // No digits counts as 0: an empty body, whatever follows on stdin.
    ExpectDecodedQuietly(RunCgi({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "abc"}}, "a=1"));
}

TEST(RequestProcess, MultipartContentTypeWinsOverAnyMethod) {
    const std::string body =
        "--XyZ\r\n"
        "Content-Disposition: form-data; name=\"a\"\r\n"
        "\r\n"
        "1\r\n"
        "--XyZ--\r\n";
    for (const char* method : {"GET", "bogus"}) {
        ExpectDecodedQuietly(RunCgi({{"REQUEST_METHOD", method},
                                     {"CONTENT_TYPE", "multipart/form-data; boundary=XyZ"},
                                     {"CONTENT_LENGTH", std::to_string(body.size())}},
                                    body));
    }
}

const char kInteractiveBanner[] =
    "\n--- ldapcgi Interactive Mode ---\n"
    "Enter CGI input string.  Remember to encode appropriate characters.\n"
    "Press ENTER when done:\n\n";

TEST(RequestProcess, InteractiveModeReadsOneLine) {
    ProcessResult r = RunCgi({}, "a=1&b=x%20y\nCommand=Bogus\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, std::string(kInteractiveBanner) +
                         "\n Input string: a=1&b=x%20y\nString length: 11\n"
                         "--- end ldapcgi Interactive Mode ---\n\n");
    EXPECT_EQ(r.out, "");   // the second line, with its Command, is never read
}

TEST(RequestProcess, InteractiveModeLongLineAndEndOfInput) {
    const std::string line(5000, 'z');   // beyond the first buffer, no line feed
    ProcessResult r = RunCgi({}, "q=" + line);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, std::string(kInteractiveBanner) + "\n Input string: q=" + line +
                         "\nString length: 5002\n--- end ldapcgi Interactive Mode ---\n\n");
    EXPECT_EQ(r.out, "");
}

TEST(RequestProcess, MalformedInputGetsTheInvalidRequestPage) {
    // A field without "=" before more input: the decoder reports -1.
    ProcessResult r = RunCgiGet("Command=FindUserMenu&oops&x=1");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Content-type: text/html\n\n", 0), 0u);
    EXPECT_NE(r.out.find("Invalid CGI values!"), std::string::npos);
}

}  // namespace
