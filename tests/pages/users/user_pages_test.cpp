// The user pages run as the web server runs the program, against the seeded
// sandbox directory: whole pages, the directory after each change, and the
// refusals with the directory left unchanged.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "html/page_frame.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"

namespace {
using namespace pagetexts;
using Fields = std::vector<std::pair<std::string, std::string>>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

// The frame's e-mail validation script, taken from the frame itself.
std::string ValidationScript() {
    testing::internal::CaptureStdout();
    PrintEmailValidationScript("Mail");
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
bool Plain(unsigned char c) { return isalnum(c) || c == '-' || c == '.'; }

// Numeric character references for all but letters, digits, "-" and ".".
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += Plain(c) ? std::string(1, static_cast<char>(c)) : "&#" + std::to_string(c) + ";";
    return out;
}

std::string Form(const Fields& fields) {
    std::string body;
    char hex[4];
    for (const auto& f : fields) {
        body += (body.empty() ? "" : "&") + f.first + "=";
        for (unsigned char c : f.second) body += Plain(c) ? std::string(1, c) : (snprintf(hex, 4, "%%%02X", c), hex);
    }
    return body;
}

bool Reset(const std::string& ldif) {
    return Dir().Reset("dn: dc=com\nobjectClass: domain\ndc: com\n\n"
                       "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" + ldif);
}
Environment Env() { return {{"XOMTA_CONFIG_DIR", Dir().ConfigDir()}}; }
std::string UserLdif(const std::string& mail, const std::string& extra) {
    return "dn: mail=" + mail + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + mail + "\n" + extra + "\n";
}
std::string Entry(const std::string& dn, const std::string& attrs) { return Dir().Search(dn, "(objectClass=*)", attrs); }
std::string Users() { return Dir().Search("", "(objectClass=xoperson)", "1.1"); }
ProcessResult Post(const Fields& fields) { return RunCgiPost(Form(fields), Env()); }
void ExpectPage(const ProcessResult& r, const std::string& page, const std::string& trace = "", int status = 0) {
    EXPECT_EQ(r.exitStatus, status) << trace;
    EXPECT_EQ(r.out, page) << trace;
}

struct Person { std::string first, last, tel, address, mail; };

// Attribute table of the details, edit and delete pages.
std::string DetailTable(const Person& p, bool ro, const std::string& aliasRows) {
    auto item = [ro](const std::string& label, const std::string& field, const std::string& value) {
        std::string cell = field == "Address"
            ? "\t\t\t\t\t<textarea " + std::string(ro ? "readonly" : "") + " name=\"Address\" rows=\"4\" >" +
                  Escaped(value) + "</textarea>\n"
            : ro ? Escaped(value) + "\n"
                 : "\t\t\t\t\t<input type=\"text\" name=\"" + field + "\" value=\"" + Escaped(value) + "\">\n";
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               " :</td>\n\t\t\t\t<td>\n" + cell + "\t\t\t\t</td>\n\t\t\t</tr>\n";
    };
    return "\t\t<table  align=\"center\" valign=\"top\" border=\"0\">\n\t\t<tr>\n\t\t<td>\n"
           "\t\t\t<table  cellpadding=\"4\" valign=\"top\" border=\"1\">\n\t\t\t<tr>\n"
           "\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Item</td>\n"
           "\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Value</td>\n\t\t\t</tr>\n" +
           item("First Name", "FirstName", p.first) + item("Last Name", "LastName", p.last) +
           item("Telephone Number", "TelNo", p.tel) + item("Address", "Address", p.address) +
           item("Mail", "Mail", p.mail) +
           "\t\t</table>\n\t\t</td>\n\t\t<td valign=\"top\">\n\t\t\t<table cellpadding=\"4\" valign=\"top\" border=\"1\">\n"
           "\t\t\t<tr>\n\t\t\t\t<td align=\"center\" bgcolor=2166ab style=\"color:#FFFFFF\">Email Aliases</td>\n"
           "\t\t\t</tr>\n" + aliasRows + "\t\t</table>\n\t\t</td>\n\t\t<tr>\n\t\t</table>\n";
}

// One alias link; the link values as they stand in the URL.
std::string AliasRow(const std::string& primaryLink, const std::string& alias, const std::string& link = "") {
    return "\t\t\t<tr>\n<td><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=ViewAlias&Mail=" + primaryLink +
           "&MailAlias=" + (link.empty() ? alias : link) + ">" + Escaped(alias) + "</td>\n\t\t\t<tr>\n";
}

std::string DetailsPage(const Person& p, const std::string& aliasRows, const char* message) {
    auto button = [&p](const std::string& command, bool commandFirst, const std::string& name, const std::string& value) {
        std::string c = "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n";
        std::string m = "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"" + Escaped(p.mail) + "\">\n";
        return "\t\t\t\t<td>\n\t\t\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n" +
               (commandFirst ? c + m : m + c) + "\t\t\t\t\t<input type=\"submit\" name=\"" + name + "\" value=\"" +
               value + "\">\n\t\t\t\t</form>\n\t\t\t\t</td>\n";
    };
    std::string page =
        Header("User Details") + "<table border=\"0\" width=\"100%\">\n    <tr>\n\t\t<td>\n" +
        DetailTable(p, true, aliasRows) + Footer() +
        "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<table border=\"0\">\n\t\t\t<tr valign=top>\n"
        "\t\t\t\t<td>\n\t\t\t\t<form>\n"
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
        "\t\t\t\t</form>\n\t\t\t\t</td>\n" +
        button("EditUser", true, "EditUser", "Edit") + button("DeleteUser", false, "DeleteUser", "Delete") +
        button("ViewConn", false, "ViewConn", "View Connectors") + button("NewAlias", false, "ViewConn", "New Mail Alias") +
        "\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td valign=top align=right>\n\t\t<form>\n"
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/userdetail.htm', 'LDAP', 400,400);\">\n"
        "\t\t</form>\n\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n    </tr>\n</table>\n";
    if (message != nullptr) page += "<center>" + std::string(message) + "\n</center>";
    return page + "</body>\n</html>\n";
}

std::string EditPage(const Person& p, const std::string& aliasRows) {
    return Header("Edit User") + ValidationScript() +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\" onSubmit=\"return formvalidation(this)\" >\n"
           "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n" +
           DetailTable(p, false, aliasRows) + Footer() +
           "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<table border=\"0\">\n\t\t\t<tr>\n\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
           "\t\t\t\t</td>\n\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"" + Escaped(p.mail) + "\">\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateUser\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"UpdateUser\" value=\"Update\">\n"
           "\t\t\t\t</td>\n\t\t\t\t<td>\n\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n"
           "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td align=right>\n"
           "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/edituser.htm', 'LDAP', 400,400);\">\n"
           "\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n\t</tr>\n</table>\n</form>\n</body>\n</html>\n";
}

// One listing row; `link` is the mail as it stands in the link.
std::string ListRow(const std::string& first, const std::string& last, const std::string& tel,
                    const std::string& mail, const std::string& link = "") {
    std::string a = "<a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=" + (link.empty() ? mail : link) + ">";
    return "\t\t<tr>\n\t\t\t<td align=left>" + a + Escaped(first) + "</td>\n\t\t\t<td align=left>" + a +
           Escaped(last) + "</td>\n\t\t\t<td align=left>" + Escaped(tel) + "</td>\n\t\t\t<td align=left>" + a +
           Escaped(mail) + "</td>\n\t\t</tr>\n";
}
std::string ListEnd() {
    return "\t\t        </table>\n\t\t      </td>\n\t\t\t</tr>\n\t\t</table>\n\t\t</td>\n\t</tr>\n</table>\n" + Footer() +
           "<form>\n<table border=\"0\" align=\"right\">\n\t<tr>\n        <td>\n"
           "\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/listuser.htm', 'LDAP', 400,400);\">\n"
           "\t\t</td>\n\t</tr>\n</table>\n<center>\n</form>\n" + PageEnd();
}
std::string ListPage(const std::string& rows) {
    const std::string head = "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>";
    return Header("User Listing") +
           "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n<center>\n<table border=\"0\">\n\t<tr>\n"
           "        <td><table border=\"0\">\n\t\t\t<tr>\n\t\t\t  <td><table border=\"0\">\n\t\t\t\t<tr>\n" +
           head + "First Name</center></td>\n" + head + "Last Name</center></td>\n" + head +
           "Telephone Number</center></td>\n" + head + "Mail</center></td>\n\t\t\t    </tr>\n\t\t\t    <tr>\n" + rows +
           ListEnd();
}
ProcessResult List(const std::string& query) { return RunCgiGet("Command=ListUsers&" + query, Env()); }

// Arrival order of the seed is the order of this text.
const std::string kListSeed =
    UserLdif("anna@example.com", "firstname: Anna\nsn: Smith\ntelephoneNumber: 111\n") +
    UserLdif("zed@example.com", "firstname: Zed\n") +
    UserLdif("anna2@example.com", "firstname: anna\nsn: smith\ntelephoneNumber: 222\n") +
    UserLdif("bob@example.com", "firstname: <b>Bob</b>\nsn: Brown & Co\ntelephoneNumber: +1 (555) <i>\n") +
    UserLdif("pat@example.com", "firstname: Pat\nsn: O(Brien)\n") +
    UserLdif("list@example.com", "objectClass: xolistowner\nfirstname: Dist\nsn: List\n") +
    // Primary address from the DN, though the first mail value is another.
    "dn: mail=a@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: b@example.com\n"
    "mail: a@example.com\nfirstname: Al\nsn: Adams\n\n"
    // Written by another tool: quotes and angle brackets in the address.
    "dn: mail=q\\22 \\3Cb\\3E@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
    "mail: q\" <b>@example.com\nsn: Quote\n\n";

TEST(ListUsers, FiltersSortOrderEscapingAndOverlongFilter) {
    ASSERT_TRUE(Reset(kListSeed));
    const std::string zed = ListRow("Zed", "", "", "zed@example.com"), adams = ListRow("Al", "Adams", "", "a@example.com"),
        brown = ListRow("<b>Bob</b>", "Brown & Co", "+1 (555) <i>", "bob@example.com"),
        obrien = ListRow("Pat", "O(Brien)", "", "pat@example.com"), anna = ListRow("Anna", "Smith", "111", "anna@example.com"),
        quote = ListRow("", "Quote", "", "q\" <b>@example.com", "q%22%20%3cb%3e@example.com"),
        anna2 = ListRow("anna", "smith", "222", "anna2@example.com");
    // Absent sn first; equal keys (Smith, smith) in reverse arrival; distribution lists on request.
    const std::string all = zed + adams + brown + obrien + quote + anna2 + anna;
    const Fields cases = {
        {"FirstName=*&LastName=*&Mail=*", all}, {"FirstName=&LastName=&Mail=", all}, {"", all},
        {"FirstName=*&LastName=*&Mail=*&Special=yes",
         zed + adams + brown + ListRow("Dist", "List", "", "list@example.com") + obrien + quote + anna2 + anna},
        {"FirstName=ANNA&LastName=*&Mail=*", anna2 + anna}, {"LastName=Sm*", anna2 + anna},
        {"FirstName=anna&LastName=smith&Mail=anna2*", anna2},
        {"Mail=b%40example.com", adams},  // an alias value; the row shows the primary address
        {"FirstName=Nobody", ""},
        // Filter syntax in typed values is searched for, never spliced in.
        {"LastName=O(Brien)", obrien}, {"LastName=O(Br*", obrien}, {Form({{"LastName", "x)(sn=*"}}), ""},
        {Form({{"FirstName", "*)(|(objectClass=*"}}), ""}, {"LastName=%5c2a", ""},
        {"LastName=**", ""},  // a search the server refuses: empty table
    };
    for (const auto& c : cases) ExpectPage(List(c.first), ListPage(c.second), c.first);
    // With the 96 fixed characters of the filter, 1199 in all is the longest that fits.
    std::string fits(1199 - 96 - 1, 'x');
    EXPECT_EQ(List("LastName=" + fits + "*").out, ListPage(""));
    std::string refused = ResultPage("User Listing", "Error: search values too long");
    ExpectPage(List("LastName=" + fits + "xy"), refused);
    EXPECT_EQ(List("FirstName=" + std::string(400, '(')).out, refused);  // escapes count: 1200
}

TEST(Configuration, RecordLimitCutsTheListAClosedPortFails) {
    std::string many;
    for (int i = 0; i < 50; ++i) many += UserLdif("user" + std::to_string(i) + "@example.com", "sn: Many\n");
    ASSERT_TRUE(Reset(many));
    auto rows = [](const std::string& page) {  // three links a row
        std::size_t n = 0;
        for (std::size_t at = 0; (at = page.find("FindUser&Mail=user", at + 1)) != std::string::npos;) ++n;
        return n / 3;
    };
    ASSERT_TRUE(Dir().WriteConfig("[Ldap]\nRecordLimit=10\n"));
    ProcessResult r = List("LastName=Many");
    ASSERT_TRUE(Dir().WriteConfig());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(rows(r.out), 10u);
    EXPECT_EQ(r.out.substr(r.out.size() - ListEnd().size()), ListEnd());
    EXPECT_EQ(rows(List("LastName=Many").out), 50u);
    // A closed port: the failure page and its exit status.
    ASSERT_TRUE(Dir().WriteRawConfig("[Ldap]\nHostName=127.0.0.1\nPort=1\n"));
    ProcessResult list = RunCgiGet("Command=ListUsers&Mail=*", Env());
    ProcessResult confirm = RunCgiPost("Command=DeleteUser&Mail=a%40example.com", Env());
    ASSERT_TRUE(Dir().WriteConfig());
    ExpectPage(list, ResultPage("User Listing", "Error connecting to LDAP port on server"));
    ExpectPage(confirm, ResultPage("Delete User", "Error connecting to LDAP port on server"), "", 1);
}

TEST(UserDetails, AliasesByLetterCaseEscapingAndNotFound) {
    // The DN's capitals: the lower-case mail value is no alias. "+" and "," escaped in a DN show unescaped.
    ASSERT_TRUE(Reset("dn: mail=Ann@Example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                      "mail: ann@example.com\nmail: ann.alias@example.com\nmail: x+y@example.com\n"
                      "firstname: <script>alert(1)</script>\nsn: Lee & Sons\ntelephoneNumber: 1 2\n"
                      "streetaddress: 1 \"Main\" St\ncn: x\n\n"
                      "dn: mail=o\\+k\\,x@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                      "mail: al@example.com\nmail: o+k,x@example.com\nsn: Odd\n\n"));
    const Person p = {"<script>alert(1)</script>", "Lee & Sons", "1 2", "1 \"Main\" St", "Ann@Example.com"};
    const std::string ann = DetailsPage(p, AliasRow(p.mail, "ann.alias@example.com") +
                                               AliasRow(p.mail, "x+y@example.com", "x%2by@example.com"), nullptr);
    const Fields cases = {
        {"ann@example.com", ann}, {"ANN@EXAMPLE.COM", ann},
        {"o+k,x@example.com", DetailsPage({"", "Odd", "", "", "o+k,x@example.com"},
                                          AliasRow("o%2bk,x@example.com", "al@example.com"), nullptr)},
        {"nobody@example.com", ResultPage("User Details", "User (nobody&#64;example.com) not found")},
        {"ann.alias@example.com", ResultPage("User Details", "User (ann.alias&#64;example.com) not found")},
        {"<b>x", ResultPage("User Details", "User (&#60;b&#62;x) not found")},  // escaped, never markup
    };
    for (const auto& c : cases) ExpectPage(Post({{"Command", "FindUser"}, {"Mail", c.first}}), c.second, c.first);
}

ProcessResult Create(const std::string& first, const std::string& last, const std::string& tel,
                     const std::string& address, const std::string& mail) {
    return Post({{"Command", "NewUser"}, {"FirstName", first}, {"LastName", last}, {"TelNo", tel},
                 {"Address", address}, {"Mail", mail}, {"Submit", "Create User"}});
}
const std::string kOldUser = UserLdif("old@example.com", "firstname: Old\nsn: Timer\n");

TEST(NewUser, PrintsTheWholeForm) {
    auto row = [](const std::string& label, const std::string& field) {
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               "</td>\n\t\t\t\t<td>" + field + "</td>\n\t\t\t</tr>\n";
    };
    ExpectPage(RunCgiGet("Command=NewUserMenu"),
               Header("New User") + ValidationScript() +
                   "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\" onSubmit=\"return formvalidation(this)\" >\n"
                   "<input type=\"hidden\" name=\"Command\" value=\"NewUser\">\n"
                   "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<center>\n<table border=\"1\">\n" +
                   row("First Name :", "<input type=\"text\" name=\"FirstName\">") +
                   row("Last Name :", "<input type=\"text\" name=\"LastName\">") +
                   row("Telephone Number :", "<input type=\"text\" name=\"TelNo\">") +
                   row("Address :", "<textarea name=\"Address\" rows=\"4\" ></textarea>") +
                   row("Mail", "<input type=\"text\" name=\"Mail\" >") + "\t\t\t</table></center>\n" + Footer() +
                   "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n\t\t\t<table border=\"0\">\n"
                   "\t\t\t<tr valign=top>\n\t\t\t\t<td>\n"
                   "\t\t\t\t\t<input type=\"submit\" name=\"Submit\" value=\"Create User\">\n\t\t\t\t</td>\n"
                   "\t\t\t\t<td>\n\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n\t\t\t\t</td>\n"
                   "\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td align=right>\n"
                   "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
                   "onClick=\"popup('/vemo/help/ldap/sysadmin/newuser.htm', 'LDAP', 400,400);\">\n"
                   "\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n\t</tr>\n</table>\n</form>\n</body>\n</html>\n");
}

TEST(NewUser, CreatesUsersAndMissingDomainsTopDown) {
    ASSERT_TRUE(Reset(kOldUser));
    ExpectPage(Create("Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"),
               DetailsPage({"Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"}, "", "User created Succesfully"));
    EXPECT_EQ(Entry("mail=eve@sub.example.org,dc=sub,dc=example,dc=org",
                    "objectClass cn firstname streetaddress telephoneNumber sn mail"),
              "dn: mail=eve@sub.example.org,dc=sub,dc=example,dc=org\nobjectClass: xoperson\ncn: Eve Adams\n"
              "firstname: Eve\nstreetaddress: 1 <Main> St\ntelephoneNumber: +1 555\nsn: Adams\n"
              "mail: eve@sub.example.org\n\n");
    // The server takes no entry before its parent: all three domains are there.
    EXPECT_EQ(Dir().Search("dc=org", "(objectClass=domain)", "dc"),
              "dn: dc=org\ndc: org\n\ndn: dc=example,dc=org\ndc: example\n\ndn: dc=sub,dc=example,dc=org\ndc: sub\n\n");
    // Only one of the names; the longest address.
    Create("", "Solo", "", "", "solo@example.com");
    EXPECT_EQ(Entry("mail=solo@example.com,dc=example,dc=com", "cn sn firstname"),
              "dn: mail=solo@example.com,dc=example,dc=com\ncn: Solo\nsn: Solo\n\n");
    EXPECT_EQ(Create("Uno", "", "", "", "uno@example.com").out,
              DetailsPage({"Uno", "", "", "", "uno@example.com"}, "", "User created Succesfully"));
    EXPECT_EQ(Entry("mail=uno@example.com,dc=example,dc=com", "cn sn firstname"),
              "dn: mail=uno@example.com,dc=example,dc=com\ncn:: VW5vIA==\nfirstname: Uno\n\n");  // "Uno "
    std::string address(511, 'a');
    EXPECT_EQ(Create("Long", "Road", "", address, "long@example.com").out,
              DetailsPage({"Long", "Road", "", address, "long@example.com"}, "", "User created Succesfully"));
    EXPECT_EQ(Entry("mail=long@example.com,dc=example,dc=com", "streetaddress"),
              "dn: mail=long@example.com,dc=example,dc=com\nstreetaddress: " + address + "\n\n");
}

TEST(NewUser, RefusalsLeaveTheDirectoryUnchanged) {
    ASSERT_TRUE(Reset(kOldUser));
    const std::string n300(300, 'n'), overflow = "Error: name or telephone field overflow";
    const std::vector<std::vector<std::string>> cases = {  // first, last, tel, address, mail, message
        {"Long", "Road", "", std::string(512, 'a'), "long@example.com", "Error: address field overflow"},
        {n300, n300, "", "", "names@example.com", overflow},
        {std::string(512, 'f'), "", "", "", "names@example.com", overflow},
        {"A", "B", std::string(512, '1'), "", "names@example.com", overflow},
        {"A", "B", "", "", "", "Incomplete data input"},
        {"", "", "1", "x", "ab@example.com", "Incomplete data input"},
        {"A", "B", "", "", "a b@example.com", "Invalid mail address"},
        {"A", "B", "", "", "a@b@example.com", "Invalid mail address"},
        {"A", "B", "", "", std::string(250, 'x') + "@example.com", "Invalid mail address"},
        {"A", "B", "", "", "old@example.com", "Adding New User (old&#64;example.com) Failed"},
    };
    for (const auto& c : cases) ExpectPage(Create(c[0], c[1], c[2], c[3], c[4]), ResultPage("New User", c[5]), c[4]);
    EXPECT_EQ(Users(), "dn: mail=old@example.com,dc=example,dc=com\n\n");
    EXPECT_EQ(Entry("mail=old@example.com,dc=example,dc=com", "firstname sn"),
              "dn: mail=old@example.com,dc=example,dc=com\nfirstname: Old\nsn: Timer\n\n");
}

ProcessResult Update(const std::string& mailNdx, const std::string& first, const std::string& last,
                     const std::string& tel, const std::string& address, const std::string& mail) {
    return Post({{"FirstName", first}, {"LastName", last}, {"TelNo", tel}, {"Address", address}, {"Mail", mail},
                 {"MailNdx", mailNdx}, {"Command", "UpdateUser"}, {"UpdateUser", "Update"}});
}
const std::string kAnnDn = "mail=ann@example.com,dc=example,dc=com";
const std::string kAnnAttrs = "firstname sn telephoneNumber streetaddress cn mail othermailbox x-permission";
const Person kAnn = {"Ann", "Lee", "123", "1 <Main> St", "ann@example.com"};
const std::string kAnnAlias = AliasRow("ann@example.com", "ann.alias@example.com");
const std::string kCantFind = ResultPage("Delete User", "Cant find user,Delete User Operation Failed");
const std::string kDeleted = Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n";

class ChangeUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Reset(UserLdif("ann@example.com",
                                   "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 <Main> St\n"
                                   "cn: Ann Lee\nmail: ann.alias@example.com\nothermailbox: SMTP$ann@remote.net\n"
                                   "x-permission: SMTP$Send\n") +
                          UserLdif("bob@example.com", "firstname: Bob\nsn: Brown\nsn: Second\ncn: Bob Brown\n")));
        before_ = Entry(kAnnDn, kAnnAttrs);
    }
    std::string before_;
};

