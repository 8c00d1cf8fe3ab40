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

// All but letters, digits, "-" and ".": as character references, or as %XX for a form.
std::string Encode(const std::string& text, bool form = false) {
    std::string out;
    char code[8];
    for (unsigned char c : text)
        out += isalnum(c) || c == '-' || c == '.' ? std::string(1, c)
                                                  : (snprintf(code, 8, form ? "%%%02X" : "&#%d;", c), code);
    return out;
}
ProcessResult Post(const Fields& fields) {
    std::string body;
    for (const auto& f : fields) body += (body.empty() ? "" : "&") + f.first + "=" + Encode(f.second, true);
    return RunCgiPost(body, {{"XOMTA_CONFIG_DIR", Dir().ConfigDir()}});
}
ProcessResult Get(const std::string& query) { return RunCgiGet(query, {{"XOMTA_CONFIG_DIR", Dir().ConfigDir()}}); }
void ExpectPage(const ProcessResult& r, const std::string& page, const std::string& trace = "", int status = 0) {
    EXPECT_EQ(r.exitStatus, status) << trace;
    EXPECT_EQ(r.out, page) << trace;
}

bool Reset(const std::string& ldif) {
    return Dir().Reset("dn: dc=com\nobjectClass: domain\ndc: com\n\n"
                       "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" + ldif);
}
std::string UserLdif(const std::string& mail, const std::string& extra) {
    return "dn: mail=" + mail + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + mail + "\n" + extra + "\n";
}
std::string Entry(const std::string& dn, const std::string& attrs) {
    return Dir().Search(dn, "(objectClass=*)", attrs);
}
std::string Users() { return Dir().Search("", "(objectClass=xoperson)", "1.1"); }

// Pieces the pages share.
const std::string kForm = "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\"";
const std::string kTable = "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n";
const std::string kClose = "\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n\t</tr>\n</table>\n";
const std::string kGoBack =
    "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n";
std::string Help(const std::string& tabs, const std::string& topic) {
    return tabs + "<input type=\"button\" name=\"Help\" value=\"Help\" onClick=\"popup('/vemo/help/ldap/sysadmin/" +
           topic + ".htm', 'LDAP', 400,400);\">\n";
}

struct Person { std::string first, last, tel, address, mail; };

// Attribute table of the details, edit and delete pages.
std::string DetailTable(const Person& p, bool ro, const std::string& aliasRows) {
    const std::string th = "<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">";
    auto item = [ro](const std::string& label, const std::string& field, const std::string& value) {
        std::string cell = field == "Address"
            ? "\t\t\t\t\t<textarea " + std::string(ro ? "readonly" : "") + " name=\"Address\" rows=\"4\" >" +
                  Encode(value) + "</textarea>\n"
            : ro ? Encode(value) + "\n"
                 : "\t\t\t\t\t<input type=\"text\" name=\"" + field + "\" value=\"" + Encode(value) + "\">\n";
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               " :</td>\n\t\t\t\t<td>\n" + cell + "\t\t\t\t</td>\n\t\t\t</tr>\n";
    };
    return "\t\t<table  align=\"center\" valign=\"top\" border=\"0\">\n\t\t<tr>\n\t\t<td>\n"
           "\t\t\t<table  cellpadding=\"4\" valign=\"top\" border=\"1\">\n\t\t\t<tr>\n\t\t\t\t" + th +
           "Item</td>\n\t\t\t\t" + th + "Value</td>\n\t\t\t</tr>\n" +
           item("First Name", "FirstName", p.first) + item("Last Name", "LastName", p.last) +
           item("Telephone Number", "TelNo", p.tel) + item("Address", "Address", p.address) +
           item("Mail", "Mail", p.mail) + "\t\t</table>\n\t\t</td>\n\t\t<td valign=\"top\">\n"
           "\t\t\t<table cellpadding=\"4\" valign=\"top\" border=\"1\">\n\t\t\t<tr>\n"
           "\t\t\t\t<td align=\"center\" bgcolor=2166ab style=\"color:#FFFFFF\">Email Aliases</td>\n"
           "\t\t\t</tr>\n" + aliasRows + "\t\t</table>\n\t\t</td>\n\t\t<tr>\n\t\t</table>\n";
}

