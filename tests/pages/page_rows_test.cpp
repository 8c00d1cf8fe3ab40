// The pages as rows of tables run by one runner, against the sandbox
// directory, as the web server runs the program. A row is the request
// ("Command|Field=value|..."), the answer, the directory's change, and for a
// race what another tool stores meanwhile (see Row). The answer is "name" for
// the whole page tests/pages/expected/name.html, or "Title" followed by
// ">items" (see Items) and/or "|message" (in the result box or closing the
// page); empty, SIGTERM is sent during the race and no page is expected.
// The change lists the lines of Flat() that went ("-") and came ("+"); an
// entry deleted shows as "-DN" alone. Seeds are LDIF files under
// tests/pages/seeds/. After the tables, the cases a row cannot hold: a stalled
// server, the record limit, a rename, and the audit lines of a rename and of a
// build refused by another's lock (the other changes' lines are the directory
// test's, and the audited_changes check keeps every change on that audited
// path; a published build's are the alias table build test's, the forged
// requests' the hostile suite's, the quoting of values base/'s).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/config_folder.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/holding_relay.h"
#include "tests/support/log_lines.h"
#include "tests/support/page_check.h"
#include "tests/support/silent_server.h"

namespace {

using std::string;
using Lines = std::vector<string>;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

struct Row {
    string request, answer;
    Lines change = {};  // none: the directory as it was
    // A race: the answer to the `occurrence`-th request naming `marker` waits
    // while `race` (ldapmodify records) changes the directory past the page's
    // checks and past the unique overlay; without `race` it is lost, and the
    // page waits out its time limit ([Ldap] Timeout=1).
    string marker = "", race = "";
    int occurrence = 1;
};

string Entry(const string& dn, const string& attr = "*") { return Dir().Search(dn, "(objectClass=*)", attr); }

// Every entry ("DN") and value ("DN attribute: value") of the directory or of
// ldapsearch output, sorted; DNs without "mail=" and ",dc=example,dc=com".
Lines Flat(const string& entries = Entry("")) {
    Lines lines;
    std::istringstream in(Replaced(Replaced(entries, "dn: mail=", "dn: "), ",dc=example,dc=com\n", "\n"));
    string dn;
    for (string line; std::getline(in, line);) {
        if (line.rfind("dn:", 0) == 0)  // " " and base64 after "dn::"
            lines.push_back(dn = line.substr(4));
        else if (!line.empty())
            lines.push_back(dn + " " + line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

Lines Diff(const Lines& before, const Lines& after) {
    Lines gone, came, diff;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(came));
    string entry = "\n";
    for (const string& line : gone) {
        if (line.rfind(entry + " ", 0) == 0) continue;  // a value of an entry deleted
        if (line.find(": ") == string::npos) entry = line;
        diff.push_back("-" + line);
    }
    for (const string& line : came) diff.push_back("+" + line);
    std::sort(diff.begin(), diff.end());
    return diff;
}

// What a page lists, in order, ", " between: the last value of each link as
// it stands and each option of a select ("*" before the selected one); an
// item repeated right after itself once.
string Items(const string& page) {
    static const std::regex kItem("<a href=[^>]*=([^>]*)>|<option( selected)?[^>]*>([^<]*)");
    string items, last = "\n";
    for (std::sregex_iterator m(page.begin(), page.end(), kItem), end; m != end; ++m) {
        const string item = (*m)[1].matched ? (*m)[1].str() : ((*m)[2].matched ? "*" : "") + (*m)[3].str();
        if (item != last) items += (items.empty() ? "" : ", ") + item;
        last = item;
    }
    return items;
}

void ExpectAnswer(const ProcessResult& r, const string& answer) {
    static const std::regex kParts("([^|>]*)(>([^|]*))?(\\|([\\s\\S]*))?");
    std::smatch part;
    EXPECT_EQ(r.exitStatus, 0);
    ASSERT_TRUE(std::regex_match(answer, part, kParts)) << answer;
    if (!part[2].matched && !part[4].matched) {
        EXPECT_EQ(r.out, ExpectedPage(answer));
        return;
    }
    EXPECT_TRUE(Holds(r.out, "<title>" + part[1].str() + "</title>")) << r.out;
    if (part[2].matched) {
        EXPECT_FALSE(Holds(r.out, "<STRONG>Result")) << r.out;
        EXPECT_EQ(Items(r.out), part[3].str());
    }
    const string message = part[5];
    EXPECT_TRUE(!part[4].matched || Holds(r.out, "<CENTER>\n" + message + "</TD>") ||
                Holds(r.out, "<center>" + message + "\n</center>"))
        << r.out;
}

const char kChannels[] =
    "[Channels]\nSMTPC=enabled,connectors\nlocal=enabled, connectors\nDL=enabled,connectors\n"
    "BSMTPOUT=enabled,connectors\nFAX=enabled,connectors\nPAGER=connectors\nSMS=enabled\n"
    "X400=Connectors,Enabled\n";

ProcessResult Post(const string& request) { return PostForm(FormFields(request), Dir().ConfigDir()); }

// The page process that runs on this test's configuration folder; 0 for none.
int PageProcess() {
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(process.path() / "exe", error).filename() == "ldapcgi.cgi" &&
            Holds(ReadWholeFile(process.path() / "environ"), "XOMTA_CONFIG_DIR=" + Dir().ConfigDir() + '\0'))
            return std::stoi(process.path().filename());
    }
    return 0;
}

ProcessResult Raced(const Row& row, const string& config) {
    HoldingRelay relay(Dir().Port(), row.marker, row.occurrence);
    const string lost = row.race.empty() ? "Timeout=1\n" : "";
    EXPECT_TRUE(Dir().WriteConfig(config + "[Ldap]\nPort=" + std::to_string(relay.Port()) + "\n" + lost));
    auto page = std::async(std::launch::async, [&] { return Post(row.request); });
    EXPECT_TRUE(relay.WaitHolding());
    EXPECT_TRUE(row.race.empty() || Dir().Modify(row.race, true));
    const int pid = row.answer.empty() ? PageProcess() : 0;  // the browser gone meanwhile
    EXPECT_TRUE(row.answer.empty() == (pid > 0 && kill(pid, SIGTERM) == 0));
    if (lost.empty()) relay.Release();
    const ProcessResult r = page.get();
    EXPECT_TRUE(Dir().WriteConfig(config));
    return r;
}

// The rows run in order on the seed (after the example domain), each one's
// answer and change checked.
void RunRows(const string& seed, const std::vector<Row>& rows, const string& config = kChannels) {
    ASSERT_TRUE(Dir().Reset(kExampleDomainLdif + seed) && Dir().WriteConfig(config));
    Lines before = Flat();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request.substr(0, 150));
        const ProcessResult r = row.marker.empty() ? Post(row.request) : Raced(row, config);
        EXPECT_TRUE(!row.answer.empty() || r.exitStatus == 128 + SIGTERM);  // ended by SIGTERM: no page
        if (!row.answer.empty()) ExpectAnswer(r, row.answer);
        const Lines after = Flat();
        Lines change = row.change;
        std::sort(change.begin(), change.end());
        EXPECT_EQ(Diff(before, after), change);
        before = after;
    }
}

