// The user pages run as the web server runs the program, against the seeded
// sandbox directory: whole pages, the directory after each change, and the
// refusals with the directory left unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "html/page_frame.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/silent_server.h"
#include "tests/support/user_page_texts.h"

namespace {
using namespace pagetexts;
using namespace usertexts;
using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

string ValidationScript() {  // the frame's e-mail check, taken from the frame itself
    testing::internal::CaptureStdout();
    PrintEmailValidationScript("Mail");
    return fflush(stdout), testing::internal::GetCapturedStdout();
}

ProcessResult Post(const Fields& fields) { return PostFields(fields, Dir().ConfigDir()); }
ProcessResult Cmd(const string& cmd, const string& m) { return Post({{"Command", cmd}, {"Mail", m}}); }
ProcessResult Get(const string& query) { return RunCgiGet(query, {{"XOMTA_CONFIG_DIR", Dir().ConfigDir()}}); }
void ExpectPage(const ProcessResult& r, const string& page, const string& trace = "", int status = 0) {
    EXPECT_EQ(r.exitStatus, status) << trace;
    EXPECT_EQ(r.out, page) << trace;
}

bool Reset(const string& ldif) {
    return Dir().Reset(
        "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
        "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" +
        ldif);
}
string UserLdif(const string& m, const string& rest) {
    return "dn: mail=" + m + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + m + "\n" + rest + "\n";
}
string Entry(const string& dn, const string& attrs) { return Dir().Search(dn, "(objectClass=*)", attrs); }
// An entry's lines in order, for comparisons where the server may reorder values.
string SortedLines(const string& text) {
    std::vector<string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
    }
    std::sort(lines.begin(), lines.end());
    string sorted;
    for (const string& line : lines) sorted += line + "\n";
    return sorted;
}
string ReplaceAll(string text, const string& from, const string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}
string State() { return Dir().Search("", "(objectClass=*)", "*"); }  // every entry and value

// Pieces the pages share.
const string kForm = "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\"";
const string kCheckedForm = kForm + " onSubmit=\"return formvalidation(this)\" >\n";
const string kTable = "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n";
const string kClose = "\t\t</td>\n\t</tr>\n</table>\n";
const char *kCreated = "User created Succesfully", *kUpdated = "Successfully Updated User";

string EditPage(const Person& p, const string& aliases) {
    return Header("Edit User") + ValidationScript() + kCheckedForm + kTable + DetailTable(p, false, aliases) +
           Footer() + BarStart("") + GoBackCell(false) +
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"" +
           Encode(p.mail) +
           "\">\n"
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateUser\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"UpdateUser\" value=\"Update\">\n\t\t\t\t</td>\n" +
           ResetCell() + BarEnd("align=right", false, "edituser") + kClose + "</form>\n</body>\n</html>\n";
}

string ListPage(const string& rows) { return Header("User Listing") + UserTable(rows) + PageEnd(); }
ProcessResult List(const string& query) { return Get("Command=ListUsers&" + query); }

