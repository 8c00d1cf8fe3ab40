// The connector pages that change the directory (add, update, delete) and
// the users of a connector, run as the web server runs the program against
// the seeded sandbox directory: the page, then the entry's values; refusals
// leave the directory as it was. Also every page with the directory away.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/pages/connectors/connector_test_support.h"
#include "tests/support/page_texts.h"

namespace {

using namespace conntest;
using pagetexts::ResultPage;

const string kAnn = "ann@example.com";
const char kOnlySendReceive[] =
    "You are only allowed to select \"Send/Receive\" permission for \"%s\" connector. Please select again.";
const char kOnlySendOrSendReceive[] =
    "You are only allowed to select \"Send/Receive\" or \"Send\" permission for \"%s\" connector. "
    "Please select again.";

string Rule(const char* message, const string& channel) {
    string text = message;
    return text.replace(text.find("%s"), 2, channel);
}
ProcessResult Add(const string& mail, const string& channel, const string& identifier,
                  const string& permission) {
    return Post({{"Command", "AddChannel"},
                 {"Mail", mail},
                 {"Channel", channel},
                 {"Identifier", identifier},
                 {"Permission", permission}});
}
ProcessResult Update(const string& mail, const string& value, const string& identifier,
                     const string& permission) {
    return Post({{"Command", "UpdateConn"},
                 {"Mail", mail},
                 {"Othermailbox", value},
                 {"Identifier", identifier},
                 {"Permission", permission}});
}
// The fields of `all` but the one at `left`, after the command.
Fields Without(const string& command, const Fields& all, std::size_t left) {
    Fields fields = {{"Command", command}};
    for (std::size_t i = 0; i < all.size(); ++i)
        if (i != left) fields.push_back(all[i]);
    return fields;
}
// `values` as Values prints them, with `change` applied in order: a line
// "-..." removed, any other added where the directory puts it, after the
// values of its attribute (othermailbox before x-permission).
string Apply(string values, const std::vector<string>& change) {
    for (const string& line : change) {
        if (line[0] == '-') {
            std::size_t at = values.find(line.substr(1) + "\n");
            if (at == string::npos) return "no " + line.substr(1) + " in " + values;
            values.erase(at, line.size());
        } else {
            bool connector = line.rfind("othermailbox", 0) == 0;
            values.insert(connector ? values.find("x-permission") : values.size() - 1, line + "\n");
        }
    }
    return values;
}
struct Change {
    ProcessResult run;
    std::vector<string> lines;  // for Apply
};
// Runs were made in order; each answered with the list (no result box); the values changed as said.
void ExpectChanges(const string& before, const std::vector<Change>& changes) {
    string want = before;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        EXPECT_EQ(changes[i].run.exitStatus, 0) << i;
        EXPECT_EQ(changes[i].run.out.find("Result"), string::npos) << i << changes[i].run.out;
        EXPECT_NE(changes[i].run.out.find("<title>View Connector</title>"), string::npos) << i;
        want = Apply(want, changes[i].lines);
    }
    EXPECT_EQ(Values(kAnn), want);
}