// The lines of an entry added.
Lines Added(const string& dn, const Lines& values) {
    Lines lines = {"+" + dn};
    for (const string& value : values) lines.push_back("+" + dn + " " + value);
    return lines;
}
Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

const string kAnn = "ann@example.com", kAnnDn = "mail=ann@example.com,dc=example,dc=com",
             kBobDn = "mail=bob@example.com,dc=example,dc=com";
// Their DNs as the pages print them.
const string kAnnHtml = "mail&#61;ann&#64;example.com&#44;dc&#61;example&#44;dc&#61;com",
             kBobHtml = "mail&#61;bob&#64;example.com&#44;dc&#61;example&#44;dc&#61;com",
             kQuoteHtml =
                 "mail&#61;q&#92;22&#32;&#92;3Cb&#92;3E&#64;example.com&#44;dc&#61;example&#44;dc&#61;com";

string NewUser(const string& first, const string& last, const string& tel, const string& address,
               const string& mail) {
    return "NewUser|FirstName=" + first + "|LastName=" + last + "|TelNo=" + tel + "|Address=" + address +
           "|Mail=" + mail + "|Submit=Create User";
}
string Update(const string& ndx, const string& first, const string& last, const string& tel,
              const string& address, const string& mail) {
    return "UpdateUser|FirstName=" + first + "|LastName=" + last + "|TelNo=" + tel + "|Address=" + address +
           "|Mail=" + mail + "|MailNdx=" + ndx;
}
// An ldapmodify record adding the value to Bob's entry.
string ToBob(const string& attribute, const string& value) {
    return "dn: " + kBobDn + "\nchangetype: modify\nadd: " + attribute + "\n" + attribute + ": " + value +
           "\n";
}
// A connector request on Cy's entry raced by `change` (ldapmodify's lines), which ends with `values`.
Row CyRaced(const string& request, const Lines& values, const string& change) {
    return {request, "View Connector>", values, "cy@example.com",
            "dn: mail=cy@example.com,dc=example,dc=com\nchangetype: modify\n" + change + "\n"};
}
// The request raced by `address` stored at Bob's entry (see Row).
Row BobGets(const string& request, const string& answer, const string& address, int occurrence) {
    return {request,   answer, {"+bob@example.com mail: " + address}, address, ToBob("mail", address),
            occurrence};
}
// The refusal of an address that another entry holds; `dn` names it.
string Held(const string& text, const string& dn) {
    return text + " already used by another entry with DN: <br>\"" + dn + "\"";
}

