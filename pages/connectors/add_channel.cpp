// AddChannel: adds a connector to the user whose primary address is Mail,
// with the channel's permission value when the channel has none yet, in one
// modification; answers with the user's connector list. Every refusal comes
// before the directory is changed. A channel that no channel record could
// name (empty, too long, holding "$" or a control byte) is refused: the value
// stored would name another channel than the one asked for.
#include <string>

#include "directory/directory_changes.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kTitle[] = "Create Connector";

// Adds the connector; the message of a failure, or null.
const char* AddConnector(const char* mail, const char* channel, const char* permission,
                         const std::string& value, const char** title) {
    ldapClient client;
    bool connected = false;
    SearchResult result = FindUserToChange(client, mail, &connected);
    if (!connected) return "Error connecting to LDAP server";
    if (!result) return "User not found, no channels can be displayed";
    // The whole value, letter case ignored: SMTPC$jo is no duplicate of SMTPC$john.
    if (FindOtherMailbox(result.get(), value.c_str())[0] != '\0') return "Channel already exist";
    AttrList list;
    bool built = AddAttrValue(&list.head, kAttrAdd, "othermailbox", "%s", value.c_str());
    if (permission[0] != '\0' && GetChannelPermission(result.get()->attrs, channel)[0] == '\0')
        built = AddAttrValue(&list.head, kAttrAdd, "x-permission", "%s$%s", channel, permission) && built;
    built = AddAttrEnd(&list.head) && built;
    if (built && DirectoryModify(client, result.get()->dn, list.head) == 0) return nullptr;
    *title = "Update Connector";
    return "Could not add a new channel";
}

}  // namespace

int AddChannel(const char* mail, const char* channel, const char* identifier, const char* permission) {
    std::string fault = RequestFault(
        {{"Mail", mail}, {"Channel", channel}, {"Identifier", identifier}, {"Permission", permission}});
    if (!fault.empty()) {
        PrintErrorPage(kTitle, "%s", fault.c_str());
        return 0;
    }
    if (!IsChannelName(channel)) {
        PrintErrorPage(kTitle, "Invalid Channel value");
        return 0;
    }
    std::string message;
    if (!CheckConnectorPermission(channel, permission, &message)) {
        PrintGoBackRefusal(kTitle, message.c_str());
        return 0;
    }
    if (identifier[0] == '\0') {
        PrintErrorPage(kTitle, "No identifier value given");
        return 0;
    }
    std::string value = std::string(channel) + "$" + identifier;
    if (!ConnectorFits(value.c_str()) || !ConnectorFits(channel, permission)) {
        PrintErrorPage(kTitle, "%s", ConnectorFits(value.c_str()) ? kPermissionTooLong : kConnectorTooLong);
        return 0;
    }
    const char* title = kTitle;
    const char* failure = AddConnector(mail, channel, permission, value, &title);
    if (failure != nullptr) {
        PrintErrorPage(title, "%s", failure);
        return 0;
    }
    return ViewConn(mail);
}
