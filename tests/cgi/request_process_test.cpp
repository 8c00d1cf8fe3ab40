// The decoder's fatal conditions, run as a web server runs the real
// executable. Requests carry no Command, so an accepted one prints nothing.
#include <gtest/gtest.h>

#include "tests/support/run_cgi.h"

struct Case {
    Environment env;
    std::string input;
    const char* error;
};  // error null: accepted

static Environment Post(const std::string& length) {
    return {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", length}};
}

TEST(RequestProcess, FatalConditionsEndWithStatusOneAndNoOutput) {
    const std::string limit = "a=" + std::string(8190, 'x');  // 8192 bytes
    const std::string multipart =
        "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--XyZ--\r\n";
    Environment multipartGet = {{"REQUEST_METHOD", "GET"},
                                {"CONTENT_TYPE", "multipart/form-data; boundary=XyZ"},
                                {"CONTENT_LENGTH", std::to_string(multipart.size())}};
    const char* tooLong = "CONTENT_LENGTH > MAX_POST_DATA_LENGTH";
    const Case cases[] = {
        {{{"REQUEST_METHOD", "get"}, {"QUERY_STRING", "a=1"}}, "", "REQUEST_METHOD invalid"},
        {{{"REQUEST_METHOD", "PUT"}, {"QUERY_STRING", "a=1"}}, "", "REQUEST_METHOD invalid"},
        {{{"REQUEST_METHOD", "GET"}}, "", "QUERY_STRING is null"},
        {{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", ""}}, "", nullptr},
        {{{"REQUEST_METHOD", "POST"}}, "a=1", "CONTENT_LENGTH is null"},
        {Post("8192"), limit, nullptr},
        {Post("8193"), limit + "x", tooLong},
        {Post("99999999999999999999"), "a=1", tooLong},
        {Post("-1"), "a=1", tooLong},
        {Post("-99999999999999999999"), "a=1", tooLong},
        {Post("10"), "a=1", "input length < CONTENT_LENGTH"},
        {Post("8192"), "", "input length < CONTENT_LENGTH"},
        {Post("  +3xyz"), "a=1", nullptr},   // read as a decimal number up to the first non-digit
        {Post("abc"), "a=1", nullptr},       // no digits: an empty body
        {multipartGet, multipart, nullptr},  // the content type wins over the method
    };
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        ProcessResult r = RunCgi(cases[i].env, cases[i].input);
        EXPECT_EQ(r.exitStatus, cases[i].error ? 1 : 0);
        EXPECT_EQ(r.err, cases[i].error ? "caught by ldapcgi: " + std::string(cases[i].error) + "\n" : "");
        EXPECT_EQ(r.out, "");
    }
}

TEST(RequestProcess, InteractiveModeReadsOneLineOfAnyLength) {
    const std::string line = "q=" + std::string(5000, 'z');  // beyond the first buffer
    ProcessResult r = RunCgi({}, line + "\nCommand=Bogus\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err,
              "\n--- ldapcgi Interactive Mode ---\n"
              "Enter CGI input string.  Remember to encode appropriate characters.\n"
              "Press ENTER when done:\n\n\n Input string: " +
                  line + "\nString length: 5002\n--- end ldapcgi Interactive Mode ---\n\n");
    EXPECT_EQ(r.out, "");  // the second line, with its Command, is never read
}