TEST(AddChannel, RefusalsComeFirstAndLeaveTheEntry) {
    ASSERT_TRUE(Seed());
    const string before = State(), title = "Create Connector";
    const std::vector<std::pair<ProcessResult, string>> runs = {
        // The permission is checked before the identifier, both before the directory.
        {Add(kAnn, "SMTPC", "", "Receive"), GoBackPage(title, Rule(kOnlySendReceive, "SMTPC"))},
        {Add(kAnn, "DL", "x", "send/receive"), GoBackPage(title, Rule(kOnlySendReceive, "DL"))},
        {Add(kAnn, "BSMTPOUT", "x", "Send"), GoBackPage(title, Rule(kOnlySendReceive, "BSMTPOUT"))},
        {Add(kAnn, "LOCAL", "x", "Receive"), GoBackPage(title, Rule(kOnlySendOrSendReceive, "LOCAL"))},
        {Add(kAnn, "FAX", "", "None"), ResultPage(title, "No identifier value given")},
        // A channel that no channel record could name: "A$B$x" would be channel A's connector "B$x".
        {Add(kAnn, "A$B", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Add(kAnn, "", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Add(kAnn, "NINECHARS", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Add(kAnn, "FA\nX", "x", "None"), ResultPage(title, "Invalid Channel value")},
        // Only what the select offers: not an unknown, a stopped or a connector-less channel.
        {Add(kAnn, "BOGUS", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Add(kAnn, "PAGER", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Add(kAnn, "SMS", "x", "None"), ResultPage(title, "Invalid Channel value")},
        // Another letter case names the offered channel, whose rule applies.
        {Add(kAnn, "smtpc", "john", ""), GoBackPage(title, Rule(kOnlySendReceive, "SMTPC"))},
        // Duplicates: the whole value, letter case ignored.
        {Add(kAnn, "SMTPC", "JOHN", "Send/Receive"), ResultPage(title, "Channel already exist")},
        {Add(kAnn, "smtpc", "john", "Send/Receive"), ResultPage(title, "Channel already exist")},
        // Only the user the address names as its primary address.
        {Add("*", "FAX", "x", "None"), ResultPage(title, "User not found, no channels can be displayed")},
        {Add("ann.alias@example.com", "FAX", "x", "None"),
         ResultPage(title, "User not found, no channels can be displayed")},
        {Add("nobody@example.com", "FAX", "x", "None"),
         ResultPage(title, "User not found, no channels can be displayed")},
        // 4 + 508 characters, one more than a value holds; a permission value too long.
        {Add(kAnn, "FAX", string(508, 'i'), "None"), ResultPage(title, kTooLong)},
        {Add(kAnn, "FAX", "x", string(508, 'p')), ResultPage(title, kPermissionTooLong)},
        // The directory refuses a value that is no UTF-8.
        {Add(kAnn, "FAX", "\xff\xfe", "None"), ResultPage("Update Connector", "Could not add a new channel")},
    };
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectPage(runs[i].first, runs[i].second, std::to_string(i));
    const Fields all = {{"Mail", kAnn}, {"Channel", "FAX"}, {"Identifier", "x"}, {"Permission", "None"}};
    for (std::size_t left = 0; left < all.size(); ++left)
        ExpectPage(Post(Without("AddChannel", all, left)), ResultPage(title, Missing(all[left].first)));
    EXPECT_EQ(State(), before);
}

TEST(AddChannel, AddsTheConnectorAndAPermissionOnlyWhereTheChannelHasNone) {
    ASSERT_TRUE(Seed());
    const string bobRow = UserRow("Bob", "Brown", "", "bob@example.com");
    // A prefix of an existing value is no duplicate; the list answers.
    ExpectPage(
        Add(kAnn, "SMTPC", "jo", "Send/Receive"),
        ViewPage(kAnnRow, kAnn,
                 ListRow(kAnn, "SMTPC", "john", "Send/Receive") +
                     ListRow(kAnn, "SMTPC", "a$b", "Send/Receive") + ListRow(kAnn, "FAX", "12 & 34% x", " ") +
                     ListRow(kAnn, "LOCAL", "ann", "Send") + ListRow(kAnn, "LOCAL", "ann2", "Send") +
                     ListRow(kAnn, "X400", "ann", "Receive") + ListRow(kAnn, "SMTPC", "jo", "Send/Receive")));
    const string seeded = Values(kAnn);
    ExpectChanges(
        seeded,
        {
            // A further connector keeps the channel's stored permission, whatever the form chose.
            {Add(kAnn, "LOCAL", "ann3", "Send/Receive"), {"othermailbox: LOCAL$ann3"}},
            {Add(kAnn, "X400", "ann9", "None"), {"othermailbox: X400$ann9"}},
            // A channel without a permission value gets the chosen one, "None" included,
            // under the channel's name as the select spells it.
            {Add(kAnn, "FAX", "7", ""), {"othermailbox: FAX$7"}},
            {Add(kAnn, "fax", "99", "None"), {"othermailbox: FAX$99", "x-permission: FAX$None"}},
            // "%" and "$" stored as typed; the address in another letter case; the longest value.
            {Add("ANN@example.com", "x400", "50%$off", "Send"), {"othermailbox: X400$50%$off"}},
            {Add(kAnn, "FAX", string(507, 'i'), "None"), {"othermailbox: FAX$" + string(507, 'i')}},
        });
    ExpectPage(Add("bob@example.com", "DL", "bob", "Send/Receive"),
               ViewPage(bobRow, "bob@example.com", ListRow("bob@example.com", "DL", "bob", "Send/Receive")));
}

// Requests adding a channel's first connectors at once, with clashing
// permissions: every connector stored, one permission value left.
TEST(AddChannel, RacingFirstConnectorsLeaveOnePermission) {
    ASSERT_TRUE(Seed());
    const char* permissions[] = {"None", "Receive", "Send", "Send/Receive"};
    for (const string channel : {"FAX", "X400"}) {
        std::vector<std::thread> racers;
        std::atomic<int> ready{0};
        for (int i = 0; i < 8; ++i)
            racers.emplace_back([&, i] {
                for (++ready; ready.load() < 8;) std::this_thread::yield();
                Add("bob@example.com", channel, std::to_string(i), permissions[i % 4]);
            });
        for (std::thread& racer : racers) racer.join();
        const string values = Values("bob@example.com");
        auto count = [&values](const string& prefix) {
            std::size_t n = 0;
            for (std::size_t at = values.find(prefix); at != string::npos; at = values.find(prefix, at + 1)) ++n;
            return n;
        };
        EXPECT_EQ(count("othermailbox: " + channel + "$"), 8u) << values;
        EXPECT_EQ(count("x-permission: " + channel + "$"), 1u) << values;
    }
}

TEST(UpdateConn, IdentifierAndChannelPermissionChanges) {
    ASSERT_TRUE(Seed());
    const string before = State(), title = "Update Connector";
    // Unchanged, or a permission differing in letter case only: no modification, the list.
    for (const auto& run :
         {Update(kAnn, "SMTPC$john", "john", "Send/Receive"), Update(kAnn, "X400$ann", "ann", "receive")})
        ExpectPage(run, Post({{"Command", "ViewConn"}, {"Mail", kAnn}}).out);
    const std::vector<std::pair<ProcessResult, string>> refusals = {
        {Update(kAnn, "nodollar", "x", "None"), ResultPage(title, "Invalid Channel value")},
        {Update(kAnn, "LOCAL$ann", "ann", "Receive"),
         GoBackPage(title, Rule(kOnlySendOrSendReceive, "LOCAL"))},
        {Update(kAnn, "SMTPC$john", "john", "Send"), GoBackPage(title, Rule(kOnlySendReceive, "SMTPC"))},
        {Update("*", "FAX$12 & 34% x", "1", "None"),
         ResultPage(title, "User not found, channel can not be updated")},
        {Update("ann.alias@example.com", "FAX$12 & 34% x", "1", "None"),
         ResultPage(title, "User not found, channel can not be updated")},
        {Update(kAnn, "FAX$gone", "new", "None"), ResultPage(title, "Update Operation Failed")},
        {Update(kAnn, "FAX$12 & 34% x", string(508, 'i'), "None"), ResultPage(title, kTooLong)},
        {Update(kAnn, "FAX$" + string(508, 'i'), "x", "None"), ResultPage(title, kTooLong)},
        {Update(kAnn, "FAX$12 & 34% x", "1", string(508, 'p')), ResultPage(title, kPermissionTooLong)},
    };
    for (std::size_t i = 0; i < refusals.size(); ++i)
        ExpectPage(refusals[i].first, refusals[i].second, std::to_string(i));
    const Fields all = {
        {"Mail", kAnn}, {"Othermailbox", "FAX$12 & 34% x"}, {"Identifier", "1"}, {"Permission", ""}};
    for (std::size_t left = 0; left < all.size(); ++left)
        ExpectPage(Post(Without("UpdateConn", all, left)), ResultPage(title, Missing(all[left].first)));
    EXPECT_EQ(State(), before);

    const string unchanged = Values(kAnn);  // taken before the runs below
    ExpectChanges(
        unchanged,
        {
            // Letter case counts for the identifier: the old value goes, the new one comes.
            {Update(kAnn, "SMTPC$john", "John", "Send/Receive"),
             {"-othermailbox: SMTPC$john", "othermailbox: SMTPC$John"}},
            // An emptied identifier leaves the channel and "$".
            {Update(kAnn, "X400$ann", "", "Receive"), {"-othermailbox: X400$ann", "othermailbox: X400$"}},
            // The permission belongs to the channel: the stored value (local$Send)
            // goes, whatever the form showed.
            {Update(kAnn, "LOCAL$ann2", "ann2", "Send/Receive"),
             {"-x-permission: local$Send", "x-permission: LOCAL$Send/Receive"}},
            // A channel without a permission value gets one.
            {Update(kAnn, "FAX$12 & 34% x", "12 & 34% x", "None"), {"x-permission: FAX$None"}},
        });
    // Both LOCAL connectors show the new permission.
    string list = Post({{"Command", "ViewConn"}, {"Mail", kAnn}}).out;
    EXPECT_NE(list.find(ListRow(kAnn, "LOCAL", "ann", "Send/Receive") +
                        ListRow(kAnn, "LOCAL", "ann2", "Send/Receive")),
              string::npos);
}

TEST(VerifyDeleteConn, TheLastConnectorOfAChannelTakesTheStoredPermission) {
    ASSERT_TRUE(Seed());
    const string title = "Update Connector", before = State();
    const std::vector<std::pair<ProcessResult, string>> refusals = {
        {Conn("VerifyDeleteConn", "*", "SMTPC$john", "Send/Receive"),
         ResultPage(title, "User not found, channel can not be deleted")},
        {Conn("VerifyDeleteConn", "ann.alias@example.com", "SMTPC$john", "Send/Receive"),
         ResultPage(title, "User not found, channel can not be deleted")},
        {Conn("VerifyDeleteConn", kAnn, "nodollar", " "), ResultPage(title, "Invalid Channel value")},
        {Conn("VerifyDeleteConn", kAnn, "SMTPC$gone", "Send/Receive"),
         ResultPage(title, "Delete Operation Failed")},
        {Conn("VerifyDeleteConn", kAnn, "FAX$" + string(508, 'i'), " "), ResultPage(title, kTooLong)},
    };
    for (std::size_t i = 0; i < refusals.size(); ++i)
        ExpectPage(refusals[i].first, refusals[i].second, std::to_string(i));
    const Fields all = {{"Mail", kAnn}, {"Othermailbox", "SMTPC$john"}, {"Permission", "Send/Receive"}};
    for (std::size_t left = 0; left < all.size(); ++left)
        ExpectPage(Post(Without("VerifyDeleteConn", all, left)), ResultPage(title, Missing(all[left].first)));
    EXPECT_EQ(State(), before);

    // One of two keeps the permission; the last takes it (stored as local$Send) along.
    ExpectPage(
        Conn("VerifyDeleteConn", kAnn, "LOCAL$ann2", "Send"),
        ViewPage(kAnnRow, kAnn,
                 ListRow(kAnn, "SMTPC", "john", "Send/Receive") +
                     ListRow(kAnn, "SMTPC", "a$b", "Send/Receive") + ListRow(kAnn, "FAX", "12 & 34% x", " ") +
                     ListRow(kAnn, "LOCAL", "ann", "Send") + ListRow(kAnn, "X400", "ann", "Receive")));
    const string afterFirst = Values(kAnn);  // taken before the runs below
    ExpectChanges(
        afterFirst,
        {
            {Conn("VerifyDeleteConn", kAnn, "LOCAL$ann", "Send"),
             {"-othermailbox: LOCAL$ann", "-x-permission: local$Send"}},
            // A channel without permission: the list's blank names no value to delete.
            {Conn("VerifyDeleteConn", kAnn, "FAX$12 & 34% x", " "), {"-othermailbox: FAX$12 & 34% x"}},
            // The permission the list showed is out of date: the stored one goes all the same.
            {Conn("VerifyDeleteConn", kAnn, "SMTPC$a$b", "Send"), {"-othermailbox: SMTPC$a$b"}},
            {Conn("VerifyDeleteConn", kAnn, "smtpc$JOHN", "None"),
             {"-othermailbox: SMTPC$john", "-x-permission: SMTPC$Send/Receive"}},
        });
    EXPECT_EQ(Values(kAnn),
              "dn: mail=ann@example.com,dc=example,dc=com\nothermailbox: nodollar\n"
              "othermailbox: X400$ann\nx-permission: X400$Receive\n\n");
}

TEST(ListConn, UsersByChannelAndIdentifier) {
    ASSERT_TRUE(Seed());
    const std::vector<string> ann = {"<b>Ann</b>", "Lee & Sons", "1 2", kAnn},
                              cy = {"Cy", "Young", "", "cy@example.com"};
    auto list = [](const string& channel, const string& identifier) {
        return Post({{"Command", "ListConn"}, {"Channel", channel}, {"Identifier", identifier}});
    };
    const std::vector<std::pair<ProcessResult, string>> runs = {
        {list("SMTPC", "*"), UsersPage({ann, cy})},  // once per user, sorted by last name
        {list("SMTPC", "john"), UsersPage({ann})},
        {list("SMTPC", "JO*"), UsersPage({ann, cy})},
        {list("SMTPC", "joa*"), UsersPage({cy})},
        {list("DL", "*"), UsersPage({cy})},
        {list("SMTPC", ""), UsersPage({})},
        // Filter characters are searched for, "*" kept as the wildcard.
        {list("X400", "x(y)\\z"), UsersPage({cy})},
        {list("X400", "x(*"), UsersPage({cy})},
        {list("X400", "*)(mail=*"), UsersPage({})},
        {list("SMTPC)(|(mail=*", "*"), UsersPage({})},
        // 46 characters besides the identifier: 1023 in all is the longest filter.
        {list("SMTPC", string(977, 'x')), UsersPage({})},
        {list("SMTPC", string(978, 'x')), ResultPage("List Users", "Error: search values too long")},
        {list("SMTPC", string(327, '(')), ResultPage("List Users", "Error: search values too long")},
        {Post({{"Command", "ListConn"}, {"Identifier", "*"}}), ResultPage("List Users", Missing("Channel"))},
        {Post({{"Command", "ListConn"}, {"Channel", "DL"}}), ResultPage("List Users", Missing("Identifier"))},
    };
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectPage(runs[i].first, runs[i].second, std::to_string(i));
}

TEST(Unreachable, ReadingPagesEndWithStatusOneChangingPagesChangeNothing) {
    ASSERT_TRUE(Seed());
    ASSERT_TRUE(Dir().WriteRawConfig(string("[Ldap]\nHostName=127.0.0.1\nPort=1\n") + kChannels));
    const string port = "Error connecting to LDAP port on server", server = "Error connecting to LDAP server";
    const std::vector<std::pair<ProcessResult, std::pair<string, int>>> runs = {
        {Post({{"Command", "ViewConn"}, {"Mail", kAnn}}), {ResultPage("View Connector", port), 1}},
        {Conn("ClickConn", kAnn, "SMTPC$john", " "), {ResultPage("Connector Information", port), 1}},
        {Post({{"Command", "NewConn"}, {"Mail", kAnn}}), {ResultPage("New Connector", port), 1}},
        {Conn("EditConn", kAnn, "SMTPC$john", " "), {ResultPage("Edit Connector Information", server), 0}},
        {Conn("DeleteConn", kAnn, "SMTPC$john", " "), {ResultPage("Delete Connector", server), 0}},
        {Add(kAnn, "FAX", "1", "None"), {ResultPage("Create Connector", server), 0}},
        {Update(kAnn, "SMTPC$john", "x", "Send/Receive"), {ResultPage("Update Connector", server), 0}},
        {Conn("VerifyDeleteConn", kAnn, "SMTPC$john", " "), {ResultPage("Update Connector", server), 0}},
        {Post({{"Command", "ListConnMenu"}}), {ResultPage("List Connector", server), 0}},
        {Post({{"Command", "ListConn"}, {"Channel", "DL"}, {"Identifier", "*"}}),
         {ResultPage("List Users", server), 0}},
    };
    ASSERT_TRUE(Dir().WriteConfig(kChannels));
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectPage(runs[i].first, runs[i].second.first, std::to_string(i), runs[i].second.second);
}

}  // namespace