TEST_F(ChangeUserTest, EditFormAndTheModifyPath) {
    ExpectPage(RunCgiGet("Command=EditUser&Mail=ann%40example.com", Env()), EditPage(kAnn, kAnnAlias));
    ExpectPage(RunCgiGet("Command=EditUser&Mail=nobody%40example.com", Env()),
               Header("Edit User") + ValidationScript() + ResultBox("User not found") + PageEnd());
    ExpectPage(Update("ann@example.com", "Ann", "Lee", "123", "1 <Main> St", "ann@example.com"),
               DetailsPage(kAnn, kAnnAlias, "No changes"));
    // A letter-case-only change is no rename: the DN keeps its letter case.
    EXPECT_EQ(Update("ann@example.com", "Ann", "Lee", "123", "1 <Main> St", "ANN@example.com").out,
              DetailsPage(kAnn, kAnnAlias, "No changes"));
    EXPECT_EQ(Entry(kAnnDn, kAnnAttrs), before_);
    // Changed values are replaced; a second sn value goes.
    EXPECT_EQ(Update("bob@example.com", "Rob", "Brown", "9", "", "bob@example.com").out,
              DetailsPage({"Rob", "Brown", "9", "", "bob@example.com"}, "", "Successfully Updated User"));
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname sn telephoneNumber cn"),
              "dn: mail=bob@example.com,dc=example,dc=com\nsn: Brown\nfirstname: Rob\ntelephoneNumber: 9\ncn: Rob Brown\n\n");
}

