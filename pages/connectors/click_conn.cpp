// ClickConn: one connector of a user, read-only, with the buttons that lead
// to editing and deleting it. Reads the directory for the user row only; the
// connector value and permission are the ones the list passed on.
#include <cstdio>
#include <string>

#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// A form carrying the connector to `command`.
void PrintConnectorCommandCell(const char* mail, const char* otherMailbox, const char* permission,
                               const char* command, const char* button) {
    printf("\t\t\t\t<td>\n");
    PrintFormStart("\t\t\t\t");
    PrintHiddenField("\t\t\t\t\t", "Mail", mail);
    PrintHiddenField("\t\t\t\t\t", "Othermailbox", otherMailbox);
    PrintHiddenField("\t\t\t\t\t", "Permission", permission);
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", command);
    printf("\t\t\t\t\t%s\n", button);
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

}  // namespace

int ClickConn(const char* mail, const char* otherMailbox, const char* permission) {
    PrintPageHeader("Connector Information");
    ldapClient client;
    ShownConnector shown{SearchResult(client, nullptr), "", ""};
    int status = 0;
    if (!OpenShownConnector(
            client, mail, otherMailbox, permission,
            {"Error connecting to LDAP port on server", 1, "User not found, no channels can be displayed"},
            &shown, &status))
        return status;
    const SearchResult& result = shown.user;
    const std::string &channel = shown.channel, &identifier = shown.identifier;
    PrintLayoutStart();
    printf("<center><table border=\"0\">\n");
    PrintUserRow(result.get(), mail);
    printf("</table>\n");
    printf("<table border=\"0\">\n");
    printf("<tr>\n");
    printf("<form>\n");
    printf("<td>\n");
    printf("<table border=\"1\">\n");
    PrintFieldRow("Connector", ReadOnlyField("Channel", channel.c_str()));
    PrintFieldRow("Identifier", ReadOnlyField("Identifier", identifier.c_str()));
    PrintFieldRow("Permission", ReadOnlyField("Permission", permission));
    printf("</table>\n");
    printf("</td>\n");
    printf("</form>\n");
    printf("</tr>\n");
    printf("</table></center>\n");
    PrintPageFooter();
    PrintLayoutStart();
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr valign=top>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t<form>\n");
    PrintGoBackButton("\t\t\t\t\t");
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
    PrintConnectorCommandCell(mail, otherMailbox, permission, "EditConn",
                              "<input type=\"submit\" name=\"EditConn\" value=\"Edit\">");
    PrintConnectorCommandCell(mail, otherMailbox, permission, "DeleteConn",
                              "<input type=\"submit\" name=\"DeleteConn\" value=\"Delete\">");
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td valign=top align=right>\n");
    printf("\t\t<form>\n");
    PrintHelpButton("\t\t\t", "editconn");
    printf("\t\t</form>\n");
    PrintLayoutEnd();
    PrintLayoutEnd();
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
