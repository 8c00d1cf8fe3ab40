// Request reading in-process: the environment chooses the input, stdin holds
// the body; checks the decoded entries themselves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cgi/form_entries.h"
#include "tests/cgi/cgi_test_support.h"

namespace {

class RequestReader : public testing::Test {
protected:
    void SetUp() override { ClearCgiEnvironment(); }
    void TearDown() override {
        ClearCgiEnvironment();
        FormEntryListClear(list);
    }
    FormEntryList list = {nullptr};
};

TEST_F(RequestReader, GetDecodesQueryString) {
    setenv("REQUEST_METHOD", "GET", 1);
    setenv("QUERY_STRING", "Command=FindUser&Mail=a%40b.c&FirstName=John+Smith", 1);
    EXPECT_EQ(ReadFormEntries(list), 3);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Command", "FindUser"}, {"Mail", "a@b.c"}, {"FirstName", "John Smith"}}));
}

TEST_F(RequestReader, PostReadsExactlyContentLength) {
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", "7", 1);
    FeedStdin("a=1&b=2&c=3");
    EXPECT_EQ(ReadFormEntries(list), 2);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"a", "1"}, {"b", "2"}}));
}

TEST_F(RequestReader, PostAtTheLimitKeepsEveryByte) {
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", "8192", 1);
    const std::string value(8186, 'v');
    FeedStdin("a=1&b=" + value);
    EXPECT_EQ(ReadFormEntries(list), 2);
    ASSERT_NE(FormValue(list.head, "b"), nullptr);
    EXPECT_EQ(std::string(FormValue(list.head, "b")), value);
}

TEST_F(RequestReader, PostBodyContentTypeIsNotExamined) {
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_TYPE", "text/plain", 1);
    setenv("CONTENT_LENGTH", "3", 1);
    FeedStdin("a=1");
    EXPECT_EQ(ReadFormEntries(list), 1);
}

TEST_F(RequestReader, MalformedBodyGivesMinusOne) {
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", "9", 1);
    FeedStdin("a=1&b&c=2");
    EXPECT_EQ(ReadFormEntries(list), -1);
}

TEST_F(RequestReader, ReadPostBodyReturnsTheRawText) {
    setenv("CONTENT_LENGTH", "5", 1);
    FeedStdin("x%41+y");
    char* raw = ReadPostBody();
    EXPECT_STREQ(raw, "x%41+");
    free(raw);
}

TEST_F(RequestReader, InteractiveInputStopsAtLineFeed) {
    FeedStdin("Mail=u%40d.e\nignored=1\n");
    EXPECT_EQ(ReadFormEntries(list), 1);
    EXPECT_EQ(EntriesOf(list), (Pairs{{"Mail", "u@d.e"}}));
}

}  // namespace
