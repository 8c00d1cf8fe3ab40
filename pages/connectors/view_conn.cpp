// ViewConn: the list of a user's connectors, one row per othermailbox value
// holding a "$", each row a form that opens the connector (ClickConn). Also
// the answer of the changing connector pages. Reads the directory only.
#include <cstdio>
#include <cstring>
#include <string>

#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kHeading[] = "<td bgcolor=2166ab style=\"color:#FFFFFF\">";

// The row of one value of `entry`; none for a value without "$".
void PrintConnectorRow(const SearchReq* entry, const char* value, const char* mail) {
    std::string channel, identifier;
    if (!SplitConnector(value, &channel, &identifier)) return;
    const char* permission = GetChannelPermission(entry->attrs, channel.c_str());
    if (permission[0] == '\0') permission = " ";  // no permission value: one blank, here and on
    printf("<tr valign=top>\n");
    PrintFormStart("");
    printf("<td>\n");
    PrintHiddenField("", "Mail", mail);
    PrintHiddenField("", "Othermailbox", value);
    printf("<input type=\"hidden\" name=\"Command\" value=\"ClickConn\">\n");
    PrintHiddenField("", "Permission", permission);
    printf("%s\n", SubmitButton("ClickConn", channel.c_str()).c_str());
    printf("</td>\n");
    printf("<td>%s</td>\n", ReadOnlyField("Identifier", identifier.c_str()).c_str());
    printf("<td>%s</td>\n", ReadOnlyField("Permission", permission).c_str());
    printf("</form>\n");
    printf("</tr>\n");
}

void PrintCommandCell(const char* mail, const char* command, const char* button) {
    printf("\t\t\t\t<td>\n");
    PrintFormStart("\t\t\t\t");
    PrintHiddenField("\t\t\t\t\t", "Mail", mail);
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", command);
    printf("\t\t\t\t\t%s\n", button);
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintButtonBar(const char* mail) {
    PrintLayoutStart();
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr valign=top>\n");
    PrintCommandCell(mail, "FindUser", "<input type=\"submit\" name=\"Button\" value=\"Go back\">");
    PrintCommandCell(mail, "NewConn", "<input type=\"submit\" name=\"NewConn\" value=\"New\">");
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td align=right>\n");
    printf("\t\t<form>\n");
    PrintHelpButton("\t\t\t", "viewcon");
    printf("\t\t</form>\n");
    PrintLayoutEnd();
}

}  // namespace

int ViewConn(const char* mail) {
    PrintPageHeader("View Connector");
    std::string fault = RequestFault({{"Mail", mail}});
    if (!fault.empty()) {
        PrintResultPageAndEnd(fault.c_str());
        return 0;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 1;
    }
    bool failed = false;
    SearchResult result(client, FindUserByMail(client, mail, &failed));
    if (!result) {
        PrintResultPageAndEnd(failed ? "Error connecting to LDAP port on server" : "User not found");
        return failed ? 1 : 0;
    }
    PrintLayoutStart();
    printf("<center><table border=\"0\">\n");
    PrintUserRow(result.get(), mail);
    printf("</table>\n");
    printf("<table border=\"1\">\n");
    printf("<tr>%sConnector</td>%sIdentifier</td>%sPermission</td></tr>\n", kHeading, kHeading, kHeading);
    // Only the attribute name as the directory spells it.
    for (const SearchReq* entry = result.get(); entry->next != nullptr; entry = entry->next)
        for (const attrval* node = entry->attrs; node != nullptr && node->next != nullptr; node = node->next)
            if (strcmp(node->name, "othermailbox") == 0) PrintConnectorRow(entry, node->value, mail);
    printf("</table></center>\n");
    PrintPageFooter();
    PrintButtonBar(mail);
    PrintLayoutEnd();
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
