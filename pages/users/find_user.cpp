// FindUser: the user details page. Shows one user's attributes and aliases
// with the buttons that lead to edit, delete, connectors and a new alias
// (each carrying the user's primary address), and an optional message.
#include <cstdio>
#include <string>

#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_details.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// The bar's forms carry the user (the Edit form names its command first).
void PrintButtonBar(const char* identity) {
    PrintButtonBarStart("valign=top");
    PrintGoBackCell(true);
    PrintCommandCell({{"Command", "EditUser"}, {"Mail", identity}}, "EditUser", "Edit");
    PrintCommandCell({{"Mail", identity}, {"Command", "DeleteUser"}}, "DeleteUser", "Delete");
    PrintCommandCell({{"Mail", identity}, {"Command", "ViewConn"}}, "ViewConn", "View Connectors");
    PrintCommandCell({{"Mail", identity}, {"Command", "NewAlias"}}, "ViewConn", "New Mail Alias");
    PrintButtonBarEnd("valign=top align=right", HelpIn::kOwnForm, "userdetail");
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