// One alias link; `link` is the alias as it stands in the URL.
std::string AliasRow(const std::string& primaryLink, const std::string& alias, const std::string& link = "") {
    return "\t\t\t<tr>\n<td><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=ViewAlias&Mail=" + primaryLink +
           "&MailAlias=" + (link.empty() ? alias : link) + ">" + Encode(alias) + "</td>\n\t\t\t<tr>\n";
}

std::string DetailsPage(const Person& p, const std::string& aliasRows, const char* message) {
    auto button = [&p](const std::string& command, const std::string& name, const std::string& value) {
        std::string c = "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n";
        std::string m = "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"" + Encode(p.mail) + "\">\n";
        return "\t\t\t\t<td>\n\t\t\t\t" + kForm + ">\n" + (command == "EditUser" ? c + m : m + c) +
               "\t\t\t\t\t<input type=\"submit\" name=\"" + name + "\" value=\"" + value +
               "\">\n\t\t\t\t</form>\n\t\t\t\t</td>\n";
    };
    std::string page =
        Header("User Details") + "<table border=\"0\" width=\"100%\">\n    <tr>\n\t\t<td>\n" +
        DetailTable(p, true, aliasRows) + Footer() + kTable +
        "\t\t\t<table border=\"0\">\n\t\t\t<tr valign=top>\n\t\t\t\t<td>\n\t\t\t\t<form>\n" + kGoBack +
        "\t\t\t\t</form>\n\t\t\t\t</td>\n" + button("EditUser", "EditUser", "Edit") +
        button("DeleteUser", "DeleteUser", "Delete") + button("ViewConn", "ViewConn", "View Connectors") +
        button("NewAlias", "ViewConn", "New Mail Alias") +
        "\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td valign=top align=right>\n\t\t<form>\n" +
        Help("\t\t\t", "userdetail") + "\t\t</form>\n\t\t</td>\n\t</tr>\n</table>\n\t\t</td>\n    </tr>\n</table>\n";
    if (message != nullptr) page += "<center>" + std::string(message) + "\n</center>";
    return page + "</body>\n</html>\n";
}
const char* kCreated = "User created Succesfully";
const char* kUpdated = "Successfully Updated User";

std::string EditPage(const Person& p, const std::string& aliasRows) {
    return Header("Edit User") + ValidationScript() + kForm + " onSubmit=\"return formvalidation(this)\" >\n" +
           kTable + DetailTable(p, false, aliasRows) + Footer() + kTable +
           "\t\t\t<table border=\"0\">\n\t\t\t<tr>\n\t\t\t\t<td>\n" + kGoBack + "\t\t\t\t</td>\n\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"" + Encode(p.mail) + "\">\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateUser\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"UpdateUser\" value=\"Update\">\n"
           "\t\t\t\t</td>\n\t\t\t\t<td>\n\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n"
           "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td align=right>\n" +
           Help("\t\t\t", "edituser") + kClose + "</form>\n</body>\n</html>\n";
}

// One listing row; `link` is the mail as it stands in the link.
std::string ListRow(const std::string& first, const std::string& last, const std::string& tel,
                    const std::string& mail, const std::string& link = "") {
    std::string a = "<a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=" + (link.empty() ? mail : link) + ">";
    std::string td = "</td>\n\t\t\t<td align=left>";
    return "\t\t<tr>\n\t\t\t<td align=left>" + a + Encode(first) + td + a + Encode(last) + td + Encode(tel) + td +
           a + Encode(mail) + "</td>\n\t\t</tr>\n";
}
std::string ListPage(const std::string& rows) {
    std::string page = Header("User Listing") + kForm + ">\n<center>\n<table border=\"0\">\n\t<tr>\n"
                       "        <td><table border=\"0\">\n\t\t\t<tr>\n\t\t\t  <td><table border=\"0\">\n\t\t\t\t<tr>\n";
    for (const char* title : {"First Name", "Last Name", "Telephone Number", "Mail"})
        page += "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>" + std::string(title) +
                "</center></td>\n";
    return page + "\t\t\t    </tr>\n\t\t\t    <tr>\n" + rows +
           "\t\t        </table>\n\t\t      </td>\n\t\t\t</tr>\n\t\t</table>\n\t\t</td>\n\t</tr>\n</table>\n" +
           Footer() + "<form>\n<table border=\"0\" align=\"right\">\n\t<tr>\n        <td>\n" +
           Help("\t\t", "listuser") + "\t\t</td>\n\t</tr>\n</table>\n<center>\n</form>\n" + PageEnd();
}
ProcessResult List(const std::string& query) { return Get("Command=ListUsers&" + query); }