TEST_F(ChangeUserTest, RenameCarriesAliasesAndConnectorsAndIsReachableFromItsOwnPages) {
    ProcessResult r = Update("ann@example.com", "Ann", "Lee", "123", "1 <Main> St", "ann@new.example.net");
    const Person renamed = {"Ann", "Lee", "123", "1 <Main> St", "ann@new.example.net"};
    const std::string alias = AliasRow("ann@new.example.net", "ann.alias@example.com");
    ExpectPage(r, DetailsPage(renamed, alias, "Successfully Updated User"));
    EXPECT_EQ(Dir().Search("", "(mail=ann@example.com)", "1.1"), "");
    EXPECT_EQ(Entry("mail=ann@new.example.net,dc=new,dc=example,dc=net", kAnnAttrs),
              "dn: mail=ann@new.example.net,dc=new,dc=example,dc=net\n"
              "mail: ann.alias@example.com\nmail: ann@new.example.net\n"
              "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 <Main> St\ncn: Ann Lee\n"
              "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n");
    // The first mail value is now the alias; the buttons above and below carry the primary address.
    EXPECT_EQ(Post({{"Command", "EditUser"}, {"Mail", renamed.mail}}).out, EditPage(renamed, alias));
    EXPECT_EQ(Update(renamed.mail, "Ann", "Lee", "999", "1 <Main> St", renamed.mail).out,
              DetailsPage({"Ann", "Lee", "999", "1 <Main> St", renamed.mail}, alias, "Successfully Updated User"));
    EXPECT_NE(Post({{"Command", "DeleteUser"}, {"Mail", renamed.mail}}).out.find(
                  "<input type=\"hidden\" name=\"Mail\" value=\"ann&#64;new.example.net\">"), std::string::npos);
    EXPECT_EQ(Post({{"Command", "VerifyDeleteUser"}, {"Mail", renamed.mail}}).out, kDeleted);
    EXPECT_EQ(Dir().Search("", "(mail=ann*)", "1.1"), "");
}

