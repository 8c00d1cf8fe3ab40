// The edit form and UpdateUser, run as the web server runs the program: the
// modify path, the rename path (aliases and connectors carried over, the old
// primary address gone), the refusals, and a renamed user reached again from
// its own details page.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/users/user_page_texts.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace userpages {
namespace {

ProcessResult Update(const std::string& mailNdx, const std::string& first, const std::string& last,
                     const std::string& tel, const std::string& address, const std::string& mail,
                     const Environment& env = DirectoryEnv()) {
    return RunCgiPost(Form({{"FirstName", first}, {"LastName", last}, {"TelNo", tel}, {"Address", address},
                            {"Mail", mail}, {"MailNdx", mailNdx}, {"Command", "UpdateUser"},
                            {"UpdateUser", "Update"}}),
                      env);
}

const std::string kAnnDn = "mail=ann@example.com,dc=example,dc=com";
const std::string kAnnAttrs = "firstname sn telephoneNumber streetaddress cn mail othermailbox x-permission";

const std::string kSeed =
    UserLdif("ann@example.com",
             "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 Main St\ncn: Ann Lee\n"
             "mail: ann.alias@example.com\nothermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n") +
    UserLdif("bob@example.com", "firstname: Bob\nsn: Brown\n");

std::string AnnEntry() { return Entry(kAnnDn, kAnnAttrs); }

class UpdateUserTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ResetDirectory(kSeed)); }
    void ExpectError(const ProcessResult& r, const std::string& message) {
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.out, ResultPage("Update User", message));
    }
};

std::string EditPage(const Person& p, const std::string& aliasRows) {
    return Header("Edit User") + ValidationScript("Mail") +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\" onSubmit=\"return formvalidation(this)\" >\n"
           "<table border=\"0\" width=\"100%\">\n"
           "\t<tr>\n"
           "\t\t<td>\n" +
           DetailTable(p, false, p.mail, aliasRows) + Footer() +
           "<table border=\"0\" width=\"100%\">\n"
           "\t<tr>\n"
           "\t\t<td>\n"
           "\t\t\t<table border=\"0\">\n"
           "\t\t\t<tr>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
           "\t\t\t\t</td>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"" + Escaped(p.mail) + "\">\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateUser\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"UpdateUser\" value=\"Update\">\n"
           "\t\t\t\t</td>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n"
           "\t\t\t\t</td>\n"
           "\t\t\t</tr>\n"
           "\t\t\t</table>\n"
           "\t\t</td>\n"
           "\t\t<td align=right>\n"
           "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/edituser.htm', 'LDAP', 400,400);\">\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n"
           "</form>\n"
           "</body>\n"
           "</html>\n";
}

const Person kAnn = {"Ann", "Lee", "123", "1 Main St", "ann@example.com"};
const std::string kAnnAlias = AliasRow("ann@example.com", "ann.alias@example.com", "ann.alias@example.com");

TEST_F(UpdateUserTest, EditFormHoldsTheEscapedValues) {
    ProcessResult r = RunCgiGet("Command=EditUser&Mail=ann%40example.com", DirectoryEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, EditPage(kAnn, kAnnAlias));
    ASSERT_TRUE(DirectorySandbox::Get().Add(UserLdif("lt@example.com", "firstname: a<b\nsn: \"q\"\n")));
    EXPECT_EQ(RunCgiGet("Command=EditUser&Mail=lt%40example.com", DirectoryEnv()).out,
              EditPage({"a<b", "\"q\"", "", "", "lt@example.com"}, ""));
}

TEST_F(UpdateUserTest, EditOfUnknownUserAndClosedPort) {
    ProcessResult r = RunCgiGet("Command=EditUser&Mail=nobody%40example.com", DirectoryEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, Header("Edit User") + ValidationScript("Mail") + ResultBox("User not found") + PageEnd());
    r = RunCgiGet("Command=EditUser&Mail=ann%40example.com", ClosedPortEnv());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, Header("Edit User") + ValidationScript("Mail") +
                         ResultBox("Error connecting to LDAP port on server") + PageEnd());
}

