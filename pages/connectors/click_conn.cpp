// ClickConn: one connector of a user, read-only, with the buttons that lead
// to editing and deleting it. Reads the directory for the user row only; the
// connector value and permission are the ones the list passed on.
#include <cstdio>
#include <string>

#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

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
    PrintButtonBarStart("valign=top");
    PrintGoBackCell(true);
    PrintConnectorCommandCell(mail, otherMailbox, permission, "EditConn", "Edit");
    PrintConnectorCommandCell(mail, otherMailbox, permission, "DeleteConn", "Delete");
    PrintButtonBarEnd("valign=top align=right", HelpIn::kOwnForm, "editconn");
    PrintLayoutEnd();
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
