// UpdateConn: applies the edit form to the user whose primary address is
// Mail: a new identifier replaces the connector value, a new permission
// replaces the channel's stored permission value (for every connector of
// the channel), all in one modification; answers with the connector list.
#include <strings.h>

#include <cstring>
#include <string>

#include "directory/directory_changes.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
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
    // The permission stored now, not the one the form was made with.
    const char* stored = FindPermissionValue(entry->attrs, channel.c_str());
    const char* current = GetChannelPermission(entry->attrs, channel.c_str());
    if (strcasecmp(current, permission) != 0) {
        if (stored != nullptr) built = AddAttrValue(list, kAttrDelete, "x-permission", "%s", stored) && built;
        if (permission[0] != '\0')
            built =
                AddAttrValue(list, kAttrAdd, "x-permission", "%s$%s", channel.c_str(), permission) && built;
    }
    return built;
}

// Changes the connector; the message of a failure, or null.
const char* ChangeConnector(const char* mail, const char* otherMailbox, const std::string& channel,
                            const std::string& oldIdentifier, const char* identifier,
                            const char* permission) {
    ldapClient client;
    bool connected = false;
    SearchResult result = FindUserToChange(client, mail, &connected);
    if (!connected) return "Error connecting to LDAP server";
    if (!result) return "User not found, channel can not be updated";
    AttrList list;
    bool built =
        BuildChanges(result.get(), &list.head, otherMailbox, channel, oldIdentifier, identifier, permission);
    if (built && list.head == nullptr) return nullptr;  // nothing changed: no request
    built = built && AddAttrEnd(&list.head);
    return built && DirectoryModify(client, result.get()->dn, list.head) == 0 ? nullptr
                                                                              : "Update Operation Failed";
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
    const char* failure = ChangeConnector(mail, otherMailbox, channel, oldIdentifier, identifier, permission);
    if (failure != nullptr) {
        PrintErrorPage(kTitle, "%s", failure);
        return 0;
    }
    return ViewConn(mail);
}
