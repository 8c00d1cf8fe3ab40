// Requests, seed data and expected pages of the connector page tests.
#include "tests/pages/connectors/connector_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "tests/support/page_texts.h"
#include "tests/support/user_page_texts.h"

namespace conntest {

using namespace pagetexts;

DirectorySandbox& Dir() { return DirectorySandbox::Get(); }

string Esc(const string& text) { return usertexts::Encode(text); }

string FieldValue(const string& page, const string& name, std::size_t from) {
    const string start = "name=\"" + name + "\" value=\"";
    std::size_t at = page.find(start, from);
    if (at == string::npos) return "<none>";
    at += start.size();
    string escaped = page.substr(at, page.find('"', at) - at), out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        std::size_t end = escaped.find(';', i);
        if (escaped.compare(i, 2, "&#") == 0 && end != string::npos) {
            out += static_cast<char>(atoi(escaped.substr(i + 2, end - i - 2).c_str()));
            i = end;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

ProcessResult Post(const Fields& fields) {
    string body;
    char code[4];
    for (const auto& field : fields) {
        body += (body.empty() ? "" : "&") + field.first + "=";
        for (unsigned char c : field.second)
            body += isalnum(c) ? string(1, static_cast<char>(c))
                               : (snprintf(code, sizeof code, "%%%02X", c), code);
    }
    return RunCgiPost(body, {{"XOMTA_CONFIG_DIR", Dir().ConfigDir()}});
}

ProcessResult Conn(const string& command, const string& mail, const string& value, const string& permission) {
    return Post({{"Command", command}, {"Mail", mail}, {"Othermailbox", value}, {"Permission", permission}});
}

void ExpectPage(const ProcessResult& r, const string& page, const string& trace, int status) {
    EXPECT_EQ(r.exitStatus, status) << trace;
    EXPECT_EQ(r.out, page) << trace;
}

const char kChannels[] =
    "[Channels]\nSMTPC=enabled,connectors\nlocal=enabled, connectors\nDL=enabled,connectors\n"
    "BSMTPOUT=enabled,connectors\nFAX=enabled,connectors\nPAGER=connectors\nSMS=enabled\n"
    "X400=Connectors,Enabled\n";

bool Seed() {
    return Dir().WriteConfig(kChannels) &&
           Dir().Reset(
               "dn: dc=com\nobjectClass: domain\ndc: com\n\n"
               "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n"
               "dn: mail=ann@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: ann@example.com\n"
               "mail: ann.alias@example.com\nfirstname: <b>Ann</b>\nsn: Lee & Sons\ntelephoneNumber: 1 2\n"
               "othermailbox: SMTPC$john\nothermailbox: nodollar\nothermailbox: SMTPC$a$b\n"
               "othermailbox: FAX$12 & 34% x\nothermailbox: LOCAL$ann\nothermailbox: LOCAL$ann2\n"
               "othermailbox: X400$ann\n"
               "x-permission: SMTPC$Send/Receive\nx-permission: local$Send\nx-permission: X400$Receive\n\n"
               "dn: mail=bob@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: bob@example.com\n"
               "firstname: Bob\nsn: Brown\n\n"
               "dn: mail=cy@example.com,dc=example,dc=com\nobjectClass: xoperson\nmail: cy@example.com\n"
               "firstname: Cy\nsn: Young\nothermailbox: SMTPC$joanna\nothermailbox: DL$cy\n"
               "othermailbox: X400$x(y)\\z\nx-permission: SMTPC$Send/Receive\n\n");
}

string Values(const string& mail) {
    return Dir().Search("mail=" + mail + ",dc=example,dc=com", "(objectClass=*)",
                        "othermailbox x-permission");
}

string State() { return Dir().Search("", "(objectClass=*)", "*"); }

namespace {

const string kForm = "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n";
const string kLayout = "<table border=\"0\" width=\"100%\">\n\t<tr>\n\t\t<td>\n";
const string kLayoutEnd = "\t\t</td>\n\t</tr>\n</table>\n";
const string kPageClose = "</body>\n</html>\n";
const string kGoBack =
    "<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n";
const string kHeading = "<td bgcolor=2166ab style=\"color:#FFFFFF\"";

string Hidden(const string& tabs, const string& name, const string& value) {
    return tabs + "<input type=\"hidden\" name=\"" + name + "\" value=\"" + Esc(value) + "\">\n";
}
string ReadOnly(const string& name, const string& value) {
    return "<input readonly type=\"text\" name=\"" + name + "\" value=\"" + Esc(value) + "\">";
}
string FieldRow(const string& label, const string& cell) {
    return "<tr><td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label + "</td><td>" + cell +
           "</td></tr>\n";
}
// The user table and, for each page, the three rows of the connector.
string UserTable(const string& userRow) { return "<center><table border=\"0\">\n" + userRow + "</table>\n"; }
// One cell of a button bar: a form with hidden fields, a command and a button.
string CommandCell(const Fields& hidden, const string& command, const string& button) {
    string cell = "\t\t\t\t<td>\n\t\t\t\t" + kForm;
    for (const auto& field : hidden) cell += Hidden("\t\t\t\t\t", field.first, field.second);
    return cell + "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n\t\t\t\t\t" +
           button + "\n\t\t\t\t</form>\n\t\t\t\t</td>\n";
}

}  // namespace

string UserRow(const string& first, const string& last, const string& tel, const string& mail) {
    return "<tr><td>" + Esc(first) + "</td><td>" + Esc(last) + "</td><td>" + Esc(tel) + "</td><td>" +
           Esc(mail) + "</td></tr>\n";
}
const string kAnnRow = UserRow("<b>Ann</b>", "Lee & Sons", "1 2", "ann@example.com");

string ListRow(const string& mail, const string& channel, const string& identifier,
               const string& permission) {
    return "<tr valign=top>\n" + kForm + "<td>\n" + Hidden("", "Mail", mail) +
           Hidden("", "Othermailbox", channel + "$" + identifier) +
           "<input type=\"hidden\" name=\"Command\" value=\"ClickConn\">\n" +
           Hidden("", "Permission", permission) + "<input type=\"submit\" name=\"ClickConn\" value=\"" +
           Esc(channel) + "\">\n</td>\n<td>" + ReadOnly("Identifier", identifier) + "</td>\n<td>" +
           ReadOnly("Permission", permission) + "</td>\n</form>\n</tr>\n";
}

string ViewPage(const string& userRow, const string& mail, const string& rows) {
    return Header("View Connector") + kLayout + UserTable(userRow) + "<table border=\"1\">\n<tr>" + kHeading +
           ">Connector</td>" + kHeading + ">Identifier</td>" + kHeading + ">Permission</td></tr>\n" + rows +
           "</table></center>\n" + Footer() + BarStart("valign=top") +
           CommandCell({{"Mail", mail}}, "FindUser",
                       "<input type=\"submit\" name=\"Button\" value=\"Go back\">") +
           CommandCell({{"Mail", mail}}, "NewConn",
                       "<input type=\"submit\" name=\"NewConn\" value=\"New\">") +
           BarEnd("align=right", true, "viewcon") + kLayoutEnd + kPageClose;
}

string ClickPage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                 const string& permission) {
    const Fields carried = {
        {"Mail", mail}, {"Othermailbox", channel + "$" + identifier}, {"Permission", permission}};
    return Header("Connector Information") + kLayout + UserTable(userRow) +
           "<table border=\"0\">\n<tr>\n<form>\n<td>\n<table border=\"1\">\n" +
           FieldRow("Connector", ReadOnly("Channel", channel)) +
           FieldRow("Identifier", ReadOnly("Identifier", identifier)) +
           FieldRow("Permission", ReadOnly("Permission", permission)) +
           "</table>\n</td>\n</form>\n</tr>\n</table></center>\n" + Footer() + BarStart("valign=top") +
           GoBackCell(true) +
           CommandCell(carried, "EditConn", "<input type=\"submit\" name=\"EditConn\" value=\"Edit\">") +
           CommandCell(carried, "DeleteConn",
                       "<input type=\"submit\" name=\"DeleteConn\" value=\"Delete\">") +
           BarEnd("valign=top align=right", true, "editconn") + kLayoutEnd + kPageClose;
}

string Select(const std::vector<string>& options, const string& selected) {
    string select = "<select name=Permission>\n";
    for (const string& option : options)
        select += "<option " + string(option == selected ? "selected" : "") + ">" + option + "</option>\n";
    return select + "</select>\n";
}

string EditPage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                const string& select) {
    return Header("Edit Connector Information") + kForm + Hidden("", "Mail", mail) +
           Hidden("", "Othermailbox", channel + "$" + identifier) + kLayout + UserTable(userRow) +
           "<table border=\"1\">\n" + FieldRow("Connector", ReadOnly("Channel", channel)) +
           FieldRow("Identifier",
                    "<input type=\"text\" name=\"Identifier\" value=\"" + Esc(identifier) + "\">") +
           FieldRow("Permission", select) + "</table></center>\n" + Footer() + BarStart("valign=top") +
           GoBackCell(false) + "\t\t\t\t<td>\n" +
           "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateConn\">\n" +
           "\t\t\t\t\t<input type=\"submit\" name=\"UpdateConn\" value=\"Update\">\n\t\t\t\t</td>\n" +
           BarEnd("valign=top align=right", false, "editconn") + kLayoutEnd + "</form>\n" + kPageClose;
}

string DeletePage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                  const string& permission) {
    return Header("Delete Connector") + kLayout + "<form>" + UserTable(userRow) + "<table border=\"1\">\n" +
           FieldRow("Connector", ReadOnly("Channel", channel)) +
           FieldRow("Identifier", ReadOnly("Identifier", identifier)) +
           FieldRow("Permission", ReadOnly("Permission", permission)) + "</table></center></form>\n" +
           Footer() + BarStart("valign=top") + GoBackCell(true) +
           CommandCell(
               {{"Mail", mail}, {"Othermailbox", channel + "$" + identifier}, {"Permission", permission}},
               "VerifyDeleteConn", "<input type=\"submit\" name=\"VerifyDeleteConn\" value=\"Confirm\">") +
           BarEnd("align=right", true, "delconn") + kLayoutEnd + kPageClose;
}

