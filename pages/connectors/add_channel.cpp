// AddChannel: adds a connector to the user whose primary address is Mail,
// with the channel's permission value when the channel has none yet, in one
// modification; answers with the user's connector list. Every refusal comes
// before the directory is changed. A channel that no channel record could
// name (empty, too long, holding "$" or a control byte) is refused: the value
// stored would name another channel than the one asked for. So is one that
// the channel select does not offer; an offered one is taken in any letter
// case and stored as the select spells it, its permission rule applied.
// Requests racing on the channel are settled after the write
// (channel_permission.h).
#include <string>

#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/connectors/channel_permission.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr char kTitle[] = "Create Connector";

// One modify of the user's entry: add the connector, and the channel's
// permission when `permission` is not null.
int AddValues(ldapClient& client, const char* dn, const std::string& value, const char* channel,
              const char* permission) {
    AttrList list;
    bool built = AddAttrValue(&list.head, kAttrAdd, "othermailbox", "%s", value.c_str());
    if (permission != nullptr)
        built = AddAttrValue(&list.head, kAttrAdd, "x-permission", "%s$%s", channel, permission) && built;
    built = AddAttrEnd(&list.head) && built;
    return built ? DirectoryModify(client, dn, list.head) : LDAP_NO_MEMORY;
}

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
    const bool addsPermission =
        permission[0] != '\0' && GetChannelPermission(result.get()->attrs, channel)[0] == '\0';
    TerminationHeld signals;  // the browser gone (SIGTERM) parts no change from its settle
    int status = AddValues(client, result.get()->dn, value, channel, addsPermission ? permission : nullptr);
    // A racer stored the same permission value first: the connector alone.
    if (status == LDAP_TYPE_OR_VALUE_EXISTS && addsPermission)
        status = AddValues(client, result.get()->dn, value, channel, nullptr);
    if (status == 0) {
        SettleChannelPermission(client, mail, channel, permission, "AddChannel");
        return nullptr;
    }
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
    const char* host = DirectoryHostName();
    std::string offered;
    if (host == nullptr || !ReadChannelOptions(host, &offered)) {
        PrintErrorPage(kTitle, "%s", host == nullptr ? "Error connecting to LDAP server" : offered.c_str());
        return 0;
    }
    offered = OfferedChannel(channel);
    if (offered.empty()) {
        PrintErrorPage(kTitle, "Invalid Channel value");
        return 0;
    }
    channel = offered.c_str();
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
