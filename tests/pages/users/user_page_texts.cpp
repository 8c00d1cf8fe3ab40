// Expected page texts and the shared directory set-up of the user page tests.
#include "tests/pages/users/user_page_texts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "html/page_frame.h"
#include "tests/support/directory_sandbox.h"

namespace userpages {

std::string ValidationScript(const std::string& field) {
    fflush(stdout);
    FILE* capture = tmpfile();
    int saved = dup(1);
    dup2(fileno(capture), 1);
    PrintEmailValidationScript(field.c_str());
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    rewind(capture);
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
    fclose(capture);
    return text;
}


std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "&#" + std::to_string(c) + ";";
        }
    }
    return out;
}

namespace {

std::string Row(bool readOnly, const std::string& label, const std::string& field, const std::string& value) {
    return "\t\t\t<tr>\n"
           "\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">" + label + " :</td>\n"
           "\t\t\t\t<td>\n" +
           (readOnly ? Escaped(value) + "\n"
                     : "\t\t\t\t\t<input type=\"text\" name=\"" + field + "\" value=\"" + Escaped(value) + "\">\n") +
           "\t\t\t\t</td>\n"
           "\t\t\t</tr>\n";
}

std::string TextArea(bool readOnly, const std::string& value) {
    return "\t\t\t<tr>\n"
           "\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">Address :</td>\n"
           "\t\t\t\t<td>\n"
           "\t\t\t\t\t<textarea " + std::string(readOnly ? "readonly" : "") + " name=\"Address\" rows=\"4\" >" +
           Escaped(value) + "</textarea>\n"
           "\t\t\t\t</td>\n"
           "\t\t\t</tr>\n";
}

std::string Cell(const std::string& primary, const std::string& command, bool commandFirst,
                 const std::string& submit) {
    std::string hiddenCommand = "\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"" + command + "\">\n";
    std::string hiddenMail = "\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"" + Escaped(primary) + "\">\n";
    return "\t\t\t\t<td>\n"
           "\t\t\t\t<form  METHOD=\"POST\" ACTION=\"/vemo/cgi-bin/ldapcgi.cgi\">\n" +
           (commandFirst ? hiddenCommand + hiddenMail : hiddenMail + hiddenCommand) + "\t\t\t\t\t" + submit + "\n" +
           "\t\t\t\t</form>\n"
           "\t\t\t\t</td>\n";
}

}  // namespace

std::string DetailTable(const Person& p, bool readOnly, const std::string& primary, const std::string& aliasRows) {
    return "\t\t<table  align=\"center\" valign=\"top\" border=\"0\">\n"
           "\t\t<tr>\n"
           "\t\t<td>\n"
           "\t\t\t<table  cellpadding=\"4\" valign=\"top\" border=\"1\">\n"
           "\t\t\t<tr>\n"
           "\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Item</td>\n"
           "\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Value</td>\n"
           "\t\t\t</tr>\n" +
           Row(readOnly, "First Name", "FirstName", p.first) + Row(readOnly, "Last Name", "LastName", p.last) +
           Row(readOnly, "Telephone Number", "TelNo", p.tel) + TextArea(readOnly, p.address) +
           Row(readOnly, "Mail", "Mail", primary) +
           "\t\t</table>\n"
           "\t\t</td>\n"
           "\t\t<td valign=\"top\">\n"
           "\t\t\t<table cellpadding=\"4\" valign=\"top\" border=\"1\">\n"
           "\t\t\t<tr>\n"
           "\t\t\t\t<td align=\"center\" bgcolor=2166ab style=\"color:#FFFFFF\">Email Aliases</td>\n"
           "\t\t\t</tr>\n" +
           aliasRows +
           "\t\t</table>\n"
           "\t\t</td>\n"
           "\t\t<tr>\n"
           "\t\t</table>\n";
}

std::string AliasRow(const std::string& primaryLink, const std::string& aliasLink, const std::string& alias) {
    return "\t\t\t<tr>\n"
           "<td><a href=/vemo/cgi-bin/ldapcgi.cgi?Command=ViewAlias&Mail=" + primaryLink + "&MailAlias=" + aliasLink +
           ">" + Escaped(alias) + "</td>\n"
           "\t\t\t<tr>\n";
}