TEST(PageRows, UserPages) {
    const string n300(300, 'n'), overflow = "New User|Error: name or telephone field overflow",
                                 gone = "Update User|User cannot be updated, the entry has been deleted",
                                 cantFind = "Delete User|Cant find user,Delete User Operation Failed",
                                 created = "User Details|User created Succesfully", b = "bob@example.com ",
                                 eve = "eve@sub.example.org,dc=sub,dc=example,dc=org",
                                 lg = "long@example.com", updated = "User Details|Successfully Updated User";
    string crlf;  // 22 lines of 22 letters, "a" to "v"
    for (char c = 'a'; c < 'a' + 22; ++c) crlf += (crlf.empty() ? "" : "\r\n") + string(22, c);
    std::vector<Row> rows = {
        {"FindUser|Mail=ann@example.com", "user_details"},
        {"FindUser|Mail=ann.alias@example.com", "User Details|User (ann.alias&#64;example.com) not found"},
        {"FindUser|Mail=\xff@example.com", "User Details|User (&#255;&#64;example.com) not found"},
        {"NewUserMenu", "new_user"},
        {"EditUser|Mail=ann@example.com", "edit_user"},
        {"DeleteUser|Mail=ANN@Example.com", "delete_user"},  // the address as received
        {NewUser("A", "B", "", string(512, 'a'), "x@example.com"), "New User|Error: address field overflow"},
        {NewUser(n300, n300, "", "", "x@example.com"), overflow},
        {NewUser("", "", "1", "x", "x@example.com"), "New User|Incomplete data input"},
        {NewUser("A", "B", "", "", string(250, 'x') + "@example.com"), "New User|Invalid mail address"},
        // Another user's alias, in any letter case.
        {NewUser("A", "B", "", "", "BOB.alias@Example.COM"),
         Held("New User|Adding New User (BOB.alias&#64;Example.COM) Failed, the address is", kBobHtml)},
        {Update(kAnn, n300, n300, "", "", kAnn), "Update User|Error: name or telephone field overflow"},
        {Update(kAnn, "A", "B", "", "", "bob@example.com"),
         "Update User|Cannot Update entry, the new email address already exists."},
        {Update(kAnn, "A", "B", "", "", "Bob.Alias@example.com"),
         Held("Update User|Cannot Update entry, the new email address is", kBobHtml)},
        // A wildcard or an alias names no user.
        {Update("ann.alias@example.com", "A", "B", "", "", "x@example.com"), gone},
        // A rename onto the user's own alias that the server refuses keeps every value.
        {Update(kAnn, "Ann\xff", "B", "", "", "ann.alias@example.com"),
         "Update User|Could not add modified User"},
        // A letter-case-only change of the address is no rename.
        {Update(kAnn, "<b>Ann</b>", "Lee & Sons", "1 2", "1 \"Main\" St", "ANN@example.com"),
         "User Details|No changes"},
        // A further value typed: the others go (an unchanged first one keeps its place, a second sn
        // value goes too); then changed values replaced.
        {Update("bob@example.com", "Bob", "Brown", "555 2", "", "bob@example.com"),
         updated,
         {"-" + b + "telephoneNumber: +1 555", "-" + b + "sn: Second"}},
        {Update("bob@example.com", "Rob", "Brown", "+1 555", "", "bob@example.com"),
         "user_updated",
         {"-" + b + "firstname: Bob", "+" + b + "firstname: Rob", "-" + b + "telephoneNumber: 555 2",
          "+" + b + "telephoneNumber: +1 555", "-" + b + "cn: Bob Brown", "+" + b + "cn: Rob Brown"}},
        // The domains made top down; only one of the names; the longest address.
        {NewUser("Eve", "Adams", "+1 555", "1 <Main> St", "eve@sub.example.org"), created,
         Added("dc=org", {"dc: org", "objectClass: domain"}) +
             Added("dc=example,dc=org", {"dc: example", "objectClass: domain"}) +
             Added("dc=sub,dc=example,dc=org", {"dc: sub", "objectClass: domain"}) +
             Added(eve, {"objectClass: xoperson", "mail: eve@sub.example.org", "firstname: Eve", "sn: Adams",
                         "cn: Eve Adams", "telephoneNumber: +1 555", "streetaddress: 1 <Main> St"})},
        {NewUser("", "Solo", "", string(511, 'a'), "solo@example.com"), created,
         Added("solo@example.com", {"objectClass: xoperson", "mail: solo@example.com", "sn: Solo", "cn: Solo",
                                    "streetaddress: " + string(511, 'a')})},
        {"VerifyDeleteUser|Mail=*", cantFind},
        {"VerifyDeleteUser|Mail=CY@Example.com", "delete_user_done", {"-cy@example.com"}},
        {"VerifyDeleteUser|Mail=CY@Example.com", cantFind},
        // An address stored with LF line ends is not changed by the CRLF that the form sends.
        {Update("lf@example.com", "Lf", "Lines", "1", crlf, "lf@example.com"), "User Details|No changes"},
        // Nor are line breaks that the form's fields could not carry (the one-line field sent empty).
        {"EditUser|Mail=nl@example.com", "edit_user_line_breaks"},
        {Update("nl@example.com", "", "Lines", "", "\r\nFlat 2\r\nHigh St", "nl@example.com"),
         "User Details|No changes"},
        {Update("nl@example.com", "", "Lines2", "", "", "nl@example.com"),  // its common name too long
         "Update User|Error: name or telephone field overflow"},
        // Values too long to show: marked instead of failing the search, shown as such, kept by
        // an update (the form sends the marked fields empty), deleted with the user.
        {"ListUsers|LastName=Long", "user_list_too_long"},
        {"FindUser|Mail=long@example.com", "user_details_too_long"},
        {"EditUser|Mail=long@example.com", "edit_user_too_long"},
        {Update(lg, "", "Long", "2", "", lg),
         updated,
         {"-" + lg + " telephoneNumber: 1", "+" + lg + " telephoneNumber: 2"}},
        {Update(lg, "New", "Long", "2", "", lg),
         "Update User|Error: the First Name of this user is too long to be edited"},
        {"VerifyDeleteUser|Mail=long@example.com", "delete_user_done", {"-long@example.com"}},
        // An address stored elsewhere during a create or rename is never kept twice. Stored after
        // the first search: the directory refuses the add; past that guard while the add is under
        // way: the second search takes it back; the same for a rename.
        BobGets(NewUser("X", "Ray", "", "", "x1@example.com"),
                Held("New User|Adding New User (x1&#64;example.com) Failed, the address is", kBobHtml),
                "x1@example.com", 1),
        BobGets(NewUser("X", "Ray", "", "", "x2@example.com"),
                Held("New User|Adding New User (x2&#64;example.com) Failed, the address is", kBobHtml),
                "x2@example.com", 2),
        BobGets(Update(kAnn, "<b>Ann</b>", "Lee & Sons", "1 2", "1 \"Main\" St", "x3@example.com"),
                Held("Update User|Cannot Update entry, the new email address is", kBobHtml), "x3@example.com",
                3),
        // The same with the web server's SIGTERM (the browser gone) sent meanwhile: no page, the same end.
        BobGets(NewUser("X", "Ray", "", "", "x4@example.com"), "", "x4@example.com", 2),
        BobGets(Update(kAnn, "Ann", "", "", "", "x5@example.com"), "", "x5@example.com", 3),
        // Below the seeded dc=müller, a new entry's DN is spelled so; the entry of y@MÜLLER.DE is its own.
        {NewUser("", "Y", "", "", "y@M\xc3\x9cLLER.DE"), created,
         Added(" bWFpbD15QE3DnExMRVIuREUsZGM9bcO8bGxlcixkYz1kZQ==",
               {"objectClass: xoperson", "mail:: eUBNw5xMTEVSLkRF", "sn: Y", "cn: Y"})},
        {Update("y@M\xc3\x9cLLER.DE", "", "Y", "", "", "x2@M\xc3\x9cLLER.DE"), updated,
         Lines{"- bWFpbD15QE3DnExMRVIuREUsZGM9bcO8bGxlcixkYz1kZQ=="} +
             Added(" bWFpbD14MkBNw5xMTEVSLkRFLGRjPW3DvGxsZXIsZGM9ZGU=",
                   {"objectClass: xoperson", "mail:: eDJATcOcTExFUi5ERQ==", "sn: Y", "cn: Y"})},
    };
    // An update without all six fields is invalid and erases nothing.
    const Fields form = FormFields(Update(kAnn, "", "", "", "", kAnn));
    for (std::size_t absent = 1; absent <= 6; ++absent) {
        rows.push_back({"UpdateUser", "invalid_request"});
        for (std::size_t i = 1; i < form.size(); ++i)
            if (i != absent) rows.back().request += "|" + form[i].first + "=" + form[i].second;
    }
    RunRows(
        SeedFile("users") +
            "\ndn: dc=de\nobjectClass: domain\ndc: de\n\ndn: dc=m\xc3\xbcller,dc=de\nobjectClass: domain\n" +
            "dc: m\xc3\xbcller\n",
        rows);
}