// Arrival order of the seed is the order of this text.
const std::string kListSeed =
    UserLdif("anna@example.com", "firstname: Anna\nsn: Smith\ntelephoneNumber: 111\n") +
    UserLdif("zed@example.com", "firstname: Zed\n") +
    UserLdif("anna2@example.com", "firstname: anna\nsn: smith\ntelephoneNumber: 222\n") +
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
    const std::string zed = ListRow("Zed", "", "", "zed@example.com"), al = ListRow("Al", "Adams", "", "a@example.com"),
                      pat = ListRow("Pat", "O(Brien)", "", "pat@example.com"),
                      anna = ListRow("Anna", "Smith", "111", "anna@example.com"),
                      quote = ListRow("", "Quote", "", "q\" <b>@example.com", "q%22%20%3cb%3e@example.com"),
                      anna2 = ListRow("anna", "smith", "222", "anna2@example.com");
    // Absent sn first; equal keys (Smith, smith) in reverse arrival; distribution lists on request.
    const Fields cases = {
        {"FirstName=&LastName=&Mail=", zed + al + pat + quote + anna2 + anna},
        {"Special=yes", zed + al + ListRow("Dist", "List", "", "list@example.com") + pat + quote + anna2 + anna},
        {"FirstName=ANNA&LastName=*&Mail=*", anna2 + anna}, {"LastName=Sm*", anna2 + anna},
        {"FirstName=anna&LastName=smith&Mail=anna2*", anna2},
        {"Mail=b%40example.com", al},  // an alias value; the row shows the primary address
        // Filter syntax in typed values is searched for, never spliced in.
        {"LastName=O(Brien)", pat}, {"LastName=O(Br*", pat}, {"LastName=x%29%28sn%3d*", ""}, {"LastName=%5c2a", ""},
        {"LastName=**", ""},  // a search the server refuses: empty table
    };
    for (const auto& c : cases) ExpectPage(List(c.first), ListPage(c.second), c.first);
    // With the 96 fixed characters of the filter, 1199 in all is the longest that fits.
    std::string fits(1199 - 96 - 1, 'x'), refused = ResultPage("User Listing", "Error: search values too long");
    EXPECT_EQ(List("LastName=" + fits + "*").out, ListPage(""));
    ExpectPage(List("LastName=" + fits + "xy"), refused);
    EXPECT_EQ(List("FirstName=" + std::string(400, '(')).out, refused);  // escapes count: 1200
}

TEST(Configuration, RecordLimitCutsTheListAClosedPortFails) {
    std::string many, ten, fifty;
    for (int i = 0; i < 50; ++i) {
        std::string mail = "user" + std::to_string(i) + "@example.com";
        many += UserLdif(mail, "sn: Many\n");
        fifty = ListRow("", "Many", "", mail) + fifty;  // equal keys: reverse arrival
        if (i < 10) ten = fifty;
    }
    ASSERT_TRUE(Reset(many));
    ASSERT_TRUE(Dir().WriteConfig("[Ldap]\nRecordLimit=10\n"));
    ProcessResult limited = List("LastName=Many");
    ASSERT_TRUE(Dir().WriteConfig());
    ExpectPage(limited, ListPage(ten));
    ExpectPage(List("LastName=Many"), ListPage(fifty));
    // A closed port: the failure page and its exit status.
    ASSERT_TRUE(Dir().WriteRawConfig("[Ldap]\nHostName=127.0.0.1\nPort=1\n"));
    ProcessResult list = List("Mail=*"), confirm = Post({{"Command", "DeleteUser"}, {"Mail", "a@example.com"}});
    ASSERT_TRUE(Dir().WriteConfig());
    ExpectPage(list, ResultPage("User Listing", "Error connecting to LDAP port on server"));
    ExpectPage(confirm, ResultPage("Delete User", "Error connecting to LDAP port on server"), "", 1);
}

