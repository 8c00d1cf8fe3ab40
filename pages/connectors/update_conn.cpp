// UpdateConn: applies the edit form to the user whose primary address is
// Mail: a new identifier replaces the connector value, a new permission
// replaces the channel's stored permission value (for every connector of
// the channel), all in one modification; answers with the connector list.
// The channel's rule holds in any letter case of its name; what racers left
// of the channel's permission is settled after the write (channel_permission.h).
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "directory/directory_changes.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/channel_permission.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "pages/users/user_details.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kTitle[] = "Update Connector";

// Appends the changes; false when a node could not be had.
bool BuildChanges(const SearchReq* entry, attrval** list, const char* otherMailbox,
                  const std::string& channel, const std::string& oldIdentifier, const char* identifier,
                  const char* permission) {
    bool built = true;
    if (oldIdentifier != identifier) {  // letter case counts
        built = AddAttrValue(list, kAttrDelete, "othermailbox", "%s", otherMailbox) && built;
        built = AddAttrValue(list, kAttrAdd, "othermailbox", "%s$%s", channel.c_str(), identifier) && built;
    }
    // The permission stored now, not the one the form was made with; where
    // racers left two values, every one goes for the one chosen.
    const char* current = GetChannelPermission(entry->attrs, channel.c_str());
    const std::vector<std::string> stored = ChannelPermissionValues(entry->attrs, channel.c_str());
    if (strcasecmp(current, permission) != 0 || stored.size() > 1) {
        for (const std::string& value : stored)
            built = AddAttrValue(list, kAttrDelete, "x-permission", "%s", value.c_str()) && built;
        if (permission[0] != '\0')
            built =
                AddAttrValue(list, kAttrAdd, "x-permission", "%s$%s", channel.c_str(), permission) && built;
    }
    return built;
}

// Changes the connector; the message of a failure, or null. One the user
// no longer holds is not changed: its channel's permission is no longer the
// connector's to set.
const char* ChangeConnector(const char* mail, const char* otherMailbox, const std::string& oldIdentifier,
                            const char* identifier, const char* permission) {
    ldapClient client;
    bool connected = false;
    SearchResult result = FindUserToChange(client, mail, &connected);
    if (!connected) return "Error connecting to LDAP server";
    if (!result) return "User not found, channel can not be updated";
    // The value as the entry holds it, its channel as the entry spells it.
    const char* held = FindOtherMailbox(result.get(), otherMailbox);
    std::string channel, stored;
    if (!SplitConnector(held, &channel, &stored)) return "Update Operation Failed";
    AttrList list;
    bool built = BuildChanges(result.get(), &list.head, held, channel, oldIdentifier, identifier, permission);
    if (built && list.head == nullptr) return nullptr;  // nothing changed: no request
    built = built && AddAttrEnd(&list.head);
    TerminationHeld signals;  // the browser gone (SIGTERM) parts no change from its settle
    if (!built || DirectoryModify(client, result.get()->dn, list.head) != 0) return "Update Operation Failed";
    SettleChannelPermission(client, mail, channel.c_str(), permission, "UpdateConn");
    return nullptr;
}

}  // namespace

int UpdateConn(const char* mail, const char* otherMailbox, const char* identifier, const char* permission) {
    std::string fault = RequestFault({{"Mail", mail},
                                      {"Othermailbox", otherMailbox},
                                      {"Identifier", identifier},
                                      {"Permission", permission}},
                                     otherMailbox);
    if (!fault.empty()) {
        PrintErrorPage(kTitle, "%s", fault.c_str());
        return 0;
    }
    std::string channel, oldIdentifier;
    if (!SplitConnector(otherMailbox, &channel, &oldIdentifier)) {
        PrintErrorPage(kTitle, "Invalid Channel value");
        return 0;
    }
    std::string message;
    if (!CheckConnectorPermission(channel.c_str(), permission, &message)) {
        PrintGoBackRefusal(kTitle, message.c_str());
        return 0;
    }
    if (!ConnectorFits(channel, identifier) || !ConnectorFits(channel, permission)) {
        PrintErrorPage(kTitle, "%s",
                       ConnectorFits(channel, identifier) ? kPermissionTooLong : kConnectorTooLong);
        return 0;
    }
    // An identifier holding a line break, which EditConn sends empty, stays as it is.
    if (identifier[0] == '\0' && HasLineBreak(oldIdentifier.c_str())) identifier = oldIdentifier.c_str();
    const char* failure = ChangeConnector(mail, otherMailbox, oldIdentifier, identifier, permission);
    if (failure != nullptr) {
        PrintErrorPage(kTitle, "%s", failure);
        return 0;
    }
    return ViewConn(mail);
}