TEST(PageRows, UserList) {
    const string seed = SeedFile("list");
    const string list = "User Listing>", anna = "anna2@example.com, anna@example.com", fits(1102, 'x'),
                 quote = "q%22%20%3cb%3e@example.com", tooLong = "User Listing|Error: search values too long";
    // Absent sn first; equal keys (Smith, smith) in reverse arrival; distribution lists on request.
    const std::vector<Row> rows = {
        {"ListUsers|FirstName=|LastName=|Mail=", "user_list"},
        {"ListUsers|Special=yes",
         list + "zed@example.com, A@Example.com, list@example.com, pat@example.com, " + quote + ", " + anna},
        {"ListUsers|Mail=b@example.com", list + "A@Example.com"},  // an alias value
        // Filter syntax in typed values is searched for, never spliced in.
        {"ListUsers|LastName=O(Brien)", list + "pat@example.com"},
        // A run of "*" is one wildcard.
        {"ListUsers|LastName=**", list + "A@Example.com, pat@example.com, " + quote + ", " + anna},
        {"ListUsers|FirstName=a**a|LastName=S***h", list + anna},
        // With the 96 fixed characters of the filter, 1200 is past the longest.
        {"ListUsers|LastName=" + fits + "xy", tooLong},
        {"ListUsers|FirstName=" + string(400, '('), tooLong},  // escapes count: 1200
        {"FindUser|Mail=a@example.com", "User Details>b@example.com"},
    };
    RunRows(seed, rows);
}

string Alias(const string& alias, const string& old = "") {
    return "UpdateAlias|Mail=ann@example.com|MailAlias=" + alias +
           (old.empty() ? "" : "|OldMailAlias=" + old);
}
string DeleteAlias(const string& alias) {
    return "ConfirmDeleteAlias|Mail=ann@example.com|MailAlias=" + alias;
}
string Duplicate(const string& alias, const string& dn) {
    return "Update Alias|Sorry, duplicated alias is not allowed.<br> The alias (" +
           Replaced(alias, "@", "&#64;") + ") has already been used by another user with DN: <br>\"" + dn +
           "\"";
}