TEST(ListUsers, FiltersSortOrderEscapingAndOverlongFilter) {
    // Arrival order is the order of this text.
    ASSERT_TRUE(Reset(UserLdif("anna@example.com", "firstname: Anna\nsn: Smith\ntelephoneNumber: 111\n") +
                      UserLdif("zed@example.com", "firstname: Zed\n") +
                      UserLdif("anna2@example.com", "firstname: anna\nsn: smith\ntelephoneNumber: 222\n") +
                      UserLdif("pat@example.com", "firstname: Pat\nsn: O(Brien)\n") +
                      UserLdif("list@example.com", "objectClass: xolistowner\nfirstname: Dist\nsn: List\n") +
                      // Primary address from the DN, though the first mail value is another.
                      "dn: mail=a@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: b@example.com\n"
                      "mail: a@example.com\nfirstname: Al\nsn: Adams\n\n"
                      // Written by another tool: quotes and angle brackets in the address.
                      "dn: mail=q\\22 \\3Cb\\3E@example.com,dc=example,dc=com\nobjectClass: xoperson\n"
                      "mail: q\" <b>@example.com\nsn: Quote\n\n"));
    const string zed = ListRow("Zed", "", "", "zed@example.com"),
                 al = ListRow("Al", "Adams", "", "a@example.com"),
                 pat = ListRow("Pat", "O(Brien)", "", "pat@example.com"),
                 anna = ListRow("Anna", "Smith", "111", "anna@example.com"),
                 quote = ListRow("", "Quote", "", "q\" <b>@example.com", "q%22%20%3cb%3e@example.com"),
                 anna2 = ListRow("anna", "smith", "222", "anna2@example.com"),
                 dist = ListRow("Dist", "List", "", "list@example.com");
    // Absent sn first; equal keys (Smith, smith) in reverse arrival; distribution lists on request.
    const Fields cases = {
        {"FirstName=&LastName=&Mail=", zed + al + pat + quote + anna2 + anna},
        {"Special=yes", zed + al + dist + pat + quote + anna2 + anna},
        {"FirstName=ANNA&LastName=*&Mail=*", anna2 + anna},
        {"LastName=Sm*", anna2 + anna},
        {"FirstName=anna&LastName=smith&Mail=anna2*", anna2},
        {"Mail=b%40example.com", al},  // an alias value; the row shows the primary address
        // Filter syntax in typed values is searched for, never spliced in.
        {"LastName=O(Brien)", pat},
        {"LastName=O(Br*", pat},
        {"LastName=x%29%28sn%3d*", ""},
        {"LastName=%5c2a", ""},
        {"LastName=**", al + pat + quote + anna2 + anna},  // "**" is one wildcard, as "*"
        {"FirstName=a**a&LastName=S***h", anna2 + anna},
    };
    for (const auto& c : cases) ExpectPage(List(c.first), ListPage(c.second), c.first);
    // With the 96 fixed characters of the filter, 1199 in all (1102 + "*") is the longest that fits.
    const string fits(1102, 'x'), refused = ResultPage("User Listing", "Error: search values too long");
    EXPECT_EQ(List("LastName=" + fits + "*").out, ListPage(""));
    ExpectPage(List("LastName=" + fits + "xy"), refused);
    EXPECT_EQ(List("FirstName=" + string(400, '(')).out, refused);  // escapes count: 1200
}

