// The connector pages that only read, run as the web server runs the program
// against the seeded sandbox directory: the list, the details, the edit and
// delete forms, the new-connector form and the users-by-connector form, with
// their refusals. Whole pages are compared.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/connectors/connector_test_support.h"
#include "tests/support/page_texts.h"

namespace {

using namespace conntest;
using pagetexts::ResultPage;

const std::vector<string> kAllFour = {"None", "Receive", "Send", "Send/Receive"};

string AnnRows(const string& mail) {
    return ListRow(mail, "SMTPC", "john", "Send/Receive") + ListRow(mail, "SMTPC", "a$b", "Send/Receive") +
           ListRow(mail, "FAX", "12 & 34% x", " ") + ListRow(mail, "LOCAL", "ann", "Send") +
           ListRow(mail, "LOCAL", "ann2", "Send") + ListRow(mail, "X400", "ann", "Receive");
}
string CyRows(const string& mail) {
    return ListRow(mail, "SMTPC", "joanna", "Send/Receive") + ListRow(mail, "DL", "cy", " ") +
           ListRow(mail, "X400", "x(y)\\z", " ");
}

TEST(ConnectorList, RowsPermissionsAndTheUserRow) {
    ASSERT_TRUE(Seed());
    const string ann = "ann@example.com", other = "ANN@example.com";
    // No row for a value without "$"; a channel without permission shows one blank; "*" lists every
    // user's connectors, the first user in the user row; the user row escaped.
    const std::vector<std::pair<ProcessResult, string>> runs = {
        {Post({{"Command", "ViewConn"}, {"Mail", ann}}), ViewPage(kAnnRow, ann, AnnRows(ann))},
        {Post({{"Command", "ListConnUser"}, {"Mail", ann}}), ViewPage(kAnnRow, ann, AnnRows(ann))},
        {Post({{"Command", "ViewConn"}, {"Mail", other}}),
         ViewPage(UserRow("<b>Ann</b>", "Lee & Sons", "1 2", other), other, AnnRows(other))},
        {Post({{"Command", "ViewConn"}, {"Mail", "bob@example.com"}}),
         ViewPage(UserRow("Bob", "Brown", "", "bob@example.com"), "bob@example.com", "")},
        {Post({{"Command", "ViewConn"}, {"Mail", "*"}}),
         ViewPage(UserRow("<b>Ann</b>", "Lee & Sons", "1 2", "*"), "*", AnnRows("*") + CyRows("*"))},
        {Post({{"Command", "ViewConn"}, {"Mail", "ann.alias@example.com"}}),
         ResultPage("View Connector", "User not found")},
        {Post({{"Command", "ViewConn"}}), ResultPage("View Connector", Missing("Mail"))},
    };
    for (std::size_t i = 0; i < runs.size(); ++i)
        ExpectPage(runs[i].first, runs[i].second, std::to_string(i));
}

TEST(ConnectorList, AValueWithAmpersandPercentAndBlankComesBackThroughEveryPage) {
    ASSERT_TRUE(Seed());
    const string ann = "ann@example.com", fax = "FAX$12 & 34% x";
    string list = Post({{"Command", "ViewConn"}, {"Mail", ann}}).out;
    std::size_t row = list.find("name=\"Othermailbox\" value=\"FAX");
    ASSERT_NE(row, string::npos);
    const string value = FieldValue(list, "Othermailbox", row),
                 permission = FieldValue(list, "Permission", row);
    EXPECT_EQ(value, fax);
    EXPECT_EQ(permission, " ");
    ExpectPage(Conn("ClickConn", ann, value, permission), ClickPage(kAnnRow, ann, "FAX", "12 & 34% x", " "));
    // No option named by the blank: the browser sends the first, None.
    ProcessResult edit = Conn("EditConn", ann, value, permission);
    ExpectPage(edit, EditPage(kAnnRow, ann, "FAX", "12 & 34% x", Select(kAllFour, "")));
    const string identifier = FieldValue(edit.out, "Identifier");
    ProcessResult update = Post({{"Command", "UpdateConn"},
                                 {"Mail", FieldValue(edit.out, "Mail")},
                                 {"Othermailbox", FieldValue(edit.out, "Othermailbox")},
                                 {"Identifier", identifier},
                                 {"Permission", "None"}});
    EXPECT_EQ(update.out.find("Result"), string::npos) << update.out;
    string values = Values(ann);
    EXPECT_NE(values.find("othermailbox: FAX$12 & 34% x\n"), string::npos) << values;  // kept as it was
    EXPECT_NE(values.find("x-permission: FAX$None\n"), string::npos) << values;
    ExpectPage(Conn("DeleteConn", ann, value, "None"), DeletePage(kAnnRow, ann, "FAX", "12 & 34% x", "None"));
    EXPECT_EQ(Values(ann), values);  // the confirmation changes nothing
    Conn("VerifyDeleteConn", ann, value, "None");
    EXPECT_EQ(Values(ann).find("FAX"), string::npos) << Values(ann);
}

TEST(ConnectorDetails, DetailsEditAndDeleteFormsAndTheirRefusals) {
    ASSERT_TRUE(Seed());
    const string before = State(), ann = "ann@example.com", nobody = "nobody@example.com",
                 tooLong = "FAX$" + string(508, 'x');
    const string click = "Connector Information", edit = "Edit Connector Information",
                 del = "Delete Connector";
    struct Run {
        string command, mail, value, permission, page;
    };
    const std::vector<Run> runs = {
        {"ClickConn", ann, "SMTPC$a$b", "Send/Receive",
         ClickPage(kAnnRow, ann, "SMTPC", "a$b", "Send/Receive")},
        // Markup in every field the pages show stays text.
        {"ClickConn", ann, "X<i>$\"><script>", "<b>", ClickPage(kAnnRow, ann, "X<i>", "\"><script>", "<b>")},
        {"EditConn", ann, "X<i>$\"><script>", "<b>",
         EditPage(kAnnRow, ann, "X<i>", "\"><script>", Select(kAllFour, ""))},
        {"DeleteConn", ann, "X<i>$\"><script>", "<b>",
         DeletePage(kAnnRow, ann, "X<i>", "\"><script>", "<b>")},
        {"ClickConn", nobody, "SMTPC$john", " ",
         ResultPage(click, "User not found, no channels can be displayed")},
        {"ClickConn", ann, "nodollar", " ", ResultPage(click, "Invalid Channel value")},
        {"ClickConn", ann, tooLong, " ", ResultPage(click, kTooLong)},
        {"DeleteConn", ann, "SMTPC$john", "Send/Receive",
         DeletePage(kAnnRow, ann, "SMTPC", "john", "Send/Receive")},
        {"DeleteConn", nobody, "SMTPC$john", " ",
         ResultPage(del, "User not found, channel can not be updated")},
        {"DeleteConn", ann, "nodollar", " ", ResultPage(del, "Invalid Channel value")},
        {"DeleteConn", ann, tooLong, " ", ResultPage(del, kTooLong)},
        {"EditConn", nobody, "SMTPC$john", " ",
         ResultPage(edit, "User not found, no channels can be displayed")},
        {"EditConn", ann, "nodollar", " ", ResultPage(edit, "Invalid Channel value")},
        {"EditConn", ann, tooLong, " ", ResultPage(edit, kTooLong)},
    };
    for (const Run& r : runs)
        ExpectPage(Conn(r.command, r.mail, r.value, r.permission), r.page, r.command + r.value);
    // The select offers what the channel allows (names compared exactly), the
    // permission selected in any letter case.
    const std::vector<std::vector<string>> selects = {
        {"SMTPC$john", "Send/Receive", Select({"Send/Receive"}, "Send/Receive")},
        {"SMTPC$john", " ", Select({"Send/Receive"}, "")},
        {"BSMTPOUT$x", "send/receive", Select({"Send/Receive"}, "Send/Receive")},
        {"DL$x", "Send", Select({"Send/Receive"}, "")},
        {"LOCAL$ann", "send", Select({"Send", "Send/Receive"}, "Send")},
        {"dl$x", "Send/Receive", Select(kAllFour, "Send/Receive")},
        {"FAX$y$z", "None", Select(kAllFour, "None")},
    };
    for (const auto& s : selects) {
        std::size_t dollar = s[0].find('$');
        ExpectPage(Conn("EditConn", ann, s[0], s[1]),
                   EditPage(kAnnRow, ann, s[0].substr(0, dollar), s[0].substr(dollar + 1), s[2]),
                   s[0] + s[1]);
    }
    // Each field the pages expect, missing.
    for (const char* command : {"ClickConn", "EditConn", "DeleteConn"}) {
        const string title = command == string("ClickConn")  ? click
                             : command == string("EditConn") ? edit
                                                             : del;
        const Fields all = {{"Mail", ann}, {"Othermailbox", "SMTPC$john"}, {"Permission", " "}};
        for (std::size_t left = 0; left < all.size(); ++left) {
            Fields fields = {{"Command", command}};
            for (std::size_t i = 0; i < all.size(); ++i)
                if (i != left) fields.push_back(all[i]);
            ExpectPage(Post(fields), ResultPage(title, Missing(all[left].first)), command + all[left].first);
        }
    }
    EXPECT_EQ(State(), before);
}

TEST(NewConnector, ChannelsOfferedAndTheListMenu) {
    ASSERT_TRUE(Seed());
    const string ann = "ann@example.com";
    // Only channels both enabled and taking connectors, upper-cased, in file order.
    const string options = Options({"SMTPC", "LOCAL", "DL", "BSMTPOUT", "FAX", "X400"});
    ExpectPage(Post({{"Command", "NewConn"}, {"Mail", ann}}), NewConnPage(ann, options));
    ExpectPage(Post({{"Command", "NewConn"}, {"Mail", "*"}}), NewConnPage("*", options));
    ExpectPage(Post({{"Command", "ListConnMenu"}}), MenuPage(options));
    ExpectPage(Post({{"Command", "NewConn"}, {"Mail", "nobody@example.com"}}),
               ResultPage("New Connector", "User not found, no channels can be added"));
    ExpectPage(Post({{"Command", "NewConn"}}), ResultPage("New Connector", Missing("Mail")));
    // No channels at all: the select is empty, the page whole.
    ASSERT_TRUE(Dir().WriteConfig("[Channels]\n"));
    ExpectPage(Post({{"Command", "NewConn"}, {"Mail", ann}}), NewConnPage(ann, ""));
    ExpectPage(Post({{"Command", "ListConnMenu"}}), MenuPage(""));
    // A channel list the API refuses.
    string many = "[Channels]\n";
    for (int i = 0; i < 300; ++i) many += "C" + std::to_string(i) + "=enabled,connectors\n";
    ASSERT_TRUE(Dir().WriteConfig(many));
    ExpectPage(Post({{"Command", "NewConn"}, {"Mail", ann}}),
               ResultPage("New Connector", "MQInit(127.0.0.1) failed!"));
    ExpectPage(Post({{"Command", "ListConnMenu"}}),
               ResultPage("List Connector", "MQInit(127.0.0.1) failed!"));
    ASSERT_TRUE(Dir().WriteConfig(kChannels));
}

}  // namespace