TEST(PageRows, AliasPages) {
    const string noUser = "Update Alias|User not found, Mail Alias can not be updated",
                 pm = "+ann@example.com mail: ", mm = "-ann@example.com mail: ",
                 pastKey = "Update Alias|Sorry, an alias longer than 127 characters is not allowed.",
                 long511 = string(499, 'n') + "@example.com", details = "User Details|",
                 past127 = string(116, 'k') + "@example.com";  // 128: past the key
    const std::vector<Row> rows = {
        {"NewAlias|Mail=ann@example.com", "alias_new"},
        {"ViewAlias|Mail=bob@example.com|MailAlias=bob.alias@example.com", "alias_view"},
        {"EditAlias|Mail=ann@example.com|MailAlias=per%cent@example.com", "alias_edit"},
        {"DeleteAlias|Mail=ann@example.com|MailAlias=a&b@example.com", "alias_delete"},
        {"NewAlias|Mail=nobody@example.com", "New Alias|User not found, no Aliases can be displayed"},
        // Any entry holding the address, the user's own included.
        {Alias("ann.alias@example.com"), Duplicate("ann.alias@example.com", kAnnHtml)},
        {Alias("bob.alias@example.com"), Duplicate("bob.alias@example.com", kBobHtml)},
        {Alias("quoted@example.com"), Duplicate("quoted@example.com", kQuoteHtml)},
        {Alias("x@example.com", "bob.alias@example.com"), "Update Alias|Update Operation Failed"},
        {Alias("held@example.com"), "Update Alias|Update Operation Failed"},  // a failed duplicate search
        {Alias("x@example.com", "n" + long511), "Update Alias|Error: alias field overflow"},
        {Alias(past127), pastKey},
        {Alias(past127, "ann.alias@example.com"), pastKey},
        // Only the user whose primary address is Mail.
        {"UpdateAlias|Mail=ann.alias@example.com|MailAlias=x@example.com", noUser},
        {"UpdateAlias|Mail=*|MailAlias=x@example.com", noUser},
        {"ConfirmDeleteAlias|Mail=*|MailAlias=bob.alias@example.com", noUser},
        {DeleteAlias("bob.alias@example.com"), "Delete Alias|Delete Operation Failed"},
        {DeleteAlias("n" + long511), "Update Alias|Error: alias field overflow"},
        {Alias("new@example.com"), "alias_added", {pm + "new@example.com"}},
        {"UpdateAlias|Mail=ANN@Example.com|MailAlias=changed@example.com|OldMailAlias=new@example.com",
         details + "Changed Mail alias \"new&#64;example.com\" to \"changed&#64;example.com\" successfully",
         {mm + "new@example.com", pm + "changed@example.com"}},
        {DeleteAlias("per%cent@example.com"),
         details + "Mail Alias \"per&#37;cent&#64;example.com\" Deleted successfully",
         {mm + "per%cent@example.com"}},
        {DeleteAlias(""), "User Details>ann.alias@example.com, changed@example.com|Nothing to do!"},
        // A letter case of the own alias, outside ASCII too (LDIF: base64); of the primary address: refused.
        {Alias("\xc3\xa4nn@example.com"),
         details + "Added Mail alias \"&#228;nn&#64;example.com\" successfully",
         {"+ann@example.com mail:: w6RubkBleGFtcGxlLmNvbQ=="}},
        {Alias("\xc3\x84NN@example.com", "\xc3\xa4nn@example.com"),
         details +
             "Changed Mail alias \"&#228;nn&#64;example.com\" to \"&#196;NN&#64;example.com\" successfully",
         {"-ann@example.com mail:: w6RubkBleGFtcGxlLmNvbQ==",
          "+ann@example.com mail:: w4ROTkBleGFtcGxlLmNvbQ=="}},
        {Alias("ANN@example.com", "ann@example.com"), Duplicate("ANN@example.com", kAnnHtml)},
        // An alias stored elsewhere meanwhile: refused by the directory, or taken back.
        BobGets(Alias("x1@example.com"), Duplicate("x1@example.com", kBobHtml), "x1@example.com", 1),
        BobGets(Alias("x2@example.com"), Duplicate("x2@example.com", kBobHtml), "x2@example.com", 2),
        BobGets(Alias("x6@example.com"), "", "x6@example.com", 2),  // and ended by SIGTERM meanwhile
        {Alias("ANN.alias@example.com", "ann.alias@example.com"),   // the own alias's letter case
         details +
             "Changed Mail alias \"ann.alias&#64;example.com\" to \"ANN.alias&#64;example.com\" successfully",
         {mm + "ann.alias@example.com", pm + "ANN.alias@example.com"}},
        // A delete whose answer is lost keeps the title of the delete's failures.
        {DeleteAlias("ANN.alias@example.com"),
         "Delete Alias|The LDAP server did not answer: the alias may have been deleted",
         {mm + "ANN.alias@example.com"},
         "ANN.alias@"},
    };
    RunRows(SeedFile("users") + SeedFile("deep"), rows);
}

string Conn(const string& command, const string& value, const string& permission, const string& mail = kAnn) {
    return command + "|Mail=" + mail + "|Othermailbox=" + value + "|Permission=" + permission;
}
string Add(const string& channel, const string& identifier, const string& permission,
           const string& mail = kAnn) {
    return "AddChannel|Mail=" + mail + "|Channel=" + channel + "|Identifier=" + identifier +
           "|Permission=" + permission;
}
string Change(const string& value, const string& identifier, const string& permission,
              const string& mail = kAnn) {
    return "UpdateConn|Mail=" + mail + "|Othermailbox=" + value + "|Identifier=" + identifier +
           "|Permission=" + permission;
}
string Rule(const string& title, const string& channel, bool send) {
    return title + "|You are only allowed to select \"Send/Receive\"" + (send ? " or \"Send\"" : "") +
           " permission for \"" + channel + "\" connector. Please select again.";
}

// Bob's first connector of the channel ("1", permission Send), raced by the
// channel's permission value `stored` (see Row), which is the one that stays.
Row FirstConnector(const string& channel, const string& stored, const string& marker,
                   const string& answer = "View Connector>") {
    const string bob = "+bob@example.com ";
    return {Add(channel, "1", "Send", "bob@example.com"),
            answer,
            {bob + "othermailbox: " + channel + "$1", bob + "x-permission: " + channel + "$Send"},
            marker,
            ToBob("x-permission", channel + "$" + stored)};
}

