// The find form and the user list, run as the web server runs the program,
// against a seeded directory: filters, sort order, record limit, escaping of
// typed values and of directory texts, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "tests/pages/users/user_page_texts.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace userpages {
namespace {

const std::string kTableStart =
    "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
    "<center>\n"
    "<table border=\"0\">\n"
    "\t<tr>\n"
    "        <td><table border=\"0\">\n"
    "\t\t\t<tr>\n"
    "\t\t\t  <td><table border=\"0\">\n"
    "\t\t\t\t<tr>\n"
    "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>First Name</center></td>\n"
    "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>Last Name</center></td>\n"
    "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>Telephone Number</center></td>\n"
    "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>Mail</center></td>\n"
    "\t\t\t    </tr>\n"
    "\t\t\t    <tr>\n";

std::string TableEnd() {
    return "\t\t        </table>\n"
           "\t\t      </td>\n"
           "\t\t\t</tr>\n"
           "\t\t</table>\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n" +
           Footer() +
           "<form>\n"
           "<table border=\"0\" align=\"right\">\n"
           "\t<tr>\n"
           "        <td>\n"
           "\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/listuser.htm', 'LDAP', 400,400);\">\n"
           "\t\t</td>\n"
           "\t</tr>\n"
           "</table>\n"
           "<center>\n"
           "</form>\n";
}

// One table row; `link` is the mail as it stands in the link.
std::string Row(const std::string& first, const std::string& last, const std::string& tel,
                const std::string& mail, const std::string& link = "") {
    std::string href = "<a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=" + (link.empty() ? mail : link) + ">";
    return "\t\t<tr>\n"
           "\t\t\t<td align=left>" + href + Escaped(first) + "</td>\n"
           "\t\t\t<td align=left>" + href + Escaped(last) + "</td>\n"
           "\t\t\t<td align=left>" + Escaped(tel) + "</td>\n"
           "\t\t\t<td align=left>" + href + Escaped(mail) + "</td>\n"
           "\t\t</tr>\n";
}

std::size_t RowCount(const std::string& page) {
    std::size_t rows = 0;
    for (std::size_t at = page.find("<td align=left>"); at != std::string::npos; at = page.find("<td align=left>", at + 1)) {
        ++rows;
    }
    return rows / 4;
}

std::string ListPage(const std::string& rows) {
    return Header("User Listing") + kTableStart + rows + TableEnd() + PageEnd();
}

// Arrival order of the seed is the order of this text.
const std::string kSeed =
    UserLdif("anna@example.com", "firstname: Anna\nsn: Smith\ntelephoneNumber: 111\n") +
    UserLdif("zed@example.com", "firstname: Zed\n") +
    UserLdif("anna2@example.com", "firstname: anna\nsn: smith\ntelephoneNumber: 222\n") +
    UserLdif("bob@example.com", "firstname: <b>Bob</b>\nsn: Brown & Co\ntelephoneNumber: +1 (555) <i>\n") +
    UserLdif("pat@example.com", "firstname: Pat\nsn: O(Brien)\n") +
    UserLdif("list@example.com", "objectClass: xolistowner\nfirstname: Dist\nsn: List\n") +
    // Primary address from the DN, though the first mail value is another.
    "dn: mail=a@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: b@example.com\n"
    "mail: a@example.com\nfirstname: Al\nsn: Adams\n\n";

const std::string kZed = Row("Zed", "", "", "zed@example.com");
const std::string kAdams = Row("Al", "Adams", "", "a@example.com");
const std::string kBrown = Row("<b>Bob</b>", "Brown & Co", "+1 (555) <i>", "bob@example.com");
const std::string kList = Row("Dist", "List", "", "list@example.com");
const std::string kOBrien = Row("Pat", "O(Brien)", "", "pat@example.com");
const std::string kAnna = Row("Anna", "Smith", "111", "anna@example.com");
const std::string kAnna2 = Row("anna", "smith", "222", "anna2@example.com");

class ListUsersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ResetDirectory(kSeed)); }
    ProcessResult List(const std::string& query) { return RunCgiGet("Command=ListUsers&" + query, DirectoryEnv()); }
};

