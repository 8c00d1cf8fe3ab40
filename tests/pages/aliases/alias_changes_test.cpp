// The alias changes run as the web server runs the program, against the
// sandbox directory: add, replace and delete with the details page they end
// on and the mail values afterwards; every refusal with the directory left as
// it was; and two requests racing to give one alias to two users.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"
#include "tests/support/user_page_texts.h"

namespace {
using namespace pagetexts;
using namespace usertexts;
using std::string;
DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

ProcessResult Post(const Fields& fields) { return PostFields(fields, Dir().ConfigDir()); }
string State() { return Dir().Search("", "(objectClass=*)", "*"); }
string MailValues(const string& dn) { return Dir().Search(dn, "(objectClass=*)", "mail"); }

// An absent field is left out of the request.
const char* const kAbsent = nullptr;
ProcessResult Update(const string& mail, const char* alias, const char* oldAlias = kAbsent) {
    Fields fields = {{"Command", "UpdateAlias"}, {"Mail", mail}};
    if (alias != kAbsent) fields.push_back({"MailAlias", alias});
    if (oldAlias != kAbsent) fields.push_back({"OldMailAlias", oldAlias});
    return Post(fields);
}
ProcessResult Delete(const string& mail, const char* alias) {
    Fields fields = {{"Command", "ConfirmDeleteAlias"}, {"Mail", mail}};
    if (alias != kAbsent) fields.push_back({"MailAlias", alias});
    return Post(fields);
}

string Refused(const string& message) { return ResultPage("Update Alias", message); }
string Duplicate(const string& alias, const string& dn) {
    return Refused("Sorry, duplicated alias is not allowed.<br> The alias (" + Encode(alias) +
                   ") has already been used by another user with DN: <br>\"" + Encode(dn) + "\"");
}

const string kAnn = "ann@example.com", kAnnDn = "mail=ann@example.com,dc=example,dc=com";
const string kBobDn = "mail=bob@example.com,dc=example,dc=com";
// Written by another tool: quotes and angle brackets in the primary address.
const string kQuoteDn = "mail=q\\22 \\3Cb\\3E@example.com,dc=example,dc=com";
const Person kAnnPerson = {"Ann", "Lee", "", "", kAnn};

string UserLdif(const string& dn, const string& mails, const string& rest = "") {
    return "dn: " + dn + "\nobjectClass: xoperson\n" + mails + rest + "\n";
}
bool Seed(const string& more = "") {
    return Dir().Reset(
        "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
        "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" +
        UserLdif(kAnnDn,
                 "mail: ann@example.com\nmail: ann.alias@example.com\n"
                 "mail: per%cent@example.com\n",
                 "firstname: Ann\nsn: Lee\n") +
        UserLdif(kBobDn, "mail: bob@example.com\nmail: bob.alias@example.com\n", "sn: Brown\n") +
        UserLdif(kQuoteDn, "mail: q\" <b>@example.com\nmail: quoted@example.com\n") + more);
}
string AnnAliases(const std::vector<string>& aliases) {
    string rows;
    for (const string& alias : aliases) {
        string link;
        for (char c : alias) link += c == '%' ? "%25" : c == '&' ? "%26" : string(1, c);
        rows += AliasRow(kAnn, alias, link);
    }
    return rows;
}
string AnnMails(const std::vector<string>& aliases) {
    string text = "dn: " + kAnnDn + "\n";
    for (const string& alias : aliases) text += "mail: " + alias + "\n";
    return text + "\n";
}

TEST(AliasChanges, AddReplaceAndDeleteEndOnTheDetailsPage) {
    ASSERT_TRUE(Seed());
    struct Step {
        ProcessResult run;
        std::vector<string> aliases;  // Ann's aliases afterwards, in the directory's order
        string message;
    };
    // Each run is made when the table is built, in order.
    const std::vector<Step> steps = {
        {Update(kAnn, "new@example.com"),
         {"ann.alias@example.com", "per%cent@example.com", "new@example.com"},
         "Added Mail alias \"new&#64;example.com\" successfully"},
        {Update(kAnn, "a&b@example.com", ""),  // an empty old alias names none: an add
         {"ann.alias@example.com", "per%cent@example.com", "new@example.com", "a&b@example.com"},
         "Added Mail alias \"a&#38;b&#64;example.com\" successfully"},
        {Update("ANN@Example.com", "changed@example.com", "new@example.com"),
         {"ann.alias@example.com", "per%cent@example.com", "a&b@example.com", "changed@example.com"},
         "Changed Mail alias \"new&#64;example.com\" to \"changed&#64;example.com\" successfully"},
        {Delete(kAnn, "per%cent@example.com"),  // "%" sent as its literal text
         {"ann.alias@example.com", "a&b@example.com", "changed@example.com"},
         "Mail Alias \"per&#37;cent&#64;example.com\" Deleted successfully"},
        {Delete(kAnn, "A&B@example.com"),
         {"ann.alias@example.com", "changed@example.com"},
         "Mail Alias \"A&#38;B&#64;example.com\" Deleted successfully"},
        {Delete(kAnn, kAbsent), {"ann.alias@example.com", "changed@example.com"}, "Nothing to do!"},
        {Delete(kAnn, ""), {"ann.alias@example.com", "changed@example.com"}, "Nothing to do!"},
        {Update(kAnn, "ANN.alias@example.com", "ann.alias@example.com"),  // the own alias's letter case
         {"changed@example.com", "ANN.alias@example.com"},
         "Changed Mail alias \"ann.alias&#64;example.com\" to \"ANN.alias&#64;example.com\" successfully"},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        EXPECT_EQ(s.run.exitStatus, 0) << "step " << i;
        EXPECT_EQ(s.run.out, DetailsPage(kAnnPerson, AnnAliases(s.aliases), s.message.c_str()))
            << "step " << i;
    }
    std::vector<string> last = {kAnn};
    for (const string& alias : steps.back().aliases) last.push_back(alias);
    EXPECT_EQ(MailValues(kAnnDn), AnnMails(last));
    EXPECT_EQ(MailValues(kBobDn),
              "dn: " + kBobDn + "\nmail: bob@example.com\nmail: bob.alias@example.com\n\n");
}

TEST(AliasChanges, RefusalsLeaveTheDirectoryAsItWas) {
    ASSERT_TRUE(Seed());
    const string before = State(), n511(499, 'n'), long511 = n511 + "@example.com", long512 = "n" + long511;
    const string past127 = string(116, 'k') + "@example.com";  // 128: past the alias table's key
    ASSERT_EQ(long511.size(), 511u);
    const string noUser = "User not found, Mail Alias can not be updated";
    const string pastKey = "Sorry, an alias longer than 127 characters is not allowed.";
    struct Case {
        const char* name;
        ProcessResult run;
        string page;
    };
    const std::vector<Case> cases = {
        // The duplicate rule: any entry holding the address, the user's own included.
        {"own alias", Update(kAnn, "ann.alias@example.com"), Duplicate("ann.alias@example.com", kAnnDn)},
        {"own primary", Update(kAnn, "ANN@example.com"), Duplicate("ANN@example.com", kAnnDn)},
        {"other's alias", Update(kAnn, "bob.alias@example.com"), Duplicate("bob.alias@example.com", kBobDn)},
        {"other's primary", Update(kAnn, "bob@example.com"), Duplicate("bob@example.com", kBobDn)},
        {"unchanged edit", Update(kAnn, "ann.alias@example.com", "ann.alias@example.com"),
         Duplicate("ann.alias@example.com", kAnnDn)},
        {"markup in the holder's DN", Update(kAnn, "quoted@example.com"),
         Duplicate("quoted@example.com", kQuoteDn)},
        // Replacements the directory refuses as a whole.
        {"old alias not held", Update(kAnn, "fresh@example.com", "bob.alias@example.com"),
         Refused("Update Operation Failed")},
        {"old alias the primary", Update(kAnn, "fresh@example.com", "ann@example.com"),
         Refused("Update Operation Failed")},
        {"old alias too long", Update(kAnn, "fresh@example.com", long512.c_str()),
         Refused("Error: alias field overflow")},
        {"invalid", Update(kAnn, "a b@example.com"), Refused("Invalid mail address")},
        {"new alias past the table's key", Update(kAnn, past127.c_str()), Refused(pastKey)},
        {"changed alias past the table's key", Update(kAnn, past127.c_str(), "ann.alias@example.com"),
         Refused(pastKey)},
        {"no alias", Update(kAnn, kAbsent), Refused("Invalid mail address")},
        // Only the user whose primary address is Mail.
        {"update by alias", Update("ann.alias@example.com", "fresh@example.com"), Refused(noUser)},
        {"update by wildcard", Update("*", "fresh@example.com"), Refused(noUser)},
        {"update without Mail", Post({{"Command", "UpdateAlias"}, {"MailAlias", "fresh@example.com"}}),
         Refused(noUser)},
        {"delete by alias", Delete("ann.alias@example.com", "per%cent@example.com"), Refused(noUser)},
        {"delete by wildcard", Delete("*", "bob.alias@example.com"), Refused(noUser)},
        {"delete without Mail",
         Post({{"Command", "ConfirmDeleteAlias"}, {"MailAlias", "ann.alias@example.com"}}), Refused(noUser)},
        {"delete unknown user", Delete("nobody@example.com", "ann.alias@example.com"), Refused(noUser)},
        {"delete not held", Delete(kAnn, "bob.alias@example.com"),
         ResultPage("Delete Alias", "Delete Operation Failed")},
        {"delete primary", Delete(kAnn, kAnn.c_str()), ResultPage("Delete Alias", "Delete Operation Failed")},
        {"delete longest", Delete(kAnn, long511.c_str()),
         ResultPage("Delete Alias", "Delete Operation Failed")},
        {"delete too long", Delete(kAnn, long512.c_str()), Refused("Error: alias field overflow")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.run.exitStatus, 0) << c.name;
        EXPECT_EQ(c.run.out, c.page) << c.name;
    }
    EXPECT_EQ(State(), before);
}

TEST(AliasChanges, AFailedDuplicateSearchRefuses) {
    // An entry whose DN is longer than the client takes holds the address: the
    // search that would find it fails, and the change must not go through.
    string ldif, dn = "dc=com";
    for (int i = 0; i < 10; ++i) {
        const string label = string(200, 'd') + std::to_string(i);
        dn = "dc=" + label + "," + dn;
        ldif += "dn: " + dn + "\nobjectClass: domain\ndc: " + label + "\n\n";
    }
    ASSERT_TRUE(Seed(
        ldif + UserLdif("mail=deep@example.com," + dn, "mail: deep@example.com\nmail: held@example.com\n")));
    const string before = State();
    EXPECT_EQ(Update(kAnn, "held@example.com").out, Refused("Update Operation Failed"));
    EXPECT_EQ(State(), before);
}

TEST(AliasChanges, DirectoryUnreachable) {
    ASSERT_TRUE(Seed());
    const string before = State();
    ASSERT_TRUE(Dir().WriteRawConfig("[Ldap]\nHostName=127.0.0.1\nPort=1\n"));
    ProcessResult update = Update(kAnn, "fresh@example.com"), remove = Delete(kAnn, "ann.alias@example.com");
    ASSERT_TRUE(Dir().WriteConfig());
    for (const ProcessResult* r : {&update, &remove}) {
        EXPECT_EQ(r->exitStatus, 0);
        EXPECT_EQ(r->out, Refused("Error connecting to LDAP server"));
    }
    EXPECT_EQ(State(), before);
}

// Two administrators give one alias to two users at the same moment, many
// times over: each request either stores it and says so, or refuses naming
// the other user; never do both users keep it.
TEST(AliasChanges, TheSameAliasGivenToTwoUsersAtOnceIsNeverStoredTwice) {
    const string u1 = "u1@example.com", u2 = "u2@example.com";
    const string dn1 = "mail=" + u1 + ",dc=example,dc=com", dn2 = "mail=" + u2 + ",dc=example,dc=com";
    ASSERT_TRUE(Dir().Reset(
        "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
        "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" +
        UserLdif(dn1, "mail: " + u1 + "\n", "sn: One\n") + UserLdif(dn2, "mail: " + u2 + "\n", "sn: Two\n")));
    constexpr int kRounds = 100;
    int stored = 0, bothRefused = 0;
    string aliasRows[2];  // what each user has kept so far
    for (int round = 0; round < kRounds; ++round) {
        const string alias = "race" + std::to_string(round) + "@example.com";
        ProcessResult results[2];
        std::atomic<int> ready{0};
        auto racer = [&](int i) {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
            results[i] = Update(i == 0 ? u1 : u2, alias.c_str());
        };
        std::thread first(racer, 0), second(racer, 1);
        first.join();
        second.join();
        const string holders = Dir().Search("", "(mail=" + alias + ")", "1.1");
        bool kept[2];
        for (int i = 0; i < 2; ++i) {
            const string mail = i == 0 ? u1 : u2, otherDn = i == 0 ? dn2 : dn1;
            const Person person = {"", i == 0 ? "One" : "Two", "", "", mail};
            const string message = "Added Mail alias \"" + Encode(alias) + "\" successfully";
            const string rows = aliasRows[i] + AliasRow(mail, alias);
            kept[i] = results[i].out == DetailsPage(person, rows, message.c_str());
            if (kept[i]) aliasRows[i] = rows;
            EXPECT_TRUE(kept[i] || results[i].out == Duplicate(alias, otherDn))
                << "round " << round << " racer " << i << "\n"
                << results[i].out;
        }
        EXPECT_FALSE(kept[0] && kept[1]) << "round " << round;
        const string expected = kept[0] ? "dn: " + dn1 + "\n\n" : kept[1] ? "dn: " + dn2 + "\n\n" : "";
        EXPECT_EQ(holders, expected) << "round " << round;
        stored += kept[0] || kept[1];
        bothRefused += !kept[0] && !kept[1];
    }
    RecordProperty("stored", stored);
    RecordProperty("bothRefused", bothRefused);
}

}  // namespace
