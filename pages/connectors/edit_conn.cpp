// EditConn: the form that changes a connector's identifier and its channel's
// permission (the channel itself is read-only); its button sends UpdateConn.
// Reads the directory for the user row only.
#include <cstdio>
#include <string>

#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "pages/users/user_details.h"
#include "platform/ldapclient/ldapclient.h"

int EditConn(const char* mail, const char* otherMailbox, const char* permission) {
    PrintPageHeader("Edit Connector Information");
    ldapClient client;
    ShownConnector shown{SearchResult(client, nullptr), "", ""};
    int status = 0;
    if (!OpenShownConnector(
            client, mail, otherMailbox, permission,
            {"Error connecting to LDAP server", 0, "User not found, no channels can be displayed"}, &shown,
            &status))
        return status;
    const SearchResult& result = shown.user;
    const std::string &channel = shown.channel, &identifier = shown.identifier;
    std::string select = PrintPermissionSelect(permission, channel.c_str());
    PrintFormStart("");
    PrintHiddenField("", "Mail", mail);
    PrintHiddenField("", "Othermailbox", otherMailbox);
    PrintLayoutStart();
    printf("<center><table border=\"0\">\n");
    PrintUserRow(result.get(), mail);
    printf("</table>\n");
    printf("<table border=\"1\">\n");
    PrintFieldRow("Connector", ReadOnlyField("Channel", channel.c_str()));
    // An identifier holding a line break, which a browser would strip from a
    // text field, is shown marked and sent empty: UpdateConn keeps it.
    PrintFieldRow("Identifier", HasLineBreak(identifier.c_str())
                                    ? std::string(kValueWithLineBreak) +
                                          "<input type=\"hidden\" name=\"Identifier\" value=\"\">"
                                    : std::string("<input type=\"text\" name=\"Identifier\" value=\"") +
                                          HtmlEscape(identifier.c_str()) + "\">");
    PrintFieldRow("Permission", select);
    printf("</table></center>\n");
    PrintPageFooter();
    PrintButtonBarStart("valign=top");
    PrintGoBackCell(false);
    PrintCommandCell({{"Command", "UpdateConn"}}, "UpdateConn", "Update", nullptr);
    PrintButtonBarEnd("valign=top align=right", HelpIn::kPageForm, "editconn");
    PrintLayoutEnd();
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
