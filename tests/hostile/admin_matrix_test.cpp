// The administrators of [Administrators] in XOMTA.INI over every command of
// the command table: the global login "admin" (*), the domain login "anna"
// (example.com), a login the section does not name and no login, each with
// the command's working request on an object inside anna's domains and on
// its mirror in the foreign domain farland.museum; then one row per further
// case. tests/hostile/admin_seed.ldif adds the foreign domain, a subdomain,
// a look-alike domain and entries that other tools placed where the program
// would not to the hostile seed. A page is compared whole with
// the page that the same request gets where the answer is known: without the
// section (as before it), or from the global login in a directory that holds
// only anna's users (all that anna may see). Anna's pages never show a string
// of an entry outside her domains that her request did not carry; every
// audit line names the login; the directory is read after every request.
#include <gtest/gtest.h>

#include <regex>

#include "tests/hostile/hostile_cases.h"
#include "tests/support/log_lines.h"

namespace {

constexpr int kLanes = 2;  // directory servers, each serving one request at a time
const string kGlobal = "admin", kDomain = "anna", kOwn = "example.com", kForeign = "farland.museum";
const string kOutsideMessage = "\nThe address is outside the domains you manage</TD>";

// What a cell's answer must be; but for kSame, the directory stays as it was.
enum Expect {
    kSame,     // the page and the change of the same request without the section
    kGhost,    // the global login's page where only anna's users exist
    kRefused,  // the invalid-request page and one audit line "refused (not an administrator)"
    kOutside,  // the page titled `text`, refusing the address
    kHidden,   // a page that shows nothing outside anna's domains
    kNamed,    // a page that holds `text`
};

// A request: `query` is "Command|Field=value|..." (FormFields), sent from
// `login`; `scope`, anna's domains in the INI; `ldap`, keys of [Ldap].
struct Cell {
    string what, query;
    Expect expect;
    string text = "", scope = kOwn, ldap = "", login = kDomain;
};

struct Answer {
    ProcessResult result;
    Dump after;
    string log;
};

// Every command from every login on an object inside and outside anna's domains, then the rows.
std::vector<Cell> Cells() {
    std::vector<Cell> cells;
    for (const CommandModel& m : Commands()) {
        string inside = m.command, outside = m.command;
        for (const SentField& f : m.fields) {
            string value = f.value;  // its mirror in the foreign domain
            if (Holds(value, kOwn) && !(m.command == "UpdateAlias" && f.name == "MailAlias"))
                value.replace(value.find(kOwn), kOwn.size(), kForeign);
            if (m.command == "ViewSubDomain") value = "museum";
            inside += "|" + f.name + "=" + f.value;
            outside += "|" + f.name + "=" + value;
        }
        const bool table = m.command == "AliasTable" || m.command == "BuildAliasTable";
        const bool browser = m.command == "BrowseDomainMenu" || m.command == "ViewSubDomain";
        const bool list =
            m.command == "ListUsers" || m.command == "ListConn" || m.command == "ViewUsersDomain";
        for (const bool in : {true, false}) {
            if (!in && outside == inside) break;
            const string where = m.command + (in ? " inside, " : " outside, ");
            const Expect domain = table                           ? kRefused
                                  : browser                       ? kHidden
                                  : m.command == "NewUser" && !in ? kOutside
                                  : list || !in                   ? kGhost
                                                                  : kSame;
            const string& query = in ? inside : outside;
            cells.push_back({where + "global login", query, kSame, "", kOwn, "", kGlobal});
            cells.push_back({where + "domain login", query, domain, domain == kOutside ? "New User" : ""});
            cells.push_back({where + "unknown login", query, kRefused, "", kOwn, "", "stranger"});
            cells.push_back({where + "no login", query, kRefused, "", kOwn, "", ""});
        }
    }
    const string kNames = "FirstName=Nia|LastName=New|TelNo=1|Address=Road 2|";
    const string kCreate = "NewUser|Submit=Create User|" + kNames + "Mail=",
                 kUpdate = "UpdateUser|" + kNames + "MailNdx=", kPages = "[Ldap]\nPageSize=2\n";
    const Cell rows[] = {
        {"subdomain user", "EditUser|Mail=sam@sales.example.com", kSame},
        {"new user in a new subdomain", kCreate + "nia@new.sales.example.com", kSame},
        {"first user where only an entry under a foreign address lies", "FindUser|Mail=*", kHidden, "",
         "stray.farland.museum"},
        {"users of a look-alike domain", "ViewUsersDomain|Domain=badexample.com", kGhost},
        {"foreign domain by its DN", "ViewSubDomain|Domain=dc=farland,dc=museum", kHidden},
        {"new user onto a foreign user's alias", kCreate + "quentin@example.com", kHidden},
        {"address in capitals", "FindUser|Mail=ANN@EXAMPLE.COM", kSame},
        {"rename out of the domains", kUpdate + "ann@example.com|Mail=ann@farland.museum", kOutside,
         "Update User"},
        {"rename onto a foreign user's alias", kUpdate + "ann@example.com|Mail=quentin@example.com", kNamed,
         "Cannot Update entry, the new email address already exists."},
        {"rename onto an own user's alias", kUpdate + "bob@example.com|Mail=ann.alias@example.com", kSame},
        {"alias in a foreign domain", "UpdateAlias|Mail=ann@example.com|MailAlias=zed@farland.museum",
         kOutside, "Update Alias"},
        {"alias held by a foreign user", "UpdateAlias|Mail=ann@example.com|MailAlias=quentin@example.com",
         kNamed,
         "Sorry, duplicated alias is not allowed.<br> The alias (quentin&#64;example.com) is already in use."},
        {"alias held by an own user", "UpdateAlias|Mail=bob@example.com|MailAlias=ann.alias@example.com",
         kSame},
        {"own user's alias in a foreign domain deleted",
         "ConfirmDeleteAlias|Mail=sam@sales.example.com|MailAlias=sam@elsewhere.org", kOutside,
         "Update Alias"},
        {"own user's alias in a foreign domain replaced",
         "UpdateAlias|Mail=sam@sales.example.com|MailAlias=s@example.com|OldMailAlias=sam@elsewhere.org",
         kOutside, "Update Alias"},
        {"user holding a foreign domain's alias deleted", "VerifyDeleteUser|Mail=sam@sales.example.com",
         kOutside, "Delete User"},
        {"a channel only misplaced entries use", "ListConn|Channel=LOCAL|Identifier=*", kGhost},
        {"list by address", "ListUsers|Mail=*", kGhost},
        {"list in sorted pages", "ListUsers|Mail=*example*", kGhost, "", kOwn, kPages},
        {"connector's users in pages", "ListConn|Channel=SMTP|Identifier=*", kGhost, "", kOwn, kPages},
    };
    cells.insert(cells.end(), std::begin(rows), std::end(rows));
    return cells;
}

// Sends the cell's request from `login`, with the section when `section`;
// reads the directory (when `read`) and puts it back as seeded after a change.
Answer Ask(Lane& lane, const Cell& c, const string& login, bool section, bool read = true) {
    const string admins = "[Administrators]\n" + kGlobal + "=*\n" + kDomain + "=" + c.scope + "\n";
    EXPECT_TRUE(lane.Configure(c.ldap + (section ? admins : "")) && lane.server.ClearLog());
    Environment headers = kOwnPage;
    headers["REMOTE_USER"] = login;
    SentFields fields;
    for (const auto& [name, value] : FormFields(c.query)) fields.push_back({name, value});
    Answer answer{Send(lane, {nullptr, c.what, fields}, headers), {}, lane.server.ReadLog()};
    const bool changed = read && lane.Read(&answer.after) && answer.after != lane.seed;
    EXPECT_TRUE(!changed || lane.Restore());
    return answer;
}

// A text as a reader of the page sees it: character references, %XX and
// a DN's \XX decoded, in lower case, without blanks.
string Plain(const string& text) {
    string out;
    auto put = [&](unsigned c) {
        if (!isspace(c)) out += static_cast<char>(tolower(c));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned c = 0;
        int used = 0;
        if (text[i] == '&' && sscanf(text.c_str() + i, "&#%u;%n", &c, &used) == 1 && used > 0)
            put(c), i += used - 1;
        else if ((text[i] == '%' || text[i] == '\\') && i + 2 < text.size() && isxdigit(text[i + 1]) &&
                 isxdigit(text[i + 2]))
            put(std::stoul(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            put(static_cast<unsigned char>(text[i]));
    }
    return out;
}

// Whether an entry is anna's: at or below dc=example,dc=com and, for a user,
// with an address of her domains in its DN.
bool Own(const string& dn) {
    static const std::regex own(R"((mail=[^,]*[@.]example\.com,|(?!mail=))([^,]*,)*dc=example,dc=com)");
    return std::regex_match(dn, own);
}

// What no page of anna's may show: the DNs, domain names and values of the
// entries outside her domains that no entry inside them holds.
std::vector<string> ForeignStrings(const Dump& seed) {
    std::set<string> strings;
    string own;
    for (const auto& [dn, attr, value] : seed) {
        if (Own(dn)) own += Plain(value) + "\n";
        if (Own(dn) || dn == "dc=com" || attr == "objectclass") continue;
        strings.insert({Plain(dn), Plain(value)});
        if (attr != "dc") continue;
        strings.insert(Replaced(Plain(dn).substr(3), ",dc=", "."));  // dc=a,dc=b as a.b
    }
    std::vector<string> foreign;
    for (const string& s : strings)
        if (own.find(s) == string::npos) foreign.push_back(s);
    return foreign;
}

string Faults(const Cell& c, const Answer& a, const Answer& reference, const Dump& seed,
              const std::vector<string>& foreign) {
    const ProcessResult &got = a.result, &want = reference.result;
    string faults = PageShapeFaults(got.out) + SanitizerFaults(got.err);
    if ((c.expect == kSame || c.expect == kGhost) &&
        (got.out != want.out || got.exitStatus != want.exitStatus))
        faults += string(c.expect == kSame ? "not the page without the section; "
                                           : "not the page of anna's users; ");
    if (c.expect == kRefused && got.out != ExpectedPage("invalid_request"))
        faults += "not the invalid-request page; ";
    const int refusals = CountLogLines(a.log, "refused (not an administrator)");
    if (refusals != (c.expect == kRefused))
        faults += "refusal audit lines: " + std::to_string(refusals) + "; ";
    const string who = "audit: user=" + (c.login.empty() ? "-" : "\"" + c.login + "\"");
    if (CountLogLines(a.log, "audit: ") != CountLogLines(a.log, who))
        faults += "an audit line without the login; ";
    if (c.expect == kOutside &&
        !(Holds(got.out, "<title>" + c.text + "</title>") && Holds(got.out, kOutsideMessage)))
        faults += "not the refusal of the address on the page " + c.text + "; ";
    if (c.expect == kNamed && !Holds(got.out, c.text)) faults += "no " + c.text + "; ";
    const Dump& expected = c.expect == kSame ? reference.after : seed;
    if (a.after != expected) faults += "directory:\n" + Difference(expected, a.after);
    string sent, page = Plain(got.out);
    for (const auto& [name, value] : FormFields(c.query)) sent += Plain(value) + "\n";
    for (const string& s : foreign)
        if (c.login == kDomain && !Holds(sent, s) && Holds(page, s)) faults += "shows \"" + s + "\"; ";
    return faults;
}

TEST(AdminMatrix, EveryCommandFromEveryLoginReachesOnlyItsDomains) {
    const std::vector<Cell> cells = Cells();
    Lane lanes[kLanes];
    for (Lane& lane : lanes) {
        lane.extraLdif = "\n" + ReadWholeFile(SourcePath("tests/hostile/admin_seed.ldif"));
        ASSERT_TRUE(lane.Open());
    }
    std::vector<Answer> answers(cells.size()), references(cells.size());
    Share(kLanes, cells.size(), [&](int lane, std::size_t i) {
        answers[i] = Ask(lanes[lane], cells[i], cells[i].login, true);
        if (cells[i].expect == kSame) references[i] = Ask(lanes[lane], cells[i], kGlobal, false);
    });
    // Then the directory holds only anna's users: what the global login sees there, anna sees everywhere.
    const Dump& seed = lanes[0].seed;
    string deletes;
    for (const auto& [dn, attr, value] : seed)
        if (!Own(dn) && attr == "objectclass" && value == "xoperson")
            deletes += "dn: " + dn + "\nchangetype: delete\n\n";
    for (Lane& lane : lanes) ASSERT_TRUE(lane.server.Modify(deletes));
    Share(kLanes, cells.size(), [&](int lane, std::size_t i) {
        if (cells[i].expect == kGhost) references[i] = Ask(lanes[lane], cells[i], kGlobal, true, false);
    });
    const std::vector<string> foreign = ForeignStrings(seed);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const string faults = Faults(cells[i], answers[i], references[i], seed, foreign);
        if (!faults.empty()) ADD_FAILURE() << cells[i].what << " (" << cells[i].query << "): " << faults;
    }
}

}  // namespace