TEST_F(ChangeUserTest, RefusedUpdatesAndDeletionsChangeNothing) {
    const std::string n300(300, 'n'), gone = "User cannot be updated, the entry has been deleted";
    auto refused = [](const std::string& message) { return ResultPage("Update User", message); };
    const std::vector<std::pair<ProcessResult, std::string>> runs = {
        {Update("ann@example.com", "Ann", "Lee", "123", std::string(512, 'a'), "ann@example.com"),
         refused("Error: address field overflow")},
        {Update("ann@example.com", n300, n300, "", "", "ann@example.com"),
         refused("Error: name or telephone field overflow")},
        {Update("ann@example.com", "Ann", "Lee", "123", "", "bad address"), refused("Invalid mail address")},
        {Update("ann@example.com", "Ann", "Lee", "123", "1 <Main> St", "bob@example.com"),
         refused("Cannot Update entry, the new email address already exists.")},
        {Update("gone@example.com", "Ann", "Lee", "", "", "gone@example.com"), refused(gone)},
        // A wildcard or an alias names no user.
        {Update("*", "X", "Y", "", "", "someone@example.com"), refused(gone)},
        {Update("ann.alias@example.com", "X", "Y", "", "", "ann.alias@example.com"), refused(gone)},
        {RunCgiPost("Command=DeleteUser&Mail=nobody%40example.com", Env()), ResultPage("Delete User", "User not found")},
        {RunCgiPost("Command=VerifyDeleteUser&Mail=ann.alias%40example.com", Env()), kCantFind},
        {RunCgiPost("Command=VerifyDeleteUser&Mail=*", Env()), kCantFind},
        {RunCgiPost("Command=VerifyDeleteUser", Env()), kCantFind},
    };
    for (std::size_t i = 0; i < runs.size(); ++i) ExpectPage(runs[i].first, runs[i].second, std::to_string(i));
    EXPECT_EQ(Entry(kAnnDn, kAnnAttrs), before_);
    EXPECT_EQ(Users(), "dn: " + kAnnDn + "\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname sn"),
              "dn: mail=bob@example.com,dc=example,dc=com\nfirstname: Bob\nsn: Brown\nsn: Second\n\n");
    // A rename onto the user's own alias is no clash.
    const Person renamed = {"Ann", "Lee", "123", "1 <Main> St", "ann.alias@example.com"};
    EXPECT_EQ(Update("ann@example.com", "Ann", "Lee", "123", "1 <Main> St", renamed.mail).out,
              DetailsPage(renamed, "", "Successfully Updated User"));
    EXPECT_EQ(Entry("mail=ann.alias@example.com,dc=example,dc=com", "mail"),
              "dn: mail=ann.alias@example.com,dc=example,dc=com\nmail: ann.alias@example.com\n\n");
}