TEST(UserDetails, AliasesByLetterCaseEscapingAndNotFound) {
    // The DN's capitals: the lower-case mail value is no alias.
    ASSERT_TRUE(Reset("dn: mail=Ann@Example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                      "mail: ann@example.com\nmail: ann.alias@example.com\nmail: x+y@example.com\n"
                      "firstname: <script>alert(1)</script>\nsn: Lee & Sons\ntelephoneNumber: 1 2\n"
                      "streetaddress: 1 \"Main\" St\ncn: x\n\n"));
    const Person p = {"<script>alert(1)</script>", "Lee & Sons", "1 2", "1 \"Main\" St", "Ann@Example.com"};
    const std::string ann = DetailsPage(p, AliasRow(p.mail, "ann.alias@example.com") +
                                               AliasRow(p.mail, "x+y@example.com", "x%2by@example.com"), nullptr);
    auto notFound = [](const std::string& m) { return ResultPage("User Details", "User (" + m + ") not found"); };
    const Fields cases = {
        {"ann@example.com", ann}, {"ANN@EXAMPLE.COM", ann},
        {"nobody@example.com", notFound("nobody&#64;example.com")},
        {"ann.alias@example.com", notFound("ann.alias&#64;example.com")},
        {"<b>x", notFound("&#60;b&#62;x")},  // escaped, never markup
    };
    for (const auto& c : cases) ExpectPage(Post({{"Command", "FindUser"}, {"Mail", c.first}}), c.second, c.first);
}

ProcessResult Create(const Person& p) {
    return Post({{"Command", "NewUser"}, {"FirstName", p.first}, {"LastName", p.last}, {"TelNo", p.tel},
                 {"Address", p.address}, {"Mail", p.mail}, {"Submit", "Create User"}});
}