TEST(PageRows, ConnectorPages) {
    const string markup = "X<i>$\"><script>",
                 po = "+ann@example.com othermailbox: ", mo = "-ann@example.com othermailbox: ",
                 px = "+ann@example.com x-permission: ", mx = "-ann@example.com x-permission: ",
                 longText = "|Error: connector value longer than 511 characters", create = "Create Connector",
                 edit = "Edit Connector Information>", update = "Update Connector", view = "View Connector>",
                 users = "List Users>", noUser = "|User not found, no channels can be displayed",
                 cy = "cy@example.com",
                 cyo = cy + " othermailbox: ", cyx = cy + " x-permission: ", bob = "bob@example.com";
    std::vector<Row> rows = {
        {"ViewConn|Mail=ann@example.com", "conn_list"},
        {"ViewConn|Mail=*", "conn_list_all"},  // every user's connectors, the first user in the user row
        {"ViewConn|Mail=ann.alias@example.com", "View Connector|User not found"},
        {Conn("ClickConn", markup, "<b>"), "conn_click"},
        {Conn("EditConn", "FAX$12 & 34% x", " "), "conn_edit"},  // no option selected
        {Conn("DeleteConn", markup, "<b>"), "conn_delete"},
        {Conn("EditConn", "SMTPC$john", " ", "nobody@example.com"), "Edit Connector Information" + noUser},
        // What the channel allows (its name in any letter case), selected in any letter case.
        {Conn("EditConn", "LOCAL$ann", "send"), edit + "*Send, Send/Receive"},
        {Conn("EditConn", "dl$x", "Send/Receive"), edit + "*Send/Receive"},
        // An identifier holding a line break, which a text field would lose, is kept; the value comes
        // back with CRLF, as a browser sends every line break.
        {Conn("EditConn", "X400$a\nb", "Send", "nl@example.com"), "conn_edit_line_break"},
        {Change("X400$a\r\nb", "", "Receive", "nl@example.com"),
         view,
         {"+nl@example.com x-permission: X400$Receive"}},
        {Conn("VerifyDeleteConn", "X400$a\r\nb", "Receive", "nl@example.com"),
         view,
         {"-nl@example.com othermailbox:: WDQwMCRhCmI=", "-nl@example.com x-permission: X400$Receive"}},
        // Only channels enabled and taking connectors, upper-cased, in file order.
        {"NewConn|Mail=ann@example.com", "conn_new"},
        {"ListConnMenu", "conn_menu"},
        {"ListConn|Channel=SMTPC|Identifier=*", users + "ann@example.com, cy@example.com"},
        // Filter characters are searched for, "*" kept as the wildcard.
        {"ListConn|Channel=X400|Identifier=x(y)\\z", users + cy},
        {"ListConn|Channel=X400|Identifier=*)(mail=*", users},
        {"ListConn|Channel=SMTPC)(|(mail=*|Identifier=*", users},
        // 46 characters besides the identifier: 1024 in all is past the longest filter.
        {"ListConn|Channel=SMTPC|Identifier=" + string(978, 'x'), "List Users|Error: search values too long"},
        // The permission is checked before the identifier, both before the directory.
        {Add("SMTPC", "", "Receive"), "conn_refused"},
        {Add("LOCAL", "x", "Receive"), Rule(create, "LOCAL", true)},
        {Add("smtpc", "john", ""), Rule(create, "SMTPC", false)},  // the offered channel's rule
        // A duplicate: letter case ignored.
        {Add("SMTPC", "JOHN", "Send/Receive"), "Create Connector|Channel already exist"},
        {Add("FAX", "x", "None", "*"), create + noUser},
        {Add("FAX", string(508, 'i'), "None"), create + longText},  // 4 + 508: one more than a value holds
        {Add("FAX", "x", string(508, 'p')),
         "Create Connector|Error: permission value longer than 511 characters"},
        {Add("FAX", "\xff\xfe", "None"), "Update Connector|Could not add a new channel"},  // no UTF-8
        {Change("LOCAL$ann", "ann", "Receive"), Rule(update, "LOCAL", true)},
        {Change("dl$cy", "cy", "Receive", cy), Rule(update, "DL", false)},
        {Change("FAX$12 & 34% x", "1", "None", "*"),
         "Update Connector|User not found, channel can not be updated"},
        // A connector the user does not hold: not even its permission is changed.
        {Change("FAX$gone", "gone", "Send"), "Update Connector|Update Operation Failed"},
        {Change("FAX$12 & 34% x", string(508, 'i'), "None"), update + longText},
        {Conn("VerifyDeleteConn", "SMTPC$john", "Send/Receive", "ann.alias@example.com"),
         "Update Connector|User not found, channel can not be deleted"},
        {Conn("VerifyDeleteConn", "SMTPC$gone", "Send/Receive"), "Update Connector|Delete Operation Failed"},
        // Unchanged, or a permission differing in letter case only: no modification.
        {Change("X400$ann", "ann", "receive"), view},
        {Add("SMTPC", "jo", "Send/Receive"), view, {po + "SMTPC$jo"}},  // a prefix
        // A further connector keeps the channel's stored permission, whatever the form chose.
        {Add("X400", "ann9", "None"), view, {po + "X400$ann9"}},
        // A channel without a permission value gets the chosen one, "None" included, as the select spells it.
        {Add("fax", "99", "None"), view, {po + "FAX$99", px + "FAX$None"}},
        // Letter case counts for the identifier: the old value goes, the new one comes.
        {Change("SMTPC$john", "John", "Send/Receive"), view, {mo + "SMTPC$john", po + "SMTPC$John"}},
        // An emptied identifier leaves the channel and "$".
        {Change("X400$ann", "", "Receive"), view, {mo + "X400$ann", po + "X400$"}},
        // The permission belongs to the channel: the stored value goes, whatever the form showed.
        {Change("LOCAL$ann2", "ann2", "Send/Receive"), view, {mx + "local$Send", px + "LOCAL$Send/Receive"}},
        {Change("X400$x(y)\\z", "x(y)\\z", "None", cy), view, {"+" + cy + " x-permission: X400$None"}},
        // One of two keeps the permission; the last takes it along.
        {Conn("VerifyDeleteConn", "LOCAL$ann2", "Send"), view, {mo + "LOCAL$ann2"}},
        {Conn("VerifyDeleteConn", "LOCAL$ann", "Send"), view, {mo + "LOCAL$ann", mx + "LOCAL$Send/Receive"}},
        // The permission the list showed is out of date: the stored one goes all the same.
        {Conn("VerifyDeleteConn", "SMTPC$a$b", "Send"), view, {mo + "SMTPC$a$b"}},
        {Conn("VerifyDeleteConn", "SMTPC$jo", "Send"), view, {mo + "SMTPC$jo"}},
        // A channel without permission: the list's blank names no value to delete.
        {Conn("VerifyDeleteConn", "DL$cy", " ", cy), view, {"-cy@example.com othermailbox: DL$cy"}},
        {Conn("VerifyDeleteConn", "smtpc$JOHN", ""), view, {mo + "SMTPC$John", mx + "SMTPC$Send/Receive"}},
        // A racer's permission value stored after the page's: the first one, shown by the pages, stays;
        // one stored before the page's check: the connector alone.
        FirstConnector("FAX", "None", "FAX$1"),
        FirstConnector("X400", "Send", "bob@example.com"),
        FirstConnector("LOCAL", "Send/Receive", "LOCAL$1", ""),  // and ended by SIGTERM meanwhile
        // Two values of one channel (a racer's): the one chosen stays, even when the first shown.
        {"ViewConn|Mail=" + bob,
         view,
         {"+" + bob + " x-permission: X400$None"},
         bob,
         ToBob("x-permission", "X400$None")},
        {Change("X400$1", "1", "Send", bob), view, {"-" + bob + " x-permission: X400$None"}},
        // Cy's channels changed by a racer after the page read them: one permission value while the
        // channel has connectors (a connector value too long to read counts), none once it has none.
        {Add("X400", "2", "Send", cy), view, {"+" + cyo + "X400$2"}},
        CyRaced(Conn("VerifyDeleteConn", "X400$2", "None", cy),
                {"-" + cyo + "X400$2", "-" + cyo + "X400$x(y)\\z", "-" + cyx + "X400$None"},
                "delete: othermailbox\nothermailbox: X400$x(y)\\z"),
        CyRaced(Add("SMTPC", "j2", "Send/Receive", cy), {"-" + cyo + "SMTPC$joanna", "+" + cyo + "SMTPC$j2"},
                "delete: othermailbox\nothermailbox: SMTPC$joanna\n-\ndelete: x-permission"),
        CyRaced(Conn("VerifyDeleteConn", "SMTPC$j2", "Send/Receive", cy),
                {"-" + cyo + "SMTPC$j2", "+" + cyo + "SMTPC$" + string(600, 'j')},
                "add: othermailbox\nothermailbox: SMTPC$" + string(600, 'j')),
        {Add("FAX", "c", "", cy), view, {"+" + cyo + "FAX$c"}},
        CyRaced(Change("FAX$c", "c", "Send", cy), {"+" + cyx + "FAX$Send"},
                "add: x-permission\nx-permission: FAX$"),
        // The long value is no FAX connector.
        {Conn("VerifyDeleteConn", "FAX$c", "Send", cy), view, {"-" + cyo + "FAX$c", "-" + cyx + "FAX$Send"}},
    };
    // A channel that no channel record could name ("A$B$x" would be channel A's connector "B$x"), and
    // one the select does not offer: unknown, stopped, without connectors.
    for (const string channel : {"A$B", "", "NINECHARS", "FA\nX", "BOGUS", "PAGER", "SMS"})
        rows.push_back({Add(channel, "x", "None"), "Create Connector|Invalid Channel value"});
    RunRows(SeedFile("users"), rows);
    string servers;  // a HostName failover list longer than one host name may be
    for (int i = 0; i < 30; ++i) servers += Dir().Uri() + " ";
    RunRows(SeedFile("users"), {{"NewConn|Mail=ann@example.com", "conn_new"}},
            kChannels + ("[Ldap]\nHostName=" + servers));
}