std::string DetailsPage(const Person& p, const std::string& aliasRows, const char* message) {
    std::string page = Header("User Details") +
                       "<table border=\"0\" width=\"100%\">\n"
                       "    <tr>\n"
                       "\t\t<td>\n" +
                       DetailTable(p, true, p.mail, aliasRows) + Footer() +
                       "<table border=\"0\" width=\"100%\">\n"
                       "\t<tr>\n"
                       "\t\t<td>\n"
                       "\t\t\t<table border=\"0\">\n"
                       "\t\t\t<tr valign=top>\n"
                       "\t\t\t\t<td>\n"
                       "\t\t\t\t<form>\n"
                       "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n"
                       "\t\t\t\t</form>\n"
                       "\t\t\t\t</td>\n" +
                       Cell(p.mail, "EditUser", true, "<input type=\"submit\" name=\"EditUser\" value=\"Edit\">") +
                       Cell(p.mail, "DeleteUser", false, "<input type=\"submit\" name=\"DeleteUser\" value=\"Delete\">") +
                       Cell(p.mail, "ViewConn", false,
                            "<input type=\"submit\" name=\"ViewConn\" value=\"View Connectors\">") +
                       Cell(p.mail, "NewAlias", false,
                            "<input type=\"submit\" name=\"ViewConn\" value=\"New Mail Alias\">") +
                       "\t\t\t</tr>\n"
                       "\t\t\t</table>\n"
                       "\t\t</td>\n"
                       "\t\t<td valign=top align=right>\n"
                       "\t\t<form>\n"
                       "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
                       "onClick=\"popup('/vemo/help/ldap/sysadmin/userdetail.htm', 'LDAP', 400,400);\">\n"
                       "\t\t</form>\n"
                       "\t\t</td>\n"
                       "\t</tr>\n"
                       "</table>\n"
                       "\t\t</td>\n"
                       "    </tr>\n"
                       "</table>\n";
    if (message != nullptr) page += "<center>" + std::string(message) + "\n</center>";
    return page + "</body>\n</html>\n";
}

bool ResetDirectory(const std::string& ldif) {
    DirectorySandbox& sandbox = DirectorySandbox::Get();
    if (!sandbox.Ok()) {
        ADD_FAILURE() << "directory sandbox is not running";
        return false;
    }
    bool ok = sandbox.Reset("dn: dc=com\nobjectClass: domain\ndc: com\n\n"
                            "dn: dc=example,dc=com\nobjectClass: domain\ndc: example\n\n" +
                            ldif);
    if (!ok) ADD_FAILURE() << "directory reset failed";
    return ok;
}

Environment DirectoryEnv() { return {{"XOMTA_CONFIG_DIR", DirectorySandbox::Get().ConfigDir()}}; }

Environment ClosedPortEnv() {
    static std::string dir;
    if (dir.empty()) {
        std::string base = std::string(LDAPCGI_BINARY_DIR) + "/userpages-closed-XXXXXX";
        dir = mkdtemp(&base[0]);
        FILE* f = fopen((dir + "/XOMTA.INI").c_str(), "w");
        fputs("[Ldap]\nHostName=127.0.0.1\nPort=1\n", f);
        fclose(f);
    }
    return {{"XOMTA_CONFIG_DIR", dir}};
}

std::string UserLdif(const std::string& mail, const std::string& extraLines) {
    return "dn: mail=" + mail + ",dc=example,dc=com\nobjectClass: xoperson\nmail: " + mail + "\n" + extraLines +
           "\n";
}

std::string Entry(const std::string& dn, const std::string& attrs) {
    return DirectorySandbox::Get().Search(dn, "(objectClass=*)", attrs);
}

}  // namespace userpages

namespace userpages {

std::string Form(const std::vector<std::pair<std::string, std::string>>& fields) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string body;
    for (const auto& field : fields) {
        if (!body.empty()) body += "&";
        body += field.first + "=";
        for (unsigned char c : field.second) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-') {
                body.push_back(static_cast<char>(c));
            } else {
                body += "%";
                body.push_back(kHex[c >> 4]);
                body.push_back(kHex[c & 15]);
            }
        }
    }
    return body;
}

std::string HiddenValue(const std::string& page, const std::string& name) {
    std::string marker = "<input type=\"hidden\" name=\"" + name + "\" value=\"";
    std::size_t at = page.find(marker);
    if (at == std::string::npos) return "";
    at += marker.size();
    std::size_t end = page.find('"', at);
    std::string raw = page.substr(at, end - at), value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        std::size_t semicolon = raw.find(';', i);
        if (raw.compare(i, 2, "&#") == 0 && semicolon != std::string::npos) {
            value.push_back(static_cast<char>(std::stoi(raw.substr(i + 2, semicolon - i - 2))));
            i = semicolon;
        } else {
            value.push_back(raw[i]);
        }
    }
    return value;
}

}  // namespace userpages