TEST(NewUser, FormRefusalsAndCreationWithMissingDomainsTopDown) {
    auto row = [](const std::string& label, const std::string& field) {
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               "</td>\n\t\t\t\t<td>" + field + "</td>\n\t\t\t</tr>\n";
    };
    ExpectPage(Get("Command=NewUserMenu"),
               Header("New User") + ValidationScript() + kForm + " onSubmit=\"return formvalidation(this)\" >\n"
               "<input type=\"hidden\" name=\"Command\" value=\"NewUser\">\n" + kTable +
               "\t\t\t<center>\n<table border=\"1\">\n" +
               row("First Name :", "<input type=\"text\" name=\"FirstName\">") +
               row("Last Name :", "<input type=\"text\" name=\"LastName\">") +
               row("Telephone Number :", "<input type=\"text\" name=\"TelNo\">") +
               row("Address :", "<textarea name=\"Address\" rows=\"4\" ></textarea>") +
               row("Mail", "<input type=\"text\" name=\"Mail\" >") + "\t\t\t</table></center>\n" + Footer() +
               kTable + "\t\t\t<table border=\"0\">\n\t\t\t<tr valign=top>\n\t\t\t\t<td>\n"
               "\t\t\t\t\t<input type=\"submit\" name=\"Submit\" value=\"Create User\">\n\t\t\t\t</td>\n"
               "\t\t\t\t<td>\n\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n\t\t\t\t</td>\n"
               "\t\t\t</tr>\n\t\t\t</table>\n\t\t</td>\n\t\t<td align=right>\n" + Help("\t\t\t", "newuser") +
               kClose + "</form>\n</body>\n</html>\n");

    ASSERT_TRUE(Reset(UserLdif("old@example.com", "firstname: Old\nsn: Timer\n")));
    const std::string n300(300, 'n'), overflow = "Error: name or telephone field overflow";
    const std::vector<std::pair<Person, std::string>> refusals = {
        {{"Long", "Road", "", std::string(512, 'a'), "long@example.com"}, "Error: address field overflow"},
        {{n300, n300, "", "", "names@example.com"}, overflow},
        {{"A", "B", std::string(512, '1'), "", "names@example.com"}, overflow},
        {{"A", "B", "", "", ""}, "Incomplete data input"},
        {{"", "", "1", "x", "ab@example.com"}, "Incomplete data input"},
        {{"A", "B", "", "", "a b@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", "a@b@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", std::string(250, 'x') + "@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", "old@example.com"}, "Adding New User (old&#64;example.com) Failed"},
    };
    for (const auto& c : refusals) ExpectPage(Create(c.first), ResultPage("New User", c.second), c.first.mail);
    EXPECT_EQ(Users(), "dn: mail=old@example.com,dc=example,dc=com\n\n");
    EXPECT_EQ(Entry("mail=old@example.com,dc=example,dc=com", "firstname sn"),
              "dn: mail=old@example.com,dc=example,dc=com\nfirstname: Old\nsn: Timer\n\n");

    // Only one of the names; the longest address.
    const Person eve = {"Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"},
                 uno = {"Uno", "", "", "", "uno@example.com"}, solo = {"", "Solo", "", "", "solo@example.com"},
                 road = {"Long", "Road", "", std::string(511, 'a'), "long@example.com"};
    for (const Person& p : {eve, uno, solo, road}) ExpectPage(Create(p), DetailsPage(p, "", kCreated), p.mail);
    EXPECT_EQ(Entry("mail=eve@sub.example.org,dc=sub,dc=example,dc=org",
                    "objectClass cn firstname streetaddress telephoneNumber sn mail"),
              "dn: mail=eve@sub.example.org,dc=sub,dc=example,dc=org\nobjectClass: xoperson\ncn: Eve Adams\n"
              "firstname: Eve\nstreetaddress: 1 <Main> St\ntelephoneNumber: +1 555\nsn: Adams\n"
              "mail: eve@sub.example.org\n\n");
    // The server takes no entry before its parent: all three domains are there.
    EXPECT_EQ(Dir().Search("dc=org", "(objectClass=domain)", "dc"), "dn: dc=org\ndc: org\n\n"
              "dn: dc=example,dc=org\ndc: example\n\ndn: dc=sub,dc=example,dc=org\ndc: sub\n\n");
    EXPECT_EQ(Dir().Search("", "(|(mail=uno*)(mail=solo*)(mail=long*))", "cn sn firstname streetaddress"),
              "dn: mail=uno@example.com,dc=example,dc=com\ncn:: VW5vIA==\nfirstname: Uno\n\n"  // "Uno "
              "dn: mail=solo@example.com,dc=example,dc=com\ncn: Solo\nsn: Solo\n\n"
              "dn: mail=long@example.com,dc=example,dc=com\ncn: Long Road\nfirstname: Long\n"
              "streetaddress: " + road.address + "\nsn: Road\n\n");
}

ProcessResult Update(const std::string& mailNdx, const Person& p) {
    return Post({{"FirstName", p.first}, {"LastName", p.last}, {"TelNo", p.tel}, {"Address", p.address},
                 {"Mail", p.mail}, {"MailNdx", mailNdx}, {"Command", "UpdateUser"}, {"UpdateUser", "Update"}});
}
const std::string kAnnDn = "mail=ann@example.com,dc=example,dc=com", kAnnMail = "ann@example.com";
const std::string kAnnAttrs = "firstname sn telephoneNumber streetaddress cn mail othermailbox x-permission";
const Person kAnn = {"Ann", "Lee", "123", "1 <Main> St", kAnnMail};
const std::string kAnnAlias = AliasRow(kAnnMail, "ann.alias@example.com");
Person Ann(const std::string& mail) { return {"Ann", "Lee", "123", "1 <Main> St", mail}; }
const std::string kCantFind = ResultPage("Delete User", "Cant find user,Delete User Operation Failed");
const std::string kDeleted = Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n";