TEST_F(UpdateUserTest, UnchangedFormChangesNothing) {
    std::string before = AnnEntry();
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "ann@example.com");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, DetailsPage(kAnn, kAnnAlias, "No changes"));
    EXPECT_EQ(AnnEntry(), before);
}

TEST_F(UpdateUserTest, ChangedValuesAreModified) {
    ProcessResult r = Update("ann@example.com", "Anne", "Lee-Smith", "456", "2 <Side> Rd", "ann@example.com");
    EXPECT_EQ(r.out, DetailsPage({"Anne", "Lee-Smith", "456", "2 <Side> Rd", "ann@example.com"}, kAnnAlias,
                                 "Successfully Updated User"));
    EXPECT_EQ(AnnEntry(),
              "dn: " + kAnnDn + "\n"
              "mail: ann@example.com\nmail: ann.alias@example.com\n"
              "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n"
              "firstname: Anne\nsn: Lee-Smith\ntelephoneNumber: 456\nstreetaddress: 2 <Side> Rd\n"
              "cn: Anne Lee-Smith\n\n");
}

TEST_F(UpdateUserTest, LetterCaseOnlyMailChangeTakesTheModifyPath) {
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "ANN@example.com");
    // Shown under the address as typed; the DN keeps its letter case.
    EXPECT_EQ(r.out, DetailsPage(kAnn, kAnnAlias, "No changes"));
    EXPECT_NE(Entry(kAnnDn, "1.1"), "");
    EXPECT_EQ(DirectorySandbox::Get().Search("", "(mail=ann@example.com)", "1.1"), "dn: " + kAnnDn + "\n\n");
}

TEST_F(UpdateUserTest, SecondLastNameValueIsRemoved) {
    ASSERT_TRUE(DirectorySandbox::Get().Add(
        UserLdif("two@example.com", "firstname: Two\nsn: First\nsn: Second\ncn: Two First\n")));
    ProcessResult r = Update("two@example.com", "Two", "First", "", "", "two@example.com");
    EXPECT_EQ(r.out, DetailsPage({"Two", "First", "", "", "two@example.com"}, "", "Successfully Updated User"));
    std::string entry = Entry("mail=two@example.com,dc=example,dc=com", "sn");
    EXPECT_EQ(entry, "dn: mail=two@example.com,dc=example,dc=com\nsn: First\n\n");
}

TEST_F(UpdateUserTest, RenameCarriesAliasesAndConnectorsAndDropsTheOldAddress) {
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "ann@new.example.net");
    EXPECT_EQ(r.exitStatus, 0);
    Person renamed = kAnn;
    renamed.mail = "ann@new.example.net";
    EXPECT_EQ(r.out, DetailsPage(renamed, AliasRow("ann@new.example.net", "ann.alias@example.com",
                                                   "ann.alias@example.com"),
                                 "Successfully Updated User"));
    EXPECT_EQ(Entry(kAnnDn, "1.1"), "");
    EXPECT_EQ(DirectorySandbox::Get().Search("", "(mail=ann@example.com)", "1.1"), "");
    EXPECT_EQ(Entry("mail=ann@new.example.net,dc=new,dc=example,dc=net", kAnnAttrs),
              "dn: mail=ann@new.example.net,dc=new,dc=example,dc=net\n"
              "mail: ann.alias@example.com\nmail: ann@new.example.net\n"
              "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 Main St\ncn: Ann Lee\n"
              "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n");
}

