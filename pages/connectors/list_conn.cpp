// ListConnMenu, the form that asks for a channel and an identifier pattern,
// and ListConn, which lists the users holding a matching connector with the
// shared user table. The channel and identifier are escaped for the filter,
// "*" kept as the wildcard; a filter too long for its buffer is refused.
#include <cstdio>
#include <string>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/users/list_filter.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kHeading[] = "<td bgcolor=2166ab style=\"color:#FFFFFF\"";

// The search filter; false when it would not fit the filter buffer.
bool BuildConnectorFilter(const char* channel, const char* identifier, std::string* filter) {
    filter->assign("(&(otherMailbox=");
    AppendFilterValue(filter, channel);
    filter->append("$");
    AppendFilterValue(filter, identifier);
    filter->append(")(objectClass=xoperson))");
    return filter->size() < kTextBufferSize;
}

}  // namespace

int ListConnMenu() {
    PrintPageHeader("List Connector");
    ldapClient client;
    const char* host = OpenDirectory(client);  // for the host name only
    if (host == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP server");
        return 0;
    }
    std::string options;
    if (!ReadChannelOptions(host, &options)) {
        PrintResultPageAndEnd(options.c_str());
        return 0;
    }
    PrintFormStart("");
    PrintLayoutStart();
    printf("<center><table border=\"0\">\n");
    printf("<tr>%s>Channel:</td>%s align=left>Identifier</td></tr>\n", kHeading, kHeading);
    printf("<tr><td><select name=Channel>%s</select></td>\n", options.c_str());
    printf("<td><input type=\"text\" name=\"Identifier\" value=\"*\"></td>\n");
    printf("</tr>\n");
    printf("</table></center>\n");
    PrintPageFooter();
    PrintButtonBarStart("");
    PrintResetCell();
    PrintCommandCell({{"Command", "ListConn"}}, "ListConn", "List", nullptr);
    PrintButtonBarEnd("align=right", HelpIn::kPageForm, "listconn");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("</form>\n");
    PrintPageEnd();
    return 0;
}

int ListConn(const char* channel, const char* identifier, const char* position, const char* goTo) {
    PrintPageHeader("List Users");
    std::string fault = RequestFault({{"Channel", channel}, {"Identifier", identifier}});
    if (!fault.empty()) {
        PrintResultPageAndEnd(fault.c_str());
        return 0;
    }
    std::string filter;
    if (!BuildConnectorFilter(channel, identifier, &filter)) {
        PrintResultPageAndEnd("Error: search values too long");
        return 0;
    }
    ldapClient client;
    UserTableRequest request{"ListConn", {{"Channel", channel}, {"Identifier", identifier}}, position, goTo};
    // The message also ends a table whose search the directory stopped answering.
    if (OpenDirectory(client) == nullptr ||
        !PrintUserTable(client, filter.c_str(), "", LDAP_SCOPE_SUBTREE, request)) {
        PrintResultPageAndEnd("Error connecting to LDAP server");
        return 0;
    }
    PrintPageEnd();
    return 0;
}
