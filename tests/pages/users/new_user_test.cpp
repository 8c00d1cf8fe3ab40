// The new-user form and NewUser, run as the web server runs the program:
// the entry written (domains created top-down), the details page that
// follows, and every refusal with the directory left unchanged.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/users/user_page_texts.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace userpages {
namespace {

ProcessResult Create(const std::string& first, const std::string& last, const std::string& tel,
                     const std::string& address, const std::string& mail, const Environment& env = DirectoryEnv()) {
    return RunCgiPost(Form({{"Command", "NewUser"}, {"FirstName", first}, {"LastName", last}, {"TelNo", tel},
                            {"Address", address}, {"Mail", mail}, {"Submit", "Create User"}}),
                      env);
}

std::string Users() { return DirectorySandbox::Get().Search("", "(objectClass=xoperson)", "1.1"); }

class NewUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ResetDirectory(UserLdif("old@example.com", "firstname: Old\nsn: Timer\n")));
    }
    // Refused with `message`, and no user was added.
    void ExpectRefused(const ProcessResult& r, const std::string& message) {
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.out, ResultPage("New User", message));
        EXPECT_EQ(Users(), "dn: mail=old@example.com,dc=example,dc=com\n\n");
    }
};

TEST(NewUserMenu, PrintsTheWholeForm) {
    ProcessResult r = RunCgiGet("Command=NewUserMenu");
    EXPECT_EQ(r.exitStatus, 0);
    auto row = [](const std::string& label, const std::string& field) {
        return "\t\t\t<tr>\n"
               "\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label + "</td>\n"
               "\t\t\t\t<td>" + field + "</td>\n"
               "\t\t\t</tr>\n";
    };
    std::string expected =
        Header("New User") + ValidationScript("Mail") +
        "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\" onSubmit=\"return formvalidation(this)\" >\n"
        "<input type=\"hidden\" name=\"Command\" value=\"NewUser\">\n"
        "<table border=\"0\" width=\"100%\">\n"
        "\t<tr>\n"
        "\t\t<td>\n"
        "\t\t\t<center>\n<table border=\"1\">\n" +
        row("First Name :", "<input type=\"text\" name=\"FirstName\">") +
        row("Last Name :", "<input type=\"text\" name=\"LastName\">") +
        row("Telephone Number :", "<input type=\"text\" name=\"TelNo\">") +
        row("Address :", "<textarea name=\"Address\" rows=\"4\" ></textarea>") +
        row("Mail", "<input type=\"text\" name=\"Mail\" >") +
        "\t\t\t</table></center>\n" + Footer() +
        "<table border=\"0\" width=\"100%\">\n"
        "\t<tr>\n"
        "\t\t<td>\n"
        "\t\t\t<table border=\"0\">\n"
        "\t\t\t<tr valign=top>\n"
        "\t\t\t\t<td>\n"
        "\t\t\t\t\t<input type=\"submit\" name=\"Submit\" value=\"Create User\">\n"
        "\t\t\t\t</td>\n"
        "\t\t\t\t<td>\n"
        "\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n"
        "\t\t\t\t</td>\n"
        "\t\t\t</tr>\n"
        "\t\t\t</table>\n"
        "\t\t</td>\n"
        "\t\t<td align=right>\n"
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/newuser.htm', 'LDAP', 400,400);\">\n"
        "\t\t</td>\n"
        "\t</tr>\n"
        "</table>\n"
        "\t\t</td>\n"
        "\t</tr>\n"
        "</table>\n"
        "</form>\n"
        "</body>\n"
        "</html>\n";
    EXPECT_EQ(r.out, expected);
}

TEST_F(NewUserTest, CreatesUserAndMissingDomainsTopDown) {
    ProcessResult r = Create("Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, DetailsPage({"Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"}, "",
                                 "User created Succesfully"));
    EXPECT_EQ(Entry("mail=eve@sub.example.org,dc=sub,dc=example,dc=org",
                    "objectClass cn firstname streetaddress telephoneNumber sn mail"),
              "dn: mail=eve@sub.example.org,dc=sub,dc=example,dc=org\n"
              "objectClass: xoperson\n"
              "cn: Eve Adams\n"
              "firstname: Eve\n"
              "streetaddress: 1 <Main> St\n"
              "telephoneNumber: +1 555\n"
              "sn: Adams\n"
              "mail: eve@sub.example.org\n\n");
    // Each domain entry was added after the one above it.
    DirectorySandbox& d = DirectorySandbox::Get();
    auto csn = [&](const std::string& dn) {
        std::string entry = d.Search(dn, "(objectClass=domain)", "entryCSN");
        std::size_t at = entry.find("entryCSN: ");
        return at == std::string::npos ? std::string() : entry.substr(at + 10, entry.find('\n', at) - at - 10);
    };
    std::string org = csn("dc=org"), example = csn("dc=example,dc=org"), sub = csn("dc=sub,dc=example,dc=org");
    ASSERT_NE(org, "");
    EXPECT_LT(org, example);
    EXPECT_LT(example, sub);
    EXPECT_EQ(d.Search("dc=org", "(objectClass=domain)", "dc"),
              "dn: dc=org\ndc: org\n\n"
              "dn: dc=example,dc=org\ndc: example\n\n"
              "dn: dc=sub,dc=example,dc=org\ndc: sub\n\n");
}