TEST(PageRows, DomainPages) {
    const string seed = SeedFile("domains");
    const string browse = "Browse Domain>", users = "User Listing>", top = "Browse Domain>com, org",
                 tooLong = "|Error: domain name too long";
    const std::vector<Row> rows = {
        {"BrowseDomainMenu", top},
        {"ViewSubDomain|Domain=com", "domain_browse"},
        // A label holding "." is browsed by the DN that the link carries.
        {"ViewSubDomain|Domain=dc=x.y,dc=com", browse + "dc%3dw,dc%3dx.y,dc%3dcom"},
        // One level only; a DN in capitals comes back in lower case.
        {"ViewSubDomain|Domain=EXAMPLE.com", browse + "sales.example.com, upper.example.com"},
        {"ViewSubDomain|Domain=a<b>&c.com", browse + "x.a%3cb%3e%26c.com"},  // the link leads on
        // A name of two values (cn=n+dc=m) or without dc= is browsed by the DN the link carries.
        {"ViewSubDomain|Domain=org", browse + "cn%3dx,dc%3dorg, cn%3dn%2bdc%3dm,dc%3dorg"},
        {"ViewUsersDomain|Domain=cn=n+dc=m,dc=org", users + "u@m.org"},
        {"ViewUsersDomain|Domain=cn=x,dc=org", users + "v@x.org"},
        // Longer than a domain name may be: refused, not browsed from the top.
        {"ViewSubDomain|Domain=" + string(256, 'a'), "Browse Domain" + tooLong},
        // Only the users right below, sorted by last name as stored ("<" before "L").
        {"ViewUsersDomain|Domain=example.com", users + "zed@example.com, ann@example.com"},
        {"ViewUsersDomain|Domain=sales.example.com", users + "carol@sales.example.com"},
        {"ViewUsersDomain|Domain=" + string(256, 'a'), "User Listing" + tooLong},
    };
    RunRows(seed, rows);
}

