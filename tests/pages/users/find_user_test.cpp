// The user details page, run as the web server runs the program: attributes,
// the alias column, escaping of directory and request texts, the buttons'
// identity, and the failure pages.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/users/user_page_texts.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace userpages {
namespace {

// The DN names the user in capitals; its lower-case mail value is the same
// address and no alias.
const std::string kSeed =
    "dn: mail=Ann@Example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: ann@example.com\nmail: ann.alias@example.com\nmail: x+y@example.com\n"
    "firstname: <script>alert(1)</script>\nsn: Lee & Sons\ntelephoneNumber: 1 2\n"
    "streetaddress: 1 \"Main\" St\ncn: x\n\n" +
    UserLdif("plain@example.com", "firstname: Pia\nsn: Plain\n");

const Person kAnn = {"<script>alert(1)</script>", "Lee & Sons", "1 2", "1 \"Main\" St", "Ann@Example.com"};
const std::string kAnnAliases = AliasRow("Ann@Example.com", "ann.alias@example.com", "ann.alias@example.com") +
                                AliasRow("Ann@Example.com", "x%2by@example.com", "x+y@example.com");

class FindUserTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ResetDirectory(kSeed)); }
};

TEST_F(FindUserTest, ShowsAttributesAliasesAndButtonsOfThePrimaryAddress) {
    ProcessResult r = RunCgiGet("Command=FindUser&Mail=ann%40example.com", DirectoryEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, DetailsPage(kAnn, kAnnAliases, nullptr));
    // Asked in capitals, it is the same user.
    EXPECT_EQ(RunCgiPost("Command=FindUser&Mail=ANN%40EXAMPLE.COM", DirectoryEnv()).out,
              DetailsPage(kAnn, kAnnAliases, nullptr));
}

TEST_F(FindUserTest, UserWithoutAliasesHasAnEmptyAliasColumn) {
    ProcessResult r = RunCgiGet("Command=FindUser&Mail=plain%40example.com", DirectoryEnv());
    EXPECT_EQ(r.out, DetailsPage({"Pia", "Plain", "", "", "plain@example.com"}, "", nullptr));
}

TEST_F(FindUserTest, UnknownAddressAndAliasAddressAreNotFound) {
    ProcessResult r = RunCgiGet("Command=FindUser&Mail=nobody%40example.com", DirectoryEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ResultPage("User Details", "User (nobody&#64;example.com) not found"));
    // An alias is no DN.
    EXPECT_EQ(RunCgiGet("Command=FindUser&Mail=ann.alias%40example.com", DirectoryEnv()).out,
              ResultPage("User Details", "User (ann.alias&#64;example.com) not found"));
    // The address asked for is repeated escaped, never as markup.
    EXPECT_EQ(RunCgiGet("Command=FindUser&Mail=%3Cb%3Ex", DirectoryEnv()).out,
              ResultPage("User Details", "User (&#60;b&#62;x) not found"));
}

TEST_F(FindUserTest, PrimaryAddressIsReadFromTheDnUnescaped) {
    // "+" and "," are escaped in the DN; the page shows the address itself.
    ASSERT_TRUE(DirectorySandbox::Get().Add(
        "dn: mail=o\\+k\\,x@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
        "mail: al@example.com\nmail: o+k,x@example.com\nsn: Odd\n\n"));
    ProcessResult r = RunCgiPost(Form({{"Command", "FindUser"}, {"Mail", "o+k,x@example.com"}}), DirectoryEnv());
    EXPECT_EQ(r.out, DetailsPage({"", "Odd", "", "", "o+k,x@example.com"},
                                 AliasRow("o%2bk,x@example.com", "al@example.com", "al@example.com"), nullptr));
    ProcessResult list = RunCgiPost(Form({{"Command", "ListUsers"}, {"LastName", "Odd"}}), DirectoryEnv());
    EXPECT_NE(list.out.find("\t\t\t<td align=left><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=o%2bk,x@example.com>"
                            "o&#43;k&#44;x&#64;example.com</td>\n"),
              std::string::npos);
}

TEST(FindUserConnection, ClosedPortGivesTheConnectionErrorPage) {
    ProcessResult r = RunCgiGet("Command=FindUser&Mail=a%40example.com", ClosedPortEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ResultPage("User Details", "Error connecting to LDAP port on server"));
}

}  // namespace
}  // namespace userpages