TEST(FindUserMenu, PrintsTheWholeSearchForm) {
    ProcessResult r = RunCgiGet("Command=FindUserMenu");
    EXPECT_EQ(r.exitStatus, 0);
    auto row = [](const std::string& label, const std::string& field) {
        return "\t\t\t\t<tr>\n"
               "\t\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label + "</td>\n"
               "\t\t\t\t\t<td>" + field + "</td>\n"
               "\t\t\t\t</tr>\n";
    };
    std::string expected =
        Header("Find User Menu") +
        "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
        "<table border=\"0\" width=\"100%\">\n"
        "\t<tr>\n"
        "\t\t<td>\n"
        "\t\t\t<center>\n"
        "\t\t\t<table border=\"1\">\n" +
        row("First Name:", "<input type=\"text\" name=\"FirstName\" value=\"*\">") +
        row("Last Name:", "<input type=\"text\" name=\"LastName\" value=\"*\">") +
        row("Mail:", "<input type=\"text\" name=\"Mail\" value=\"*\">") +
        row(" Include Distribution List Entries ",
            "<center><input type=\"checkbox\" name=\"Special\" value=\"yes\"></center>") +
        "\t\t\t</table>\n"
        "\t\t\t</center>\n"
        "\t\t</td>\n"
        "\t</tr>\n"
        "</table>\n" +
        Footer() +
        "<table border=\"0\" width=\"100%\">\n"
        "\t<tr>\n"
        "\t\t<td>\n"
        "\t\t\t<table border=\"0\">\n"
        "\t\t\t\t<tr>\n"
        "\t\t\t\t\t<td>\n"
        "\t\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"ListUsers\">\n"
        "\t\t\t\t\t\t<input type=\"submit\" name=\"ListUsers\" value=\"Find\">\n"
        "\t\t\t\t\t</td>\n"
        "\t\t\t\t\t<td>\n"
        "\t\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n"
        "\t\t\t\t\t</td>\n"
        "\t\t\t\t</tr>\n"
        "\t\t\t</table>\n"
        "\t\t</td>\n"
        "\t\t<td align=right>\n"
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/finduser.htm', 'LDAP', 400,400);\">\n"
        "\t\t</td>\n"
        "\t</tr>\n"
        "</table>\n"
        "</form>\n"
        "</body>\n"
        "</html>\n";
    EXPECT_EQ(r.out, expected);
}

TEST_F(ListUsersTest, DefaultFilterListsUsersSortedWithoutDistributionLists) {
    // Absent sn sorts first; equal keys (Smith/Anna, smith/anna) come out in
    // the reverse of their arrival; names and numbers are escaped.
    std::string expected = ListPage(kZed + kAdams + kBrown + kOBrien + kAnna2 + kAnna);
    ProcessResult r = List("FirstName=*&LastName=*&Mail=*");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, expected);
    // Empty fields and absent fields mean the same as the defaults.
    EXPECT_EQ(List("FirstName=&LastName=&Mail=").out, expected);
    EXPECT_EQ(List("").out, expected);
}

TEST_F(ListUsersTest, DistributionListSwitchIncludesListEntries) {
    EXPECT_EQ(List("FirstName=*&LastName=*&Mail=*&Special=yes").out,
              ListPage(kZed + kAdams + kBrown + kList + kOBrien + kAnna2 + kAnna));
    // Any value of the field counts, the empty one too.
    EXPECT_EQ(List("Special=").out, ListPage(kZed + kAdams + kBrown + kList + kOBrien + kAnna2 + kAnna));
}