TEST_F(ChangeUserTest, DeleteConfirmsTheAddressAsReceivedAndDeletesOnlyTheEntry) {
    ExpectPage(Post({{"Command", "DeleteUser"}, {"Mail", "ANN@Example.com"}}),
               Header("Delete User") + "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n" +
                   DetailTable(kAnn, true, kAnnAlias) + Footer() +
                   "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n"
                   "\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n"
                   "\t\t\t<table border=\"0\">\n\t\t\t<tr>\n\t\t\t\t<td>\n"
                   "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
                   "\t\t\t\t</td>\n\t\t\t\t<td>\n"
                   "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"VerifyDeleteUser\">\n"
                   "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"ANN&#64;Example.com\">\n"
                   "\t\t\t\t\t<input type=\"submit\" name=\"VerifyDeleteUser\" value=\"Confirm\">\n"
                   "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table>\n\t\t</form>\n\t\t</td>\n"
                   "\t\t<td valign=\"top\" align=\"right\" >\n\t\t<form>\n"
                   "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
                   "onClick=\"popup('/vemo/help/ldap/sysadmin/deluser.htm', 'LDAP', 400,400);\">\n"
                   "\t\t</form>\n\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n\t</tr>\n</table>\n</body>\n</html>\n");
    EXPECT_EQ(Entry(kAnnDn, kAnnAttrs), before_);  // nothing deleted yet
    // Aliases and connectors go with the entry; domains and others stay.
    ExpectPage(Post({{"Command", "VerifyDeleteUser"}, {"Mail", "ANN@Example.com"}}), kDeleted);
    EXPECT_EQ(Dir().Search("", "(|(mail=ann*)(othermailbox=*))", "1.1"), "");
    EXPECT_EQ(Dir().Search("", "(objectClass=*)", "1.1"),
              "dn: dc=com\n\ndn: dc=example,dc=com\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
    // The user is gone when the confirmation comes a second time.
    ExpectPage(Post({{"Command", "VerifyDeleteUser"}, {"Mail", "ANN@Example.com"}}), kCantFind);
}

}  // namespace