// Ann, with an alias and a connector, and Bob with two sn values; Ann's entry as seeded.
std::string SeedAnnAndBob() {
    EXPECT_TRUE(Reset(UserLdif(kAnnMail, "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 <Main> St\n"
                                         "cn: Ann Lee\nmail: ann.alias@example.com\n"
                                         "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n") +
                      UserLdif("bob@example.com", "firstname: Bob\nsn: Brown\nsn: Second\ncn: Bob Brown\n")));
    return Entry(kAnnDn, kAnnAttrs);
}

TEST(ChangeUser, EditFormRefusalsAndTheModifyPath) {
    const std::string before = SeedAnnAndBob(), n300(300, 'n');
    ExpectPage(Get("Command=EditUser&Mail=ann%40example.com"), EditPage(kAnn, kAnnAlias));
    auto refused = [](const std::string& message) { return ResultPage("Update User", message); };
    const std::string gone = refused("User cannot be updated, the entry has been deleted");
    const std::vector<std::pair<ProcessResult, std::string>> runs = {
        {Get("Command=EditUser&Mail=nobody%40example.com"),
         Header("Edit User") + ValidationScript() + ResultBox("User not found") + PageEnd()},
        {Update(kAnnMail, {"Ann", "Lee", "123", std::string(512, 'a'), kAnnMail}),
         refused("Error: address field overflow")},
        {Update(kAnnMail, {n300, n300, "", "", kAnnMail}), refused("Error: name or telephone field overflow")},
        {Update(kAnnMail, Ann("bad address")), refused("Invalid mail address")},
        {Update(kAnnMail, Ann("bob@example.com")), refused("Cannot Update entry, the new email address already exists.")},
        {Update("gone@example.com", Ann("gone@example.com")), gone},
        // A wildcard or an alias names no user.
        {Update("*", {"X", "Y", "", "", "someone@example.com"}), gone},
        {Update("ann.alias@example.com", {"X", "Y", "", "", "ann.alias@example.com"}), gone},
        {Post({{"Command", "DeleteUser"}, {"Mail", "nobody@example.com"}}), ResultPage("Delete User", "User not found")},
        {Post({{"Command", "VerifyDeleteUser"}, {"Mail", "ann.alias@example.com"}}), kCantFind},
        {Post({{"Command", "VerifyDeleteUser"}, {"Mail", "*"}}), kCantFind},
        {Post({{"Command", "VerifyDeleteUser"}}), kCantFind},
        // A letter-case-only change is no rename: the DN keeps its letter case.
        {Update(kAnnMail, kAnn), DetailsPage(kAnn, kAnnAlias, "No changes")},
        {Update(kAnnMail, Ann("ANN@example.com")), DetailsPage(kAnn, kAnnAlias, "No changes")},
    };
    for (std::size_t i = 0; i < runs.size(); ++i) ExpectPage(runs[i].first, runs[i].second, std::to_string(i));
    EXPECT_EQ(Entry(kAnnDn, kAnnAttrs), before);
    EXPECT_EQ(Users(), "dn: " + kAnnDn + "\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname sn"),
              "dn: mail=bob@example.com,dc=example,dc=com\nfirstname: Bob\nsn: Brown\nsn: Second\n\n");
    // Changed values are replaced; a second sn value goes.
    const Person rob = {"Rob", "Brown", "9", "", "bob@example.com"};
    ExpectPage(Update(rob.mail, rob), DetailsPage(rob, "", kUpdated));
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname sn telephoneNumber cn"),
              "dn: mail=bob@example.com,dc=example,dc=com\nsn: Brown\nfirstname: Rob\ntelephoneNumber: 9\n"
              "cn: Rob Brown\n\n");
    // A rename onto the user's own alias is no clash.
    ExpectPage(Update(kAnnMail, Ann("ann.alias@example.com")), DetailsPage(Ann("ann.alias@example.com"), "", kUpdated));
    EXPECT_EQ(Entry("mail=ann.alias@example.com,dc=example,dc=com", "mail"),
              "dn: mail=ann.alias@example.com,dc=example,dc=com\nmail: ann.alias@example.com\n\n");
}

