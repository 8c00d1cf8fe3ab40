// DeleteUser's confirmation and VerifyDeleteUser, run as the web server runs
// the program: the address carried as received, the deletion (domains
// stay), a user gone between the two requests, and the failure pages with
// their exit statuses.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/users/user_page_texts.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace userpages {
namespace {

const std::string kSeed =
    UserLdif("dan@example.com", "firstname: Dan\nsn: Dee\nmail: dan.alias@example.com\n"
                                "othermailbox: SMTP$dan@remote.net\nx-permission: SMTP$Send\n") +
    UserLdif("eva@example.com", "firstname: Eva\nsn: Ek\n");

std::string ConfirmPage(const Person& p, const std::string& aliasRows, const std::string& asReceived) {
    return Header("Delete User") +
           "<table border=\"0\" width=\"100%\">\n"
           "\t<tr>\n"
           "\t\t<td>\n" +
           DetailTable(p, true, p.mail, aliasRows) + Footer() +
           "<table border=\"0\" width=\"100%\">\n"
           "\t<tr>\n"
           "\t\t<td>\n"
           "\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
           "\t\t\t<table border=\"0\">\n"
           "\t\t\t<tr>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
           "\t\t\t\t</td>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"VerifyDeleteUser\">\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"" + Escaped(asReceived) + "\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"VerifyDeleteUser\" value=\"Confirm\">\n"
           "\t\t\t\t</td>\n"
           "\t\t\t</tr>\n"
           "\t\t\t</table>\n"
           "\t\t</form>\n"
           "\t\t</td>\n"
           "\t\t<td valign=\"top\" align=\"right\" >\n"
           "\t\t<form>\n"
           "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/deluser.htm', 'LDAP', 400,400);\">\n"
           "\t\t</form>\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n"
           "</body>\n"
           "</html>\n";
}

class DeleteUserTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ResetDirectory(kSeed)); }
    ProcessResult Confirm(const std::string& mail, const Environment& env = DirectoryEnv()) {
        return RunCgiPost(Form({{"Command", "DeleteUser"}, {"Mail", mail}}), env);
    }
    ProcessResult Verify(const std::string& mail, const Environment& env = DirectoryEnv()) {
        return RunCgiPost(Form({{"Command", "VerifyDeleteUser"}, {"Mail", mail}}), env);
    }
};

TEST_F(DeleteUserTest, ConfirmationCarriesTheAddressAsReceived) {
    ProcessResult r = Confirm("DAN@Example.com");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ConfirmPage({"Dan", "Dee", "", "", "dan@example.com"},
                                 AliasRow("dan@example.com", "dan.alias@example.com", "dan.alias@example.com"),
                                 "DAN@Example.com"));
    // Nothing is deleted by the confirmation.
    EXPECT_NE(Entry("mail=dan@example.com,dc=example,dc=com", "1.1"), "");
}

TEST_F(DeleteUserTest, DeletesOnlyTheUsersEntry) {
    ProcessResult r = Verify("DAN@Example.com");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
    DirectorySandbox& d = DirectorySandbox::Get();
    // Aliases and connectors went with the entry; the domains and others stay.
    EXPECT_EQ(d.Search("", "(|(mail=dan*)(othermailbox=*))", "1.1"), "");
    EXPECT_EQ(d.Search("", "(objectClass=*)", "1.1"),
              "dn: dc=com\n\ndn: dc=example,dc=com\n\ndn: mail=eva@example.com,dc=example,dc=com\n\n");
}

TEST_F(DeleteUserTest, UserGoneBetweenTheTwoRequests) {
    std::string confirm = Confirm("dan@example.com").out;
    ASSERT_EQ(HiddenValue(confirm, "Mail"), "dan@example.com");
    EXPECT_EQ(Verify("dan@example.com").exitStatus, 0);
    ProcessResult again = Verify(HiddenValue(confirm, "Mail"));
    EXPECT_EQ(again.exitStatus, 0);
    EXPECT_EQ(again.out, ResultPage("Delete User", "Cant find user,Delete User Operation Failed"));
}

TEST_F(DeleteUserTest, UnknownAliasOrWildcardDeletesNothing) {
    EXPECT_EQ(Confirm("nobody@example.com").out, ResultPage("Delete User", "User not found"));
    EXPECT_EQ(Verify("dan.alias@example.com").out,
              ResultPage("Delete User", "Cant find user,Delete User Operation Failed"));
    EXPECT_EQ(Verify("*").out, ResultPage("Delete User", "Cant find user,Delete User Operation Failed"));
    EXPECT_EQ(RunCgiPost("Command=VerifyDeleteUser", DirectoryEnv()).out,
              ResultPage("Delete User", "Cant find user,Delete User Operation Failed"));
    EXPECT_EQ(DirectorySandbox::Get().Search("", "(objectClass=xoperson)", "1.1"),
              "dn: mail=dan@example.com,dc=example,dc=com\n\ndn: mail=eva@example.com,dc=example,dc=com\n\n");
}

TEST(DeleteUserConnection, ClosedPortEndsConfirmationWithStatusOne) {
    ProcessResult confirm = RunCgiPost("Command=DeleteUser&Mail=a%40example.com", ClosedPortEnv());
    EXPECT_EQ(confirm.exitStatus, 1);
    EXPECT_EQ(confirm.out, ResultPage("Delete User", "Error connecting to LDAP port on server"));
    ProcessResult verify = RunCgiPost("Command=VerifyDeleteUser&Mail=a%40example.com", ClosedPortEnv());
    EXPECT_EQ(verify.exitStatus, 0);
    EXPECT_EQ(verify.out, ResultPage("Delete User", "Error connecting to LDAP port on server"));
}

}  // namespace
}  // namespace userpages