TEST(Configuration, RecordLimitCutsTheListAClosedPortFails) {
    string many, ten, fifty;
    for (int i = 0; i < 50; ++i) {
        const string mail = "user" + std::to_string(i) + "@example.com";
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
    ProcessResult list = List("Mail=*"), confirm = Cmd("DeleteUser", "a@example.com");
    ASSERT_TRUE(Dir().WriteConfig());
    ExpectPage(list, ResultPage("User Listing", "Error connecting to LDAP port on server"));
    ExpectPage(confirm, ResultPage("Delete User", "Error connecting to LDAP port on server"), "", 1);
}

// A server that takes the connection and stays silent, at the bind or (answerBind)
// at the search: the connection message after the time limit, and a log line.
TEST(Configuration, StalledServerGivesTheConnectionMessageWithinTheLimit) {
    const string message = "Error connecting to LDAP port on server", table = ListPage("");
    const string cutTable = table.substr(0, table.size() - PageEnd().size()) + ResultBox(message) + PageEnd();
    struct Case {
        bool answerBind;
        string command, page, logged;
    };
    const Case cases[] = {
        {false, "ListUsers", ResultPage("User Listing", message),
         "LDAP bind as \"cn=root\" failed: Timed out"},
        {false, "FindUser", ResultPage("User Details", message),
         "LDAP bind as \"cn=root\" failed: Timed out"},
        {true, "ListUsers", cutTable, "The search for the user table failed: Timed out (-5)"},
    };
    for (const Case& c : cases) {
        SilentServer stalled(c.answerBind);
        ASSERT_TRUE(stalled.Port() > 0 && Dir().ClearLog() &&
                    Dir().WriteConfig("[Ldap]\nPort=" + std::to_string(stalled.Port()) + "\nTimeout=1\n"));
        ProcessResult r;
        double seconds = SecondsTaken([&] { r = Cmd(c.command, "a@example.com"); });
        ASSERT_TRUE(Dir().WriteConfig());
        ExpectPage(r, c.page, c.command);
        EXPECT_TRUE(seconds >= 0.9 && seconds < 4) << c.command << " took " << seconds << " s";
        EXPECT_NE(Dir().ReadLog().find(c.logged), string::npos) << Dir().ReadLog();
    }
}

TEST(UserDetails, AliasesByLetterCaseEscapingAndNotFound) {
    // The DN's capitals: the lower-case mail value is no alias.
    ASSERT_TRUE(
        Reset("dn: mail=Ann@Example.com,dc=example,dc=com\nobjectClass: xoperson\n"
              "mail: ann@example.com\nmail: ann.alias@example.com\nmail: x+y@example.com\n"
              "firstname: <script>alert(1)</script>\nsn: Lee & Sons\ntelephoneNumber: 1 2\n"
              "streetaddress: 1 \"Main\" St\ncn: x\n\n"));
    const Person p = {"<script>alert(1)</script>", "Lee & Sons", "1 2", "1 \"Main\" St", "Ann@Example.com"};
    const string aliases =
        AliasRow(p.mail, "ann.alias@example.com") + AliasRow(p.mail, "x+y@example.com", "x%2by@example.com");
    auto notFound = [](const string& m) { return ResultPage("User Details", "User (" + m + ") not found"); };
    const Fields cases = {
        {"ann@example.com", DetailsPage(p, aliases, nullptr)},
        {"ANN@EXAMPLE.COM", DetailsPage(p, aliases, nullptr)},
        {"nobody@example.com", notFound("nobody&#64;example.com")},
        {"ann.alias@example.com", notFound("ann.alias&#64;example.com")},
    };
    for (const auto& c : cases) ExpectPage(Cmd("FindUser", c.first), c.second, c.first);
}

// A wildcard names one user: the one-user pages ask the server for one entry,
// so their memory stays that of a plain address however many users there are.
TEST(UserDetails, AWildcardLoadsOneUserOfThousands) {
    string many;
    for (int i = 0; i < 3000; ++i)
        many += UserLdif("user" + std::to_string(i) + "@example.com",
                         "streetaddress: " + string(400, 's') + "\n");
    ASSERT_TRUE(Reset(UserLdif("a@example.com", "sn: A\n")) && Dir().Load(many));
    const long plain = Cmd("EditUser", "a@example.com").peakKb;
    for (const char* command : {"EditUser", "ViewConn", "NewAlias"})
        EXPECT_LT(Cmd(command, "*").peakKb, plain + 4096) << command << " against " << plain << " kB";
    ASSERT_TRUE(Reset(""));
}

ProcessResult Create(const Person& p) {
    return Post({{"Command", "NewUser"},
                 {"FirstName", p.first},
                 {"LastName", p.last},
                 {"TelNo", p.tel},
                 {"Address", p.address},
                 {"Mail", p.mail},
                 {"Submit", "Create User"}});
}

TEST(NewUser, FormRefusalsAndCreationWithMissingDomainsTopDown) {
    auto row = [](const string& label, const string& field) {
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               "</td>\n\t\t\t\t<td>" + field + "</td>\n\t\t\t</tr>\n";
    };
    ExpectPage(Get("Command=NewUserMenu"),
               Header("New User") + ValidationScript() + kCheckedForm +
                   "<input type=\"hidden\" name=\"Command\" value=\"NewUser\">\n" + kTable +
                   "\t\t\t<center>\n<table border=\"1\">\n" +
                   row("First Name :", "<input type=\"text\" name=\"FirstName\">") +
                   row("Last Name :", "<input type=\"text\" name=\"LastName\">") +
                   row("Telephone Number :", "<input type=\"text\" name=\"TelNo\">") +
                   row("Address :", "<textarea name=\"Address\" rows=\"4\" ></textarea>") +
                   row("Mail", "<input type=\"text\" name=\"Mail\" >") + "\t\t\t</table></center>\n" +
                   Footer() + BarStart("valign=top") +
                   "\t\t\t\t<td>\n\t\t\t\t\t<input type=\"submit\" name=\"Submit\" value=\"Create User\">\n"
                   "\t\t\t\t</td>\n" +
                   ResetCell() + BarEnd("align=right", false, "newuser") + kClose +
                   "</form>\n</body>\n</html>\n");

    ASSERT_TRUE(Reset(UserLdif("old@example.com", "firstname: Old\nsn: Timer\n")));
    const string before = State(), n300(300, 'n'), overflow = "Error: name or telephone field overflow";
    const std::vector<std::pair<Person, string>> refusals = {
        {{"Long", "Road", "", string(512, 'a'), "long@example.com"}, "Error: address field overflow"},
        {{n300, n300, "", "", "names@example.com"}, overflow},
        {{"A", "B", string(512, '1'), "", "names@example.com"}, overflow},
        {{"A", "B", "", "", ""}, "Incomplete data input"},
        {{"", "", "1", "x", "ab@example.com"}, "Incomplete data input"},
        {{"A", "B", "", "", "a b@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", "a@b@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", string(250, 'x') + "@example.com"}, "Invalid mail address"},
        {{"A", "B", "", "", "old@example.com"}, "Adding New User (old&#64;example.com) Failed"},
    };
    for (const auto& r : refusals)
        ExpectPage(Create(r.first), ResultPage("New User", r.second), r.first.mail);
    EXPECT_EQ(State(), before);

    // Only one of the names; the longest address.
    const Person eve = {"Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"},
                 uno = {"Uno", "", "", "", "uno@example.com"},
                 solo = {"", "Solo", "", "", "solo@example.com"},
                 road = {"Long", "Road", "", string(511, 'a'), "long@example.com"};
    for (const Person& p : {eve, uno, solo, road})
        ExpectPage(Create(p), DetailsPage(p, "", kCreated), p.mail);
    // The server takes no entry before its parent: all three domains are there.
    EXPECT_EQ(Dir().Search("dc=org", "(objectClass=domain)", "dc"),
              "dn: dc=org\ndc: org\n\n"
              "dn: dc=example,dc=org\ndc: example\n\ndn: dc=sub,dc=example,dc=org\ndc: sub\n\n");
    EXPECT_EQ(Dir().Search("", "(&(objectClass=xoperson)(!(mail=old*)))",
                           "cn sn firstname streetaddress "
                           "telephoneNumber mail"),
              "dn: mail=eve@sub.example.org,dc=sub,dc=example,dc=org\ncn: Eve Adams\nfirstname: Eve\n"
              "streetaddress: 1 <Main> St\ntelephoneNumber: +1 555\nsn: Adams\nmail: eve@sub.example.org\n\n"
              "dn: mail=uno@example.com,dc=example,dc=com\ncn:: VW5vIA==\nfirstname: Uno\n"
              "mail: uno@example.com\n\n"
              "dn: mail=solo@example.com,dc=example,dc=com\ncn: Solo\nsn: Solo\nmail: solo@example.com\n\n"
              "dn: mail=long@example.com,dc=example,dc=com\ncn: Long Road\nfirstname: Long\n"
              "streetaddress: " +
                  road.address + "\nsn: Road\nmail: long@example.com\n\n");  // cn "Uno "
}

ProcessResult Update(const string& ndx, const Person& p) {  // ndx: the address the user had
    return Post({{"FirstName", p.first},
                 {"LastName", p.last},
                 {"TelNo", p.tel},
                 {"Address", p.address},
                 {"Mail", p.mail},
                 {"MailNdx", ndx},
                 {"Command", "UpdateUser"},
                 {"UpdateUser", "Update"}});
}
Person Ann(const string& mail, const string& tel = "123") { return {"Ann", "Lee", tel, "1 <Main> St", mail}; }
const string kAnnMail = "ann@example.com", kAnnAlias = AliasRow(kAnnMail, "ann.alias@example.com");
const string kCantFind = ResultPage("Delete User", "Cant find user,Delete User Operation Failed");

// Ann, with an alias and a connector, and Bob with two sn values; the directory as seeded.
string SeedAnnAndBob() {
    EXPECT_TRUE(Reset(UserLdif(kAnnMail,
                               "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\n"
                               "streetaddress: 1 <Main> St\ncn: Ann Lee\n"
                               "mail: ann.alias@example.com\n"
                               "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n") +
                      UserLdif("bob@example.com", "firstname: Bob\nsn: Brown\nsn: Second\ncn: Bob Brown\n")));
    return State();
}

TEST(ChangeUser, EditFormRefusalsAndTheModifyPath) {
    const string before = SeedAnnAndBob(), n300(300, 'n');
    ExpectPage(Get("Command=EditUser&Mail=ann%40example.com"), EditPage(Ann(kAnnMail), kAnnAlias));
    auto refused = [](const string& message) { return ResultPage("Update User", message); };
    const string gone = refused("User cannot be updated, the entry has been deleted");
    const std::vector<std::pair<ProcessResult, string>> runs = {
        {Get("Command=EditUser&Mail=nobody%40example.com"),
         Header("Edit User") + ValidationScript() + ResultBox("User not found") + PageEnd()},
        {Update(kAnnMail, {"Ann", "Lee", "123", string(512, 'a'), kAnnMail}),
         refused("Error: address field overflow")},
        {Update(kAnnMail, {n300, n300, "", "", kAnnMail}),
         refused("Error: name or telephone field overflow")},
        {Update(kAnnMail, Ann("bad address")), refused("Invalid mail address")},
        {Update(kAnnMail, Ann("bob@example.com")),
         refused("Cannot Update entry, the new email address already exists.")},
        {Update("gone@example.com", Ann("gone@example.com")), gone},
        // A rename onto the user's own alias that the server refuses keeps every mail value.
        {Update(kAnnMail, {"Ann\xff", "Lee", "123", "1 <Main> St", "ann.alias@example.com"}),
         refused("Could not add modified User")},
        // A wildcard or an alias names no user.
        {Update("*", {"X", "Y", "", "", "someone@example.com"}), gone},
        {Update("ann.alias@example.com", {"X", "Y", "", "", "ann.alias@example.com"}), gone},
        {Cmd("DeleteUser", "nobody@example.com"), ResultPage("Delete User", "User not found")},
        {Cmd("VerifyDeleteUser", "ann.alias@example.com"), kCantFind},
        {Cmd("VerifyDeleteUser", "*"), kCantFind},
        {Post({{"Command", "VerifyDeleteUser"}}), kCantFind},
        // A letter-case-only change is no rename: the DN keeps its letter case.
        {Update(kAnnMail, Ann(kAnnMail)), DetailsPage(Ann(kAnnMail), kAnnAlias, "No changes")},
        {Update(kAnnMail, Ann("ANN@example.com")), DetailsPage(Ann(kAnnMail), kAnnAlias, "No changes")},
    };
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectPage(runs[i].first, runs[i].second, "run " + std::to_string(i));
    EXPECT_EQ(SortedLines(State()), SortedLines(before));  // a rename taken back may reorder values
    // Changed values are replaced; a second sn value goes.
    const Person rob = {"Rob", "Brown", "9", "", "bob@example.com"};
    ExpectPage(Update(rob.mail, rob), DetailsPage(rob, "", kUpdated));
    EXPECT_EQ(Entry("mail=bob@example.com,dc=example,dc=com", "firstname sn telephoneNumber cn"),
              "dn: mail=bob@example.com,dc=example,dc=com\nsn: Brown\nfirstname: Rob\ntelephoneNumber: 9\n"
              "cn: Rob Brown\n\n");
    // An address stored with LF line ends comes back with CRLF (22 lines, 505 bytes: 526): unchanged.
    string lf;
    for (char c = 'a'; c < 'a' + 22; ++c) lf += (lf.empty() ? "" : "\n") + string(22, c);
    const Person lines = {"Lf", "Lines", "1", lf, "lf@example.com"},
                 crlf = {"Lf", "Lines", "1", ReplaceAll(lf, "\n", "\r\n"), lines.mail};
    ASSERT_EQ(Create(lines).exitStatus, 0);
    const string stored = Entry("mail=lf@example.com,dc=example,dc=com", "*");
    EXPECT_NE(Update(lines.mail, crlf).out.find("No changes"), string::npos);
    EXPECT_EQ(Entry("mail=lf@example.com,dc=example,dc=com", "*"), stored);
    // A rename onto the user's own alias is no clash.
    const Person onAlias = Ann("ann.alias@example.com");
    ExpectPage(Update(kAnnMail, onAlias), DetailsPage(onAlias, "", kUpdated));
    EXPECT_EQ(Entry("mail=ann.alias@example.com,dc=example,dc=com", "mail"),
              "dn: mail=ann.alias@example.com,dc=example,dc=com\nmail: ann.alias@example.com\n\n");
}

TEST(ChangeUser, RenameCarriesAliasesAndConnectorsAndIsReachableFromItsOwnPages) {
    SeedAnnAndBob();
    const string mail = "ann@new.example.net", alias = AliasRow(mail, "ann.alias@example.com");
    ExpectPage(Update(kAnnMail, Ann(mail)), DetailsPage(Ann(mail), alias, kUpdated));
    EXPECT_EQ(Dir().Search("", "(mail=ann@example.com)", "1.1"), "");
    EXPECT_EQ(Entry("mail=ann@new.example.net,dc=new,dc=example,dc=net", "*"),
              "dn: mail=ann@new.example.net,dc=new,dc=example,dc=net\nobjectClass: xoperson\n"
              "mail: ann.alias@example.com\nmail: ann@new.example.net\n"
              "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\nstreetaddress: 1 <Main> St\ncn: Ann Lee\n"
              "othermailbox: SMTP$ann@remote.net\nx-permission: SMTP$Send\n\n");
    // The first mail value is now the alias; the buttons above and below carry the primary address.
    EXPECT_EQ(Cmd("EditUser", mail).out, EditPage(Ann(mail), alias));
    EXPECT_EQ(Update(mail, Ann(mail, "999")).out, DetailsPage(Ann(mail, "999"), alias, kUpdated));
    EXPECT_NE(Cmd("DeleteUser", mail)
                  .out.find("<input type=\"hidden\" name=\"Mail\" value=\"ann&#64;new.example.net\">"),
              string::npos);
    EXPECT_EQ(Cmd("VerifyDeleteUser", mail).out,
              Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
    EXPECT_EQ(Dir().Search("", "(mail=ann*)", "1.1"), "");
}

TEST(ChangeUser, DeleteConfirmsTheAddressAsReceivedAndDeletesOnlyTheEntry) {
    const string before = SeedAnnAndBob();
    ExpectPage(Cmd("DeleteUser", "ANN@Example.com"),
               Header("Delete User") + kTable + DetailTable(Ann(kAnnMail), true, kAnnAlias) + Footer() +
                   kTable + "\t\t" + kForm + ">\n\t\t\t<table border=\"0\">\n\t\t\t<tr>\n" +
                   GoBackCell(false) +
                   "\t\t\t\t<td>\n"
                   "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"VerifyDeleteUser\">\n"
                   "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"ANN&#64;Example.com\">\n"
                   "\t\t\t\t\t<input type=\"submit\" name=\"VerifyDeleteUser\" value=\"Confirm\">\n"
                   "\t\t\t\t</td>\n\t\t\t</tr>\n\t\t\t</table>\n\t\t</form>\n\t\t</td>\n"
                   "\t\t<td valign=\"top\" align=\"right\" >\n\t\t<form>\n" +
                   Help("\t\t\t", "deluser") + "\t\t</form>\n" + kClose + kClose + "</body>\n</html>\n");
    EXPECT_EQ(State(), before);  // nothing deleted yet
    // Aliases and connectors go with the entry; domains and others stay.
    ExpectPage(Cmd("VerifyDeleteUser", "ANN@Example.com"),
               Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
    EXPECT_EQ(Dir().Search("", "(objectClass=*)", "1.1"),
              "dn: dc=com\n\ndn: dc=example,dc=com\n\ndn: mail=bob@example.com,dc=example,dc=com\n\n");
    ExpectPage(Cmd("VerifyDeleteUser", "ANN@Example.com"), kCantFind);  // the user is gone by the second time
}

const string kInvalid = ResultPage("Internal error", "Invalid CGI values!");

TEST(ChangeUser, AnUpdateWithoutAllSixFieldsIsInvalidAndErasesNothing) {
    const string before = SeedAnnAndBob();
    const Fields form = {{"FirstName", ""},        {"LastName", ""},   {"TelNo", ""},
                         {"Address", ""},          {"Mail", kAnnMail}, {"MailNdx", kAnnMail},
                         {"Command", "UpdateUser"}};
    for (std::size_t absent = 0; absent < 6; ++absent) {
        Fields sent = form;
        sent.erase(sent.begin() + static_cast<long>(absent));
        ExpectPage(Post(sent), kInvalid, form[absent].first);
    }
    ExpectPage(Post({{"MailNdx", kAnnMail}, {"Mail", kAnnMail}, {"Command", "UpdateUser"}}), kInvalid);
    EXPECT_EQ(State(), before);
}

// The refusals when another entry holds the address; `dn` names it.
string HeldOnCreate(const string& mail, const string& dn) {
    return ResultPage("New User",
                      "Adding New User (" + Encode(mail) +
                          ") Failed, the address is already used by another entry with DN: <br>\"" +
                          Encode(dn) + "\"");
}
string HeldOnRename(const string& dn) {
    return ResultPage(
        "Update User",
        "Cannot Update entry, the new email address is already used by another entry with DN: <br>\"" +
            Encode(dn) + "\"");
}
const string kJonesDn = "mail=bob.jones@example.com,dc=example,dc=com";

// Ann and Bob Jones, whose alias is bob@example.com.
string SeedAnnAndJones() {
    EXPECT_TRUE(Reset(UserLdif(kAnnMail,
                               "firstname: Ann\nsn: Lee\ntelephoneNumber: 123\n"
                               "streetaddress: 1 <Main> St\ncn: Ann Lee\nmail: ann.alias@example.com\n") +
                      UserLdif("bob.jones@example.com", "sn: Jones\nmail: bob@example.com\n")));
    return State();
}

TEST(NewUser, AnAddressThatIsAnotherUsersAliasIsRefusedOnCreateAndRename) {
    const string before = SeedAnnAndJones();
    for (const string mail : {"bob@example.com", "BOB@Example.COM"})
        ExpectPage(Create({"Bob", "Smith", "", "", mail}), HeldOnCreate(mail, kJonesDn), mail);
    ExpectPage(Create({"Ann", "Other", "", "", "ann.alias@example.com"}),
               HeldOnCreate("ann.alias@example.com", "mail=ann@example.com,dc=example,dc=com"));
    ExpectPage(Create({"Ann", "Again", "", "", kAnnMail}),
               ResultPage("New User", "Adding New User (ann&#64;example.com) Failed"));
    ExpectPage(Update(kAnnMail, Ann("bob@example.com")), HeldOnRename(kJonesDn));
    ExpectPage(Update(kAnnMail, Ann("Bob@example.com")), HeldOnRename(kJonesDn));
    EXPECT_EQ(State(), before);
}

// The answer to the `occurrence`-th request naming `marker` waits while `race` changes the
// directory past the pages' checks; returns the page that `request` then gets.
ProcessResult Raced(const string& marker, int occurrence, const std::function<ProcessResult()>& request,
                    const std::function<void()>& race) {
    HoldingRelay relay(Dir().Port(), marker, occurrence);
    EXPECT_TRUE(Dir().WriteConfig("[Ldap]\nPort=" + std::to_string(relay.Port()) + "\n"));
    auto page = std::async(std::launch::async, request);
    EXPECT_TRUE(relay.WaitHolding());
    race();
    relay.Release();
    ProcessResult result = page.get();
    EXPECT_TRUE(Dir().WriteConfig());
    return result;
}

string AddAlias(const string& dn, const string& alias) {
    return "dn: " + dn + "\nchangetype: modify\nadd: mail\nmail: " + alias + "\n";
}

TEST(NewUser, AnAddressStoredElsewhereWhileTheUserIsCreatedIsNeverKeptTwice) {
    const string mail = "x@example.com", ownDn = "mail=x@example.com,dc=example,dc=com";
    const Person x = {"X", "Ray", "", "", mail};
    // Stored after the first search: the directory's uniqueness guard refuses the add.
    SeedAnnAndJones();
    ExpectPage(
        Raced(
            mail, 1, [&] { return Create(x); }, [&] { ASSERT_TRUE(Dir().Modify(AddAlias(kJonesDn, mail))); }),
        HeldOnCreate(mail, kJonesDn));
    EXPECT_EQ(Dir().Search("", "(mail=" + mail + ")", "1.1"), "dn: " + kJonesDn + "\n\n");
    // Stored past that guard while the add is under way: the second search takes the user back.
    const string before = SeedAnnAndJones();
    ExpectPage(Raced(
                   mail, 2, [&] { return Create(x); },
                   [&] { ASSERT_TRUE(Dir().Modify(AddAlias(kJonesDn, mail), true)); }),
               HeldOnCreate(mail, kJonesDn));
    EXPECT_EQ(Dir().Search("", "(mail=" + mail + ")", "1.1"), "dn: " + kJonesDn + "\n\n");
    EXPECT_EQ(Entry(ownDn, "1.1"), "");
    // A rename likewise: Ann keeps her address and her alias.
    SeedAnnAndJones();
    const string annBefore = Entry("mail=ann@example.com,dc=example,dc=com", "*");
    ExpectPage(Raced(
                   mail, 3, [&] { return Update(kAnnMail, Ann(mail)); },
                   [&] { ASSERT_TRUE(Dir().Modify(AddAlias(kJonesDn, mail), true)); }),
               HeldOnRename(kJonesDn));
    EXPECT_EQ(SortedLines(Entry("mail=ann@example.com,dc=example,dc=com", "*")), SortedLines(annBefore));
    EXPECT_EQ(Entry(ownDn, "1.1"), "");
}

TEST(ChangeUser, AUserWithValuesTooLongToShowIsFoundMarkedKeptAndDeleted) {
    const string first(600, 'F'), street(700, 'S'), alias(600, 'a'), mail = "long@example.com";
    const string dn = "mail=long@example.com,dc=example,dc=com";
    ASSERT_TRUE(Reset(UserLdif(
        mail, "firstname: " + first + "\nsn: Long\ntelephoneNumber: 1\nstreetaddress: " + street + "\ncn: " +
                  first + " Long\nmail: " + alias + "@example.com\n" + "mail: l.alias@example.com\n")));
    const string values = Entry(dn, "*");
    const Person shown = {kTooLong, "Long", "1", kTooLong, mail};
    const string aliases =
        "\t\t\t<tr>\n<td>" + kTooLongMark + "</td>\n\t\t\t<tr>\n" + AliasRow(mail, "l.alias@example.com");
    EXPECT_NE(List("LastName=Long").out.find(first), string::npos);  // listed whole, as before
    ExpectPage(Cmd("FindUser", mail), DetailsPage(shown, aliases, nullptr));
    ExpectPage(Cmd("EditUser", mail), EditPage(shown, aliases));
    // The form sends the marked fields empty: they stay; the others change.
    const Person edited = {"", "Long", "2", "", mail}, now = {kTooLong, "Long", "2", kTooLong, mail};
    ExpectPage(Update(mail, edited), DetailsPage(now, aliases, kUpdated));
    EXPECT_EQ(Entry(dn, "firstname streetaddress cn telephoneNumber"),
              "dn: " + dn + "\nfirstname: " + first + "\nstreetaddress: " + street + "\ncn: " + first +
                  " Long\ntelephoneNumber: 2\n\n");
    const string kept = Entry(dn, "*");
    const std::pair<Person, string> refusals[] = {
        {{"New", "Long", "2", "", mail}, "Error: the First Name of this user is too long to be edited"},
        {{"", "Long", "2", "1 Road", mail}, "Error: the Address of this user is too long to be edited"},
    };
    for (const auto& r : refusals)
        ExpectPage(Update(mail, r.first), ResultPage("Update User", r.second), r.second);
    EXPECT_EQ(Entry(dn, "*"), kept);
    EXPECT_NE(kept, values);
    // A rename moves every value, those too long to show included.
    const string dn2 = "mail=long2@example.com,dc=example,dc=com";
    const Person renamed = {kTooLong, "Long", "2", kTooLong, "long2@example.com"};
    const string aliases2 = "\t\t\t<tr>\n<td>" + kTooLongMark + "</td>\n\t\t\t<tr>\n" +
                            AliasRow("long2@example.com", "l.alias@example.com");
    ExpectPage(Update(mail, {"", "Long", "2", "", "long2@example.com"}),
               DetailsPage(renamed, aliases2, kUpdated));
    EXPECT_EQ(Entry(dn, "1.1"), "");
    EXPECT_EQ(SortedLines(Entry(dn2, "*")),
              SortedLines(ReplaceAll(
                  ReplaceAll(kept, "mail: long@example.com\n", "mail: long2@example.com\n"), dn, dn2)));
    ExpectPage(Update("long2@example.com", {"", "Long", "2", "", mail}), DetailsPage(now, aliases, kUpdated));
    EXPECT_NE(Cmd("DeleteUser", mail).out.find(DetailTable(now, true, aliases)), string::npos);
    ExpectPage(Cmd("VerifyDeleteUser", mail),
               Header("Delete User") + ResultBox("Successfully Deleted User") + "</body>\n</html>\n");
    EXPECT_EQ(Entry(dn, "1.1"), "");
}

}  // namespace