TEST_F(NewUserTest, OnlyLastNameOrOnlyFirstName) {
    Create("", "Solo", "", "", "solo@example.com");
    EXPECT_EQ(Entry("mail=solo@example.com,dc=example,dc=com", "cn sn firstname"),
              "dn: mail=solo@example.com,dc=example,dc=com\ncn: Solo\nsn: Solo\n\n");
    ProcessResult r = Create("Uno", "", "", "", "uno@example.com");
    EXPECT_EQ(r.out, DetailsPage({"Uno", "", "", "", "uno@example.com"}, "", "User created Succesfully"));
    EXPECT_EQ(Entry("mail=uno@example.com,dc=example,dc=com", "cn sn firstname"),
              "dn: mail=uno@example.com,dc=example,dc=com\ncn:: VW5vIA==\nfirstname: Uno\n\n");  // "Uno "
}

TEST_F(NewUserTest, AddressOf511IsKeptWhole512Refused) {
    std::string address(511, 'a');
    ProcessResult r = Create("Long", "Road", "", address, "long@example.com");
    EXPECT_EQ(r.out, DetailsPage({"Long", "Road", "", address, "long@example.com"}, "", "User created Succesfully"));
    EXPECT_EQ(Entry("mail=long@example.com,dc=example,dc=com", "streetaddress"),
              "dn: mail=long@example.com,dc=example,dc=com\nstreetaddress: " + address + "\n\n");
    ASSERT_TRUE(ResetDirectory(UserLdif("old@example.com", "firstname: Old\nsn: Timer\n")));
    ExpectRefused(Create("Long", "Road", "", address + "a", "long@example.com"), "Error: address field overflow");
    // The mail address is screened first.
    ExpectRefused(Create("Long", "Road", "", address + "a", "not an address"), "Invalid mail address");
}

TEST_F(NewUserTest, NamesTooLongForTheDirectoryAreRefusedNotCut) {
    std::string name(300, 'n');
    ExpectRefused(Create(name, name, "", "", "names@example.com"), "Error: name or telephone field overflow");
    ExpectRefused(Create(std::string(512, 'f'), "", "", "", "names@example.com"),
                  "Error: name or telephone field overflow");
    ExpectRefused(Create("A", "B", std::string(512, '1'), "", "names@example.com"),
                  "Error: name or telephone field overflow");
}

TEST_F(NewUserTest, RefusalsLeaveTheDirectoryUnchanged) {
    ExpectRefused(Create("A", "B", "", "", ""), "Incomplete data input");
    ExpectRefused(Create("", "", "1", "x", "ab@example.com"), "Incomplete data input");
    ExpectRefused(Create("A", "B", "", "", "a b@example.com"), "Invalid mail address");
    ExpectRefused(Create("A", "B", "", "", "a@b@example.com"), "Invalid mail address");
    ExpectRefused(Create("A", "B", "", "", std::string(250, 'x') + "@example.com"), "Invalid mail address");
    // The user exists already: the add fails and says so, escaped.
    ExpectRefused(Create("A", "B", "", "", "old@example.com"), "Adding New User (old&#64;example.com) Failed");
    EXPECT_EQ(Entry("mail=old@example.com,dc=example,dc=com", "firstname sn"),
              "dn: mail=old@example.com,dc=example,dc=com\nfirstname: Old\nsn: Timer\n\n");
}

TEST(NewUserConnection, ClosedPortGivesTheConnectionErrorPage) {
    ProcessResult r = Create("A", "B", "", "", "a@example.com", ClosedPortEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ResultPage("New User", "Error connecting to LDAP server"));
}

}  // namespace
}  // namespace userpages