// A server that answers the bind and stays silent at the search: the table
// begun, then the connection message within the time limit, and a log line.
TEST(PageCases, AStalledSearchCutsTheTableWithinTheLimit) {
    SilentServer stalled(true);
    ASSERT_TRUE(stalled.Port() > 0 && Dir().ClearLog() &&
                Dir().WriteConfig("[Ldap]\nPort=" + std::to_string(stalled.Port()) + "\nTimeout=1\n"));
    ProcessResult r;
    const double seconds = SecondsTaken([&] { r = Post("ListUsers|Mail=*"); });
    EXPECT_TRUE(Holds(Post("ViewUsersDomain|Domain=com").out, "Error connecting to LDAP server</TD>"));
    ASSERT_TRUE(Dir().WriteConfig());
    EXPECT_EQ(r.out, ExpectedPage("user_list_cut"));
    EXPECT_TRUE(seconds >= 0.9 && seconds < 4) << seconds << " s";
    EXPECT_TRUE(Holds(Dir().ReadLog(), "The search for the user table failed: Timed out (-5)"))
        << Dir().ReadLog();
}

TEST(PageCases, TheRecordLimitCutsTheUserList) {
    string many, ten;  // the first ten to arrive, listed in reverse arrival as their keys are equal
    for (int i = 0; i < 50; ++i) {
        const string m = "user" + std::to_string(i) + "@example.com";
        many += "dn: mail=" + m + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + m + "\nsn: M\n\n";
        if (i < 10) ten = m + (i ? ", " : "") + ten;
    }
    RunRows(many, {{"ListUsers|LastName=M", "User Listing>" + ten}}, "[Ldap]\nRecordLimit=10\n");
}

TEST(PageCases, ARenameCarriesAliasesAndConnectors) {
    const string mail = "ann@new.example.net", dn = "mail=ann@new.example.net,dc=new,dc=example,dc=net";
    ASSERT_TRUE(Dir().Reset(kExampleDomainLdif + SeedFile("users")));
    const string values = Entry(kAnnDn);
    EXPECT_TRUE(
        Holds(Post(Update(kAnn, "<b>Ann</b>", "Lee & Sons", "1 2", "1 \"Main\" St", mail)).out, "Updated"));
    EXPECT_EQ(Entry(kAnnDn, "1.1"), "");
    EXPECT_EQ(Flat(Entry(dn)),
              Flat(Replaced(Replaced(values, kAnnDn, dn), "mail: " + kAnn, "mail: " + mail)));
    EXPECT_EQ(Post("EditUser|Mail=" + mail).out, ExpectedPage("edit_user_renamed"));
    EXPECT_TRUE(
        Holds(Post(Update(mail, "A", "B", "", "", "per%cent@example.com")).out, "Successfully Updated User"));
    EXPECT_EQ(Entry("mail=per%cent@example.com,dc=example,dc=com", "mail"),
              "dn: mail=per%cent@example.com,dc=example,dc=com\nmail: ann.alias@example.com\n"
              "mail: per%cent@example.com\n\n");
}

// The requester, command, operation, names and result of each line, whole;
// never the bind password. The build goes to a queue folder inside the
// configuration folder.
TEST(PageCases, ARenameAndABuildRefusedByAnothersLockAreAudited) {
    const string queue = Dir().ConfigDir() + "/audit-queue", ok = " result=0 (Success)",
                 who = "audit: user=\"admin\" address=\"192.0.2.7\" command=",
                 lee = "\"mail=lee@example.com,dc=example,dc=com\"",
                 leo = "\"mail=leo@example.com,dc=example,dc=com\"";
    std::error_code ignored;
    std::filesystem::remove_all(queue, ignored);  // a repeated run's
    ASSERT_TRUE(mkdir(queue.c_str(), 0755) == 0 && mkdir((queue + "/AliasTables").c_str(), 0770) == 0);
    ASSERT_TRUE(Dir().WriteConfig("[Gateway]\nQueueDirectory=" + queue + "\n") &&
                Dir().Reset(kExampleDomainLdif + string("dn: mail=lee@example.com,dc=example,dc=com\n") +
                            "objectClass: xoperson\nmail: lee@example.com\nfirstname: Lee\nsn: Stone\n"));
    const Environment requester = {
        {"REMOTE_USER", "admin"}, {"REMOTE_ADDR", "192.0.2.7"}, {"XOMTA_CONFIG_DIR", Dir().ConfigDir()}};
    const int lock = open((queue + "/AliasTables/build.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_TRUE(lock >= 0 && flock(lock, LOCK_EX) == 0 && Dir().ClearLog());
    RunCgiPost(FormBody(FormFields(Update("lee@example.com", "", "Stone", "", "", "leo@example.com"))),
               requester);
    RunCgiPost("Command=BuildAliasTable", requester);
    close(lock);
    EXPECT_EQ(
        LogTexts(Dir().ReadLog(), "4"),
        (Lines{who + "\"UpdateUser\" rename " + lee + " to " + leo + ok,
               who + "\"UpdateUser\" modify " + leo + " -firstname=\"Lee\" +cn=\"Stone\"" + ok,
               who + "\"BuildAliasTable\" alias-table-build result=not-published (Another Mail Alias Table "
                     "build is in progress, Alias Table not built)"}));
    EXPECT_EQ(Dir().ReadLog().find(Dir().RootPassword()), string::npos);
}

}  // namespace