TEST(ChangeUser, RenameCarriesAliasesAndConnectorsAndIsReachableFromItsOwnPages) {
    SeedAnnAndBob();
    const Person renamed = Ann("ann@new.example.net"), phoned = {"Ann", "Lee", "999", "1 <Main> St", renamed.mail};
    const std::string alias = AliasRow(renamed.mail, "ann.alias@example.com");
    ExpectPage(Update(kAnnMail, renamed), DetailsPage(renamed, alias, kUpdated));
    EXPECT_EQ(Dir().Search("", "(mail=ann@example.com)", "1.1"), "");
    EXPECT_EQ(Entry("mail=ann@new.example.net,dc=new,dc=example,dc=net", kAnnAttrs),
              "dn: mail=ann@new.example.net,dc=new,dc=example,dc=net\n"
              "mail: ann.alias@example.com\nmail: ann@new.example.net\n"
              "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 <Main> St\ncn: Ann Lee\n"
              "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n");
    // The first mail value is now the alias; the buttons above and below carry the primary address.
    EXPECT_EQ(Post({{"Command", "EditUser"}, {"Mail", renamed.mail}}).out, EditPage(renamed, alias));
    EXPECT_EQ(Update(renamed.mail, phoned).out, DetailsPage(phoned, alias, kUpdated));
    EXPECT_NE(Post({{"Command", "DeleteUser"}, {"Mail", renamed.mail}}).out.find(
                  "<input type=\"hidden\" name=\"Mail\" value=\"ann&#64;new.example.net\">"), std::string::npos);
    EXPECT_EQ(Post({{"Command", "VerifyDeleteUser"}, {"Mail", renamed.mail}}).out, kDeleted);
    EXPECT_EQ(Dir().Search("", "(mail=ann*)", "1.1"), "");
}

TEST(ChangeUser, DeleteConfirmsTheAddressAsReceivedAndDeletesOnlyTheEntry) {
    const std::string before = SeedAnnAndBob();
    const Fields confirm = {{"Command", "VerifyDeleteUser"}, {"Mail", "ANN@Example.com"}};
    ExpectPage(Post({{"Command", "DeleteUser"}, {"Mail", "ANN@Example.com"}}),
               Header("Delete User") + kTable + DetailTable(kAnn, true, kAnnAlias) + Footer() + kTable + "\t\t" +
               kForm + ">\n\t\t\t<table border=\"0\">\n\t\t\t<tr>\n\t\t\t\t<td>\n" + kGoBack +
               "\t\t\t\t</td>\n\t\t\t\t<td>\n"
               "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"VerifyDeleteUser\">\n"
               "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"ANN&#64;Example.com\">\n"
               "\t\t\t\t\t<input type=\"submit\" name=\"VerifyDeleteUser\" value=\"Confirm\">\n"
               "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table>\n\t\t</form>\n\t\t</td>\n"
               "\t\t<td valign=\"top\" align=\"right\" >\n\t\t<form>\n" + Help("\t\t\t", "deluser") +
               "\t\t</form>\n" + kClose + "</body>\n</html>\n");
    EXPECT_EQ(Entry(kAnnDn, kAnnAttrs), before);  // nothing deleted yet
    // Aliases and connectors go with the entry; domains and others stay.
    ExpectPage(Post(confirm), kDeleted);
    EXPECT_EQ(Dir().Search("", "(objectClass=*)", "1.1"),
              "dn: dc=com\n\ndn: dc=example,dc=com\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
    ExpectPage(Post(confirm), kCantFind);  // the user is gone when the confirmation comes a second time
}

}  // namespace
