// ViewConn: the list of a user's connectors, one row per othermailbox value
// holding a "$", each row a form that opens the connector (ClickConn). Also
// the answer of the changing connector pages. Reads the directory only. The
// wildcard address lists the connectors of every user of the login's
// domains, streamed one entry at a time so that memory stays flat however
// many users there are.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "directory/admin_scope.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kHeading[] = "<td bgcolor=2166ab style=\"color:#FFFFFF\">";

// The row of one value of an entry; none for a value without "$".
void PrintConnectorRow(const std::unordered_map<std::string, const char*>& permissions, const char* value,
                       const char* mail) {
    std::string channel, identifier;
    if (!SplitConnector(value, &channel, &identifier)) return;
    std::string lower = channel;
    auto found = permissions.find(StrToLower(&lower[0]));
    const char* permission = found != permissions.end() ? found->second : "";
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

// The rows of one entry's attribute list, in its order; only the attribute
// name as the directory spells it counts.
void PrintEntryRows(const attrval* attrs, const char* mail) {
    const auto permissions = ChannelPermissionTexts(attrs);
    for (const attrval* node = attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (strcmp(node->name, "othermailbox") == 0) PrintConnectorRow(permissions, node->value, mail);
}

// Copies a streamed value into a node as the client's search does: a value
// too long for the node is marked and left empty, never cut.
attrval ValueNode(const berval& name, const berval& value) {
    attrval node{};
    memcpy(node.name, name.bv_val, std::min(name.bv_len, kAttrNameSize - 1));
    if (value.bv_len >= kAttrValueSize)
        node.op = kAttrTooLong;
    else
        memcpy(node.value, value.bv_val, value.bv_len);
    return node;
}

// The rows of every user's connectors, in the order of the search; an
// LDAP result code (LDAP_SIZELIMIT_EXCEEDED when the record limit cut it).
int PrintEveryUsersRows(ldapClient& client, const char* mail) {
    static const char* const kAttributes[] = {"othermailbox", "x-permission", nullptr};
    const std::string filter = ScopedFilter(RequestScope(), kEveryUserFilter);
    ReadEntriesAhead(client);
    return ForEachEntry(
        client, "", LDAP_SCOPE_SUBTREE, filter.c_str(), kAttributes, "The search for every user's connectors",
        [mail](StreamedEntry& entry) {
            // An entry below the login's domains under an address outside
            // them (made by other tools) is left out, as in the user tables.
            std::string primary;
            if (!RequestScope().everything &&
                (!PrimaryAddressFromDn(std::string(entry.Dn().bv_val, entry.Dn().bv_len).c_str(), &primary) ||
                 !AddressInScope(RequestScope(), primary.c_str())))
                return;
            std::vector<attrval> nodes;
            berval name;
            berval* values;
            while (entry.NextAttribute(&name, &values))
                for (int i = 0; values != nullptr && values[i].bv_val != nullptr; ++i)
                    if (name.bv_len < kAttrNameSize) nodes.push_back(ValueNode(name, values[i]));
            nodes.push_back(attrval{});  // the terminator
            for (std::size_t i = 0; i + 1 < nodes.size(); ++i) nodes[i].next = &nodes[i + 1];
            PrintEntryRows(nodes.data(), mail);
        });
}

void PrintButtonBar(const char* mail) {
    PrintButtonBarStart("valign=top");
    PrintCommandCell({{"Mail", mail}, {"Command", "FindUser"}}, "Button", "Go back");
    PrintCommandCell({{"Mail", mail}, {"Command", "NewConn"}}, "NewConn", "New");
    PrintButtonBarEnd("align=right", HelpIn::kOwnForm, "viewcon");
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
    if (mail == nullptr || strcmp(mail, "*") == 0) {
        const int code = PrintEveryUsersRows(client, mail);
        if (code != LDAP_SUCCESS && code != LDAP_SIZELIMIT_EXCEEDED) {
            PrintResultPageAndEnd("Error connecting to LDAP port on server");
            return 1;
        }
    } else {
        PrintEntryRows(result.get()->attrs, mail);
    }
    printf("</table></center>\n");
    PrintPageFooter();
    PrintButtonBar(mail);
    PrintLayoutEnd();
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
