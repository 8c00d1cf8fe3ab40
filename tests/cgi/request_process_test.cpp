// The decoder's fatal conditions and the request's uploads, run as a web
// server runs the real executable. Requests without a Command print nothing.
#include <gtest/gtest.h>

#include "tests/cgi/cgi_test_support.h"

static Environment Post(const std::string& length, const std::string& type = "") {
    Environment env = {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", length}};
    if (!type.empty()) env["CONTENT_TYPE"] = type;
    return env;
}

TEST(RequestProcess, FatalConditionsEndWithStatusOneAndNoOutput) {
    const std::string limit = "a=" + std::string(8190, 'x');  // 8192 bytes
    const std::string multipart = Body({{"a", "1", nullptr}}), type = MultipartEnv("")["CONTENT_TYPE"];
    const std::string size = std::to_string(multipart.size());
    Environment multipartGet = {{"REQUEST_METHOD", "GET"}, {"CONTENT_TYPE", type}, {"CONTENT_LENGTH", size}};
    const char *tooLong = "CONTENT_LENGTH > MAX_POST_DATA_LENGTH", *short_ = "input length < CONTENT_LENGTH";
    const char* tooLongMultipart = "CONTENT_LENGTH > MAX_MULTIPART_DATA_LENGTH";
    const struct {
        Environment env;
        std::string input;
        const char* error;  // null: accepted
    } cases[] = {
        {{{"REQUEST_METHOD", "get"}, {"QUERY_STRING", "a=1"}}, "", "REQUEST_METHOD invalid"},
        {{{"REQUEST_METHOD", "GET"}}, "", "QUERY_STRING is null"},
        {{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", ""}}, "", nullptr},
        {{{"REQUEST_METHOD", "POST"}}, "a=1", "CONTENT_LENGTH is null"},
        {Post("8192"), limit, nullptr},
        {Post("8193"), limit + "x", tooLong},
        {Post("99999999999999999999"), "a=1", tooLong},
        {Post("-1"), "a=1", tooLong},
        {Post("10"), "a=1", short_},
        {Post("  +3xyz"), "a=1", nullptr},   // read as a decimal number up to the first non-digit
        {Post("abc"), "a=1", nullptr},       // no digits: an empty body
        {multipartGet, multipart, nullptr},  // the content type wins over the method
        {{{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", type}}, multipart, "CONTENT_LENGTH is null"},
        {Post("-1", type), multipart, tooLongMultipart},
        {Post("33554433", type), multipart, tooLongMultipart},
        {Post(std::to_string(multipart.size() + 1), type), multipart, short_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ProcessResult r = RunCgi(c.env, c.input);
        EXPECT_EQ(r.exitStatus, c.error ? 1 : 0);
        EXPECT_EQ(r.err, c.error ? "caught by ldapcgi: " + std::string(c.error) + "\n" : "");
        EXPECT_EQ(r.out, "");
    }
}

TEST(RequestProcess, InteractiveModeReadsOneLineOfAnyLength) {
    const std::string line = "q=" + std::string(5000, 'z');  // beyond the first buffer
    ProcessResult r = RunCgi({}, line + "\nCommand=Bogus\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_NE(r.err.find("\n Input string: " + line + "\nString length: 5002\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");  // the second line, with its Command, is never read
}

// Whatever the outcome, the request's uploads go with it; parts and fields are bounded.
TEST(RequestProcess, UploadsNeverOutliveTheRequest) {
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