TEST_F(ListUsersTest, NameAndMailConditions) {
    EXPECT_EQ(List("FirstName=ANNA&LastName=*&Mail=*").out, ListPage(kAnna2 + kAnna));
    EXPECT_EQ(List("FirstName=*&LastName=Sm*&Mail=*").out, ListPage(kAnna2 + kAnna));
    EXPECT_EQ(List("FirstName=*&LastName=*&Mail=zed%40example.com").out, ListPage(kZed));
    EXPECT_EQ(List("FirstName=anna&LastName=smith&Mail=anna2*").out, ListPage(kAnna2));
    // The alias value matches by its mail attribute; the row shows the primary address.
    EXPECT_EQ(List("Mail=b%40example.com").out, ListPage(kAdams));
    EXPECT_EQ(List("FirstName=Nobody").out, ListPage(""));
}

TEST_F(ListUsersTest, FilterSyntaxInTypedValuesIsSearchedForNotSpliced) {
    EXPECT_EQ(List("LastName=O(Brien)").out, ListPage(kOBrien));
    EXPECT_EQ(List("LastName=O(Br*").out, ListPage(kOBrien));
    // An attempt to widen the filter finds nothing rather than everybody.
    EXPECT_EQ(List(Form({{"LastName", "x)(sn=*"}})).out, ListPage(""));
    EXPECT_EQ(List(Form({{"FirstName", "*)(|(objectClass=*"}})).out, ListPage(""));
    EXPECT_EQ(List("LastName=%5c2a").out, ListPage(""));
}

TEST_F(ListUsersTest, AddressWithMarkupStaysInsideItsLink) {
    // Written by another tool: quotes and angle brackets in the address.
    ASSERT_TRUE(DirectorySandbox::Get().Add(
        "dn: mail=q\\22 \\3Cb\\3E@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
        "mail: q\" <b>@example.com\nsn: Quote\n\n"));
    EXPECT_EQ(List("LastName=Quote").out,
              ListPage(Row("", "Quote", "", "q\" <b>@example.com", "q%22%20%3cb%3e@example.com")));
}

TEST_F(ListUsersTest, SearchTheServerRefusesPrintsAnEmptyTable) {
    // "**" is no valid substring filter: the search fails, the table is empty.
    ProcessResult r = List("LastName=**");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ListPage(""));
}

TEST_F(ListUsersTest, OverlongFilterIsRefusedNotCut) {
    // The filter of 1199 characters is the longest that fits.
    const std::string fixed = "(&(objectClass=xoperson)(sn=)(mail=*)(!(objectclass=xolistowner))(!(objectclass=xolistrequest)))";
    std::string fits(1199 - fixed.size() - 1, 'x');
    EXPECT_EQ(List("LastName=" + fits + "*").out, ListPage(""));
    std::string refused = Header("User Listing") + ResultBox("Error: search values too long") + PageEnd();
    ProcessResult r = List("LastName=" + fits + "xy");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, refused);
    // Escapes count: 400 "(" grow to 1200 characters.
    EXPECT_EQ(List("FirstName=" + std::string(400, '(')).out, refused);
}

TEST_F(ListUsersTest, RecordLimitCutsTheList) {
    std::string many;
    for (int i = 0; i < 50; ++i) {
        many += UserLdif("user" + std::to_string(i) + "@example.com", "sn: Many\n");
    }
    ASSERT_TRUE(DirectorySandbox::Get().Add(many));
    ASSERT_TRUE(DirectorySandbox::Get().WriteConfig("[Ldap]\nRecordLimit=10\n"));
    ProcessResult r = List("LastName=Many");
    ASSERT_TRUE(DirectorySandbox::Get().WriteConfig());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(RowCount(r.out), 10u);
    EXPECT_EQ(r.out.substr(r.out.size() - TableEnd().size() - PageEnd().size()), TableEnd() + PageEnd());
    // Without the limit all fifty.
    r = List("LastName=Many");
    EXPECT_EQ(RowCount(r.out), 50u);
}

TEST(ListUsersConnection, ClosedPortGivesTheConnectionErrorPage) {
    ProcessResult r = RunCgiGet("Command=ListUsers&Mail=*", ClosedPortEnv());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, ResultPage("User Listing", "Error connecting to LDAP port on server"));
}

}  // namespace
}  // namespace userpages
