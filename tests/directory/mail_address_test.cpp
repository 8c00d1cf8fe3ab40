// Mail address screening: length bound, forbidden characters (logged), the
// recipient parser's one-address rule, and the shared result buffer.
#include <cstring>
#include <string>

#include "directory/mail_address.h"
#include "platform/recip.h"
#include "tests/directory/directory_fixture.h"

namespace {

using MailAddress = DirectoryTest;

const char kForbiddenLine[] = "Username should not contain these invalid characters: \\/ :*?<>|\"";

TEST_F(MailAddress, AcceptsOneAddressUnchanged) {
    char* result = ValidateMailAddress("Anna.Smith+mail@Example.COM");
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, "Anna.Smith+mail@Example.COM");
    EXPECT_STREQ(ValidateMailAddress("u@b\xc3\xbc"
                                     "cher.de"),
                 "u@b\xc3\xbc"
                 "cher.de");
    EXPECT_EQ(sandbox().ReadLog(), "");
}

TEST_F(MailAddress, Bounds255Characters) {
    std::string local(255 - std::strlen("@example.com"), 'a');
    std::string exact = local + "@example.com";
    ASSERT_EQ(exact.size(), 255u);
    char* result = ValidateMailAddress(exact.c_str());
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(result), exact);
    EXPECT_EQ(ValidateMailAddress(("a" + exact).c_str()), nullptr);
    EXPECT_EQ(ValidateMailAddress(nullptr), nullptr);
}

TEST_F(MailAddress, RefusesAndLogsForbiddenCharacters) {
    for (const char* address : {"a b@example.com", "a/b@example.com", "a\\b@example.com", "a:b@example.com",
                                "a*@example.com", "a?@example.com", "<a@example.com>", "a|b@example.com",
                                "\"a\"@example.com"}) {
        EXPECT_EQ(ValidateMailAddress(address), nullptr) << address;
    }
    std::string log = sandbox().ReadLog();
    int lines = 0;
    for (std::size_t at = log.find(kForbiddenLine); at != std::string::npos; at = log.find(kForbiddenLine, at + 1))
        ++lines;
    EXPECT_EQ(lines, 9) << log;
    EXPECT_NE(log.find("LDAP CGI"), std::string::npos);
}

TEST_F(MailAddress, RefusesWhatIsNotExactlyOneAddressWithoutLogging) {
    for (const char* text : {"a@example.com,b@example.com", "a@example.com;b@example.com", "", "plain",
                             "@example.com", "a@", "a@@example.com", "a@b@example.com", "a@example..com",
                             "a@.example.com", ".a@example.com", "a\n@example.com", "a@exa\tmple.com",
                             ",;", "a@example.com,junk"}) {
        EXPECT_EQ(ValidateMailAddress(text), nullptr) << text;
    }
    EXPECT_EQ(sandbox().ReadLog(), "");
}

TEST_F(MailAddress, SharesOneResultBuffer) {
    char* first = ValidateMailAddress("one@example.com");
    char* second = ValidateMailAddress("two@example.com");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "two@example.com");
    EXPECT_EQ(ValidateMailAddress("bad address"), nullptr);
    EXPECT_STREQ(second, "two@example.com");
}

TEST(RecipParser, CountsRecipientsAndReleasesRecords) {
    RecipRecord* records = nullptr;
    EXPECT_EQ(RecipParse(" a@x.org ; b@y.org,c@z.org ,", &records, 1), 3);
    ASSERT_NE(records, nullptr);
    EXPECT_STREQ(records->address, "a@x.org");
    EXPECT_STREQ(records->next->address, "b@y.org");
    EXPECT_STREQ(records->next->next->address, "c@z.org");
    Clear_RT(&records);
    EXPECT_EQ(records, nullptr);
    EXPECT_EQ(RecipParse("a@x.org, nonsense", &records, 1), 0);
    EXPECT_EQ(records, nullptr);
    EXPECT_EQ(RecipParse(nullptr, &records, 1), 0);
    Clear_RT(&records);
}

}  // namespace
