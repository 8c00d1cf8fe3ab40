// DeleteConn, the read-only confirmation of a connector's deletion, and
// VerifyDeleteConn, which deletes the connector from the user whose primary
// address is Mail, with the channel's stored permission value when it was
// the channel's last connector, in one modification, then settles what
// racers left of that permission (channel_permission.h); it answers with the
// connector list.
#include <cstdio>
#include <string>

#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "pages/connectors/channel_permission.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kVerifyTitle[] = "Update Connector";

void PrintButtonBar(const char* mail, const char* otherMailbox, const char* permission) {
    PrintButtonBarStart("valign=top");
    PrintGoBackCell(true);
    PrintConnectorCommandCell(mail, otherMailbox, permission, "VerifyDeleteConn", "Confirm");
    PrintButtonBarEnd("align=right", HelpIn::kOwnForm, "delconn");
}

// Deletes the connector; the message of a failure, or null.
const char* DeleteConnector(const char* mail, const char* otherMailbox) {
    ldapClient client;
    bool connected = false;
    SearchResult result = FindUserToChange(client, mail, &connected);
    if (!connected) return "Error connecting to LDAP server";
    if (!result) return "User not found, channel can not be deleted";
    std::string channel, identifier;
    if (!SplitConnector(otherMailbox, &channel, &identifier)) return "Invalid Channel value";
    const attrval* attrs = result.get()->attrs;
    AttrList list;
    bool built = true;
    // The last connector of a channel (the one going is counted) takes the
    // permission value stored for the channel along, whatever the list showed
    // (should a value too long to read be the channel's, the settling below
    // puts it back).
    const char* stored = FindPermissionValue(attrs, channel.c_str());
    const bool last = CountChannelConnectors(attrs, channel.c_str()) <= 1;
    if (last && stored != nullptr)
        built = AddAttrValue(&list.head, kAttrDelete, "x-permission", "%s", stored);
    // The value as the entry holds it (a browser sends line breaks back as
    // CRLF); one it does not hold is asked for all the same, and refused.
    const char* held = FindOtherMailbox(result.get(), otherMailbox);
    built =
        AddAttrValue(&list.head, kAttrDelete, "othermailbox", "%s", *held != '\0' ? held : otherMailbox) &&
        built;
    built = AddAttrEnd(&list.head) && built;
    TerminationHeld signals;  // the browser gone (SIGTERM) parts no change from its settle
    if (!built || DirectoryModify(client, result.get()->dn, list.head) != 0) return "Delete Operation Failed";
    // A racer may have added a connector of the channel, or taken another away.
    const std::string taken = last && stored != nullptr ? stored + channel.size() + 1 : "";
    SettleChannelPermission(client, mail, channel.c_str(), taken.c_str(), "VerifyDeleteConn");
    return nullptr;
}

}  // namespace

int DeleteConn(const char* mail, const char* otherMailbox, const char* permission) {
    PrintPageHeader("Delete Connector");
    ldapClient client;
    ShownConnector shown{SearchResult(client, nullptr), "", ""};
    int status = 0;
    if (!OpenShownConnector(
            client, mail, otherMailbox, permission,
            {"Error connecting to LDAP server", 0, "User not found, channel can not be updated"}, &shown,
            &status))
        return status;
    const SearchResult& result = shown.user;
    const std::string &channel = shown.channel, &identifier = shown.identifier;
    PrintLayoutStart();
    printf("<form><center><table border=\"0\">\n");
    PrintUserRow(result.get(), mail);
    printf("</table>\n");
    printf("<table border=\"1\">\n");
    PrintFieldRow("Connector", ReadOnlyField("Channel", channel.c_str()));
    PrintFieldRow("Identifier", ReadOnlyField("Identifier", identifier.c_str()));
    PrintFieldRow("Permission", ReadOnlyField("Permission", permission));
    printf("</table></center></form>\n");
    PrintPageFooter();
    PrintButtonBar(mail, otherMailbox, permission);
    PrintLayoutEnd();
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}

int VerifyDeleteConn(const char* mail, const char* otherMailbox, const char* permission) {
    std::string fault = RequestFault(
        {{"Mail", mail}, {"Othermailbox", otherMailbox}, {"Permission", permission}}, otherMailbox);
    if (!fault.empty()) {
        PrintErrorPage(kVerifyTitle, "%s", fault.c_str());
        return 0;
    }
    const char* failure = DeleteConnector(mail, otherMailbox);
    if (failure != nullptr) {
        PrintErrorPage(kVerifyTitle, "%s", failure);
        return 0;
    }
    return ViewConn(mail);
}