TEST_F(UpdateUserTest, RenamedUserIsReachableFromItsOwnPages) {
    // After the rename the first mail value is the alias: every button must
    // still carry the primary address.
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "ann@example.org");
    std::string primary = HiddenValue(r.out, "Mail");
    ASSERT_EQ(primary, "ann@example.org");

    ProcessResult edit = RunCgiPost(Form({{"Command", "EditUser"}, {"Mail", primary}}), DirectoryEnv());
    Person renamed = kAnn;
    renamed.mail = "ann@example.org";
    std::string alias = AliasRow("ann@example.org", "ann.alias@example.com", "ann.alias@example.com");
    EXPECT_EQ(edit.out, EditPage(renamed, alias));
    // Submitting the edit form unchanged keeps the user where it is.
    std::string mailNdx = HiddenValue(edit.out, "MailNdx");
    EXPECT_EQ(Update(mailNdx, "Ann", "Lee", "123", "1 Main St", "ann@example.org").out,
              DetailsPage(renamed, alias, "No changes"));
    EXPECT_EQ(Update(mailNdx, "Ann", "Lee", "999", "1 Main St", "ann@example.org").out,
              DetailsPage({"Ann", "Lee", "999", "1 Main St", "ann@example.org"}, alias, "Successfully Updated User"));

    ProcessResult confirm = RunCgiPost(Form({{"Command", "DeleteUser"}, {"Mail", primary}}), DirectoryEnv());
    ASSERT_EQ(HiddenValue(confirm.out, "Mail"), "ann@example.org");
    ProcessResult deleted = RunCgiPost(
        Form({{"Command", "VerifyDeleteUser"}, {"Mail", HiddenValue(confirm.out, "Mail")}}), DirectoryEnv());
    EXPECT_EQ(deleted.out, Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
    EXPECT_EQ(DirectorySandbox::Get().Search("", "(mail=ann*)", "1.1"), "");
}

TEST_F(UpdateUserTest, RenameOntoAnotherUserIsRefused) {
    std::string before = AnnEntry();
    ExpectError(Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "bob@example.com"),
                "Cannot Update entry, the new email address already exists.");
    EXPECT_EQ(AnnEntry(), before);
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname"),
              "dn: mail=bob@example.com,dc=example,dc=com\nfirstname: Bob\n\n");
}

TEST_F(UpdateUserTest, RenameOntoOwnAliasProceeds) {
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "ann.alias@example.com");
    Person renamed = kAnn;
    renamed.mail = "ann.alias@example.com";
    EXPECT_EQ(r.out, DetailsPage(renamed, "", "Successfully Updated User"));
    EXPECT_EQ(Entry("mail=ann.alias@example.com,dc=example,dc=com", "mail"),
              "dn: mail=ann.alias@example.com,dc=example,dc=com\nmail: ann.alias@example.com\n\n");
}

TEST_F(UpdateUserTest, RefusalsComeInOrderAndChangeNothing) {
    std::string before = AnnEntry();
    // The address length is checked before connecting.
    ExpectError(Update("ann@example.com", "Ann", "Lee", "123", std::string(512, 'a'), "ann@example.com",
                       ClosedPortEnv()),
                "Error: address field overflow");
    ExpectError(Update("ann@example.com", std::string(300, 'n'), std::string(300, 'n'), "", "", "ann@example.com"),
                "Error: name or telephone field overflow");
    ExpectError(Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "bad address", ClosedPortEnv()),
                "Error connecting to LDAP server");
    ExpectError(Update("ann@example.com", "Ann", "Lee", "123", "1 Main St", "bad address"), "Invalid mail address");
    ExpectError(Update("gone@example.com", "Ann", "Lee", "123", "1 Main St", "gone@example.com"),
                "User cannot be updated, the entry has been deleted");
    // A wildcard or an alias names no user to change.
    ExpectError(Update("*", "X", "Y", "", "", "someone@example.com"),
                "User cannot be updated, the entry has been deleted");
    ExpectError(Update("ann.alias@example.com", "X", "Y", "", "", "ann.alias@example.com"),
                "User cannot be updated, the entry has been deleted");
    EXPECT_EQ(AnnEntry(), before);
    EXPECT_EQ(DirectorySandbox::Get().Search("", "(objectClass=xoperson)", "1.1"),
              "dn: " + kAnnDn + "\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
}

}  // namespace
}  // namespace userpages
