// FindUser: the user details page. Shows one user's attributes and aliases
// with the buttons that lead to edit, delete, connectors and a new alias
// (each carrying the user's primary address), and an optional message.
#include <cstdio>
#include <string>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_details.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// One cell of the button bar: a form posting `command` for the user (the
// Edit form names its command first, the others the address first).
void PrintCommandCell(const char* identity, const char* command, bool commandFirst, const char* submit) {
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    if (commandFirst) {
        printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", command);
        printf("\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"%s\">\n",
               HtmlEscape(identity).c_str());
    } else {
        printf("\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"%s\">\n",
               HtmlEscape(identity).c_str());
        printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", command);
    }
    printf("\t\t\t\t\t%s\n", submit);
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintButtonBar(const char* identity) {
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr valign=top>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t<form>\n");
    printf(
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n");
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
    PrintCommandCell(identity, "EditUser", true, "<input type=\"submit\" name=\"EditUser\" value=\"Edit\">");
    PrintCommandCell(identity, "DeleteUser", false,
                     "<input type=\"submit\" name=\"DeleteUser\" value=\"Delete\">");
    PrintCommandCell(identity, "ViewConn", false,
                     "<input type=\"submit\" name=\"ViewConn\" value=\"View Connectors\">");
    PrintCommandCell(identity, "NewAlias", false,
                     "<input type=\"submit\" name=\"ViewConn\" value=\"New Mail Alias\">");
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td valign=top align=right>\n");
    printf("\t\t<form>\n");
    printf(
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/userdetail.htm', 'LDAP', 400,400);\">\n");
    printf("\t\t</form>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
}

}  // namespace

int FindUser(const char* mail, const char* message) {
    PrintPageHeader("User Details");
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 0;
    }
    bool failed = false;
    SearchResult found(client, FindUserByMail(client, mail, &failed));
    SearchReq* result = found.get();
    if (failed) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 0;
    }
    if (result == nullptr) {
        std::string text = "User (";
        text.append(HtmlEscape(mail)).append(") not found");
        PrintResultPageAndEnd(text.c_str());
        return 0;
    }
    std::string identity = UserIdentity(result);
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("    <tr>\n");
    printf("\t\t<td>\n");
    PrintUserDetailTable(result, true);
    PrintPageFooter();
    PrintButtonBar(identity.c_str());
    printf("\t\t</td>\n");
    printf("    </tr>\n");
    printf("</table>\n");
    if (message != nullptr) printf("<center>%s\n</center>", message);
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