string Options(const std::vector<string>& channels) {
    string options;
    for (const string& channel : channels) options += "<option>" + channel + "</option>\n";
    return options;
}

string NewConnPage(const string& mail, const string& options) {
    return Header("New Connector") + kForm + Hidden("", "Mail", mail) + kLayout +
           "<center><table border=\"0\">\n<tr>" + kHeading + ">Channel:</td>" + kHeading +
           " align=left>Identifier</td>" + kHeading +
           " align=left>Permission</td></tr>\n<tr><td><select name=Channel>" + options + "</select></td>\n" +
           "<td><input type=\"text\" name=\"Identifier\"></td>\n<td>" +
           Select({"None", "Receive", "Send", "Send/Receive"}, "Send/Receive") +
           "</td>\n</tr>\n</table></center>\n" + Footer() + BarStart("") + GoBackCell(false) + ResetCell() +
           "\t\t\t\t<td>\n" + "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"AddChannel\">\n" +
           "\t\t\t\t\t<input type=\"submit\" name=\"AddChannel\" value=\"Create Connector\">\n" +
           "\t\t\t\t</td>\n" + BarEnd("align=right", false, "newcon") +
           "\t\t</td>\n\t</tr>\n</form>\n</table>\n" + kPageClose;
}

string MenuPage(const string& options) {
    return Header("List Connector") + kForm + kLayout + "<center><table border=\"0\">\n<tr>" + kHeading +
           ">Channel:</td>" + kHeading + " align=left>Identifier</td></tr>\n<tr><td><select name=Channel>" +
           options +
           "</select></td>\n<td><input type=\"text\" name=\"Identifier\" value=\"*\"></td>\n</tr>\n" +
           "</table></center>\n" + Footer() + BarStart("") + ResetCell() +
           "\t\t\t\t<td>\n\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"ListConn\">\n"
           "\t\t\t\t\t<input type=\"submit\" name=\"ListConn\" value=\"List\">\n\t\t\t\t</td>\n" +
           BarEnd("align=right", false, "listconn") + kLayoutEnd + "</form>\n" + PageEnd();
}

string UsersPage(const std::vector<std::vector<string>>& users) {
    string rows;
    for (const auto& user : users) rows += usertexts::ListRow(user[0], user[1], user[2], user[3]);
    return Header("List Users") + usertexts::UserTable(rows) + PageEnd();
}

string GoBackPage(const string& title, const string& message) {
    return Header(title) + ResultBox(message) + "<form>" + kGoBack.substr(0, kGoBack.size() - 1) +
           "</form>\n" + PageEnd();
}

string Missing(const string& field) { return "Incomplete request: the field \"" + field + "\" is missing"; }
const char kTooLong[] = "Error: connector value longer than 511 characters";
const char kPermissionTooLong[] = "Error: permission value longer than 511 characters";

}  // namespace conntest
