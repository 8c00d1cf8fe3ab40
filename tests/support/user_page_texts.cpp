// Expected user page texts, written out from the pages' templates.
#include "tests/support/user_page_texts.h"

#include <cctype>
#include <cstdio>

#include "tests/support/page_texts.h"

namespace usertexts {

namespace {

using std::string;

const string kForm = "<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\"";

using pagetexts::Help;

}  // namespace

string Encode(const string& text, bool form) {
    string out;
    char code[8];
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else {
            snprintf(code, sizeof code, form ? "%%%02X" : "&#%d;", c);
            out += code;
        }
    }
    return out;
}

ProcessResult PostFields(const Fields& fields, const string& configDir) {
    string body;
    for (const auto& f : fields) body += (body.empty() ? "" : "&") + f.first + "=" + Encode(f.second, true);
    return RunCgiPost(body, {{"XOMTA_CONFIG_DIR", configDir}});
}

const string kTooLong = "\x01(too long)", kTooLongMark = "(value too long to show)";

string DetailTable(const Person& p, bool ro, const string& aliasRows) {
    const string th = "<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">";
    auto item = [ro](const string& label, const string& field, const string& value) {
        const string shown = value == kTooLong ? kTooLongMark : Encode(value);
        string cell =
            value == kTooLong && !ro
                ? "\t\t\t\t\t" + kTooLongMark + "\n\t\t\t\t\t<input type=\"hidden\" name=\"" + field +
                      "\" value=\"\">\n"
            : field == "Address" ? "\t\t\t\t\t<textarea " + string(ro ? "readonly" : "") +
                                       " name=\"Address\" rows=\"4\" >" + shown + "</textarea>\n"
            : ro ? shown + "\n"
                 : "\t\t\t\t\t<input type=\"text\" name=\"" + field + "\" value=\"" + shown + "\">\n";
        return "\t\t\t<tr>\n\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label +
               " :</td>\n\t\t\t\t<td>\n" + cell + "\t\t\t\t</td>\n\t\t\t</tr>\n";
    };
    return "\t\t<table  align=\"center\" valign=\"top\" border=\"0\">\n\t\t<tr>\n\t\t<td>\n"
           "\t\t\t<table  cellpadding=\"4\" valign=\"top\" border=\"1\">\n\t\t\t<tr>\n\t\t\t\t" +
           th + "Item</td>\n\t\t\t\t" + th + "Value</td>\n\t\t\t</tr>\n" +
           item("First Name", "FirstName", p.first) + item("Last Name", "LastName", p.last) +
           item("Telephone Number", "TelNo", p.tel) + item("Address", "Address", p.address) +
           item("Mail", "Mail", p.mail) +
           "\t\t</table>\n\t\t</td>\n\t\t<td valign=\"top\">\n"
           "\t\t\t<table cellpadding=\"4\" valign=\"top\" border=\"1\">\n\t\t\t<tr>\n"
           "\t\t\t\t<td align=\"center\" bgcolor=2166ab style=\"color:#FFFFFF\">Email Aliases</td>\n"
           "\t\t\t</tr>\n" +
           aliasRows + "\t\t</table>\n\t\t</td>\n\t\t<tr>\n\t\t</table>\n";
}

string AliasRow(const string& primaryLink, const string& alias, const string& link) {
    return "\t\t\t<tr>\n<td><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=ViewAlias&Mail=" + primaryLink +
           "&MailAlias=" + (link.empty() ? alias : link) + ">" + Encode(alias) + "</td>\n\t\t\t<tr>\n";
}

string DetailsPage(const Person& p, const string& aliasRows, const char* message) {
    auto button = [&p](const string& command, const string& name, const string& value) {
        string c = "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n";
        string m = "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"" + Encode(p.mail) + "\">\n";
        return "\t\t\t\t<td>\n\t\t\t\t" + kForm + ">\n" + (command == "EditUser" ? c + m : m + c) +
               "\t\t\t\t\t<input type=\"submit\" name=\"" + name + "\" value=\"" + value +
               "\">\n\t\t\t\t</form>\n\t\t\t\t</td>\n";
    };
    string page =
        pagetexts::Header("User Details") + "<table border=\"0\" width=\"100%\">\n    <tr>\n\t\t<td>\n" +
        DetailTable(p, true, aliasRows) + pagetexts::Footer() + pagetexts::BarStart("valign=top") +
        pagetexts::GoBackCell(true) + button("EditUser", "EditUser", "Edit") +
        button("DeleteUser", "DeleteUser", "Delete") + button("ViewConn", "ViewConn", "View Connectors") +
        button("NewAlias", "ViewConn", "New Mail Alias") +
        pagetexts::BarEnd("valign=top align=right", true, "userdetail") + "\t\t</td>\n    </tr>\n</table>\n";
    if (message != nullptr) page += "<center>" + string(message) + "\n</center>";
    return page + "</body>\n</html>\n";
}

string ListRow(const string& first, const string& last, const string& tel, const string& mail,
               const string& url) {
    const string a = "<a href=/vemo/cgi-bin/ldapcgi.cgi?Command=FindUser&Mail=" + (url.empty() ? mail : url),
                 td = "</td>\n\t\t\t<td align=left>";
    return "\t\t<tr>\n\t\t\t<td align=left>" + a + ">" + Encode(first) + td + a + ">" + Encode(last) + td +
           Encode(tel) + td + a + ">" + Encode(mail) + "</td>\n\t\t</tr>\n";
}

string UserTable(const string& rows) {
    string page = kForm +
                  ">\n<center>\n<table border=\"0\">\n\t<tr>\n        <td>"
                  "<table border=\"0\">\n\t\t\t<tr>\n\t\t\t  <td><table border=\"0\">\n\t\t\t\t<tr>\n";
    for (const char* title : {"First Name", "Last Name", "Telephone Number", "Mail"})
        page += "                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>" + string(title) +
                "</center></td>\n";
    return page + "\t\t\t    </tr>\n\t\t\t    <tr>\n" + rows +
           "\t\t        </table>\n\t\t      </td>\n"
           "\t\t\t</tr>\n\t\t</table>\n\t\t</td>\n\t</tr>\n</table>\n" +
           pagetexts::Footer() + "<form>\n<table border=\"0\" align=\"right\">\n\t<tr>\n        <td>\n" +
           Help("\t\t", "listuser") + "\t\t</td>\n\t</tr>\n</table>\n<center>\n</form>\n";
}

}  // namespace usertexts
