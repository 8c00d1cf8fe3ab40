// NewConn: the form that adds a connector to a user: the channels of the
// message-queue API, an identifier and the permission. Its button sends
// AddChannel. Reads the directory for the user only.
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

namespace {

constexpr char kHeading[] = "<td bgcolor=2166ab style=\"color:#FFFFFF\"";

}  // namespace

int NewConn(const char* mail) {
    PrintPageHeader("New Connector");
    std::string fault = RequestFault({{"Mail", mail}});
    if (!fault.empty()) {
        PrintResultPageAndEnd(fault.c_str());
        return 0;
    }
    ldapClient client;
    const char* host = OpenDirectory(client);
    if (host == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 1;
    }
    if (!SearchResult(client, FindUserByMail(client, mail))) {
        PrintResultPageAndEnd("User not found, no channels can be added");
        return 0;
    }
    std::string options;
    if (!ReadChannelOptions(host, &options)) {
        PrintResultPageAndEnd(options.c_str());
        return 0;
    }
    std::string select = PrintPermissionSelect("Send/Receive", "UNKNOWN");  // all four: no channel chosen yet
    PrintFormStart("");
    PrintHiddenField("", "Mail", mail);
    PrintLayoutStart();
    printf("<center><table border=\"0\">\n");
    printf("<tr>%s>Channel:</td>%s align=left>Identifier</td>%s align=left>Permission</td></tr>\n", kHeading,
           kHeading, kHeading);
    printf("<tr><td><select name=Channel>%s</select></td>\n", options.c_str());
    printf("<td><input type=\"text\" name=\"Identifier\"></td>\n");
    printf("<td>%s</td>\n", select.c_str());
    printf("</tr>\n");
    printf("</table></center>\n");
    PrintPageFooter();
    PrintButtonBarStart("");
    PrintGoBackCell(false);
    PrintResetCell();
    PrintCommandCell({{"Command", "AddChannel"}}, "AddChannel", "Create Connector", nullptr);
    PrintButtonBarEnd("align=right", HelpIn::kPageForm, "newcon");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</form>\n");
    printf("</table>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
