// The settle of the channels an import row touched; see import_settle.h.
#include "transfer/import_settle.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "pages/connectors/channel_permission.h"

namespace {

// `values` of attribute `name` after the changes of `list`: its deletes
// taken out (letter case ignored), its adds put in.
std::vector<std::string> AfterChanges(std::vector<std::string> values, const AttrList& list,
                                      const char* name) {
    for (const attrval* node = list.head; node != nullptr && node->next != nullptr; node = node->next) {
        if (strcasecmp(node->name, name) != 0) continue;
        if (node->op == kAttrAdd) values.push_back(node->value);
        if (node->op == kAttrDelete)
            values.erase(
                std::remove_if(values.begin(), values.end(),
                               [&](const std::string& v) { return strcasecmp(v.c_str(), node->value) == 0; }),
                values.end());
    }
    return values;
}

// What an entry holds of one channel: its connectors, counted, and its
// permission values, lower-cased for comparing and as spelled.
struct ChannelHold {
    int connectors = 0;
    std::set<std::string> lowered;
    std::vector<std::string> permissions;
    bool operator==(const ChannelHold& other) const {
        return connectors == other.connectors && lowered == other.lowered;
    }
};

ChannelHold HoldOf(const std::string& channel, const std::vector<std::string>& connectors,
                   const std::vector<std::string>& permissions) {
    const std::string prefix = channel + "$";  // lower-cased
    ChannelHold hold;
    for (const std::string& value : connectors) hold.connectors += Lowered(value).rfind(prefix, 0) == 0;
    for (const std::string& value : permissions)
        if (Lowered(value).rfind(prefix, 0) == 0 && hold.lowered.insert(Lowered(value)).second)
            hold.permissions.push_back(value);
    return hold;
}

}  // namespace

void SettleTouchedChannels(ldapClient& client, const char* mail, const SearchReq* entry, const AttrList& list,
                           bool permissionsColumn) {
    std::map<std::string, std::string> touched;  // lower-cased -> as named
    for (const attrval* node = list.head; node != nullptr && node->next != nullptr; node = node->next) {
        const char* dollar = strchr(node->value, '$');
        if (dollar != nullptr &&
            (strcasecmp(node->name, "x-permission") == 0 || strcasecmp(node->name, "othermailbox") == 0))
            touched.emplace(Lowered(std::string(node->value, dollar)), std::string(node->value, dollar));
    }
    if (touched.empty()) return;
    int status = -1;
    SearchResult now(client,
                     client.ldapClientSearch(entry->dn, LDAP_SCOPE_BASE, 0, "(objectClass=*)", &status));
    if (!now) return;
    const auto connectors = AfterChanges(EntryAttrValues(entry, "othermailbox"), list, "othermailbox");
    const auto permissions = AfterChanges(EntryAttrValues(entry, "x-permission"), list, "x-permission");
    for (const auto& [lower, name] : touched) {
        const ChannelHold planned = HoldOf(lower, connectors, permissions);
        if (planned == HoldOf(lower, EntryAttrValues(now.get(), "othermailbox"),
                              EntryAttrValues(now.get(), "x-permission")))
            continue;
        std::string wanted = planned.permissions.size() == 1 ? planned.permissions[0] : "";
        if (planned.permissions.empty() && !permissionsColumn)
            for (const attrval* node = list.head; node != nullptr && node->next != nullptr; node = node->next)
                if (node->op == kAttrDelete && strcasecmp(node->name, "x-permission") == 0 &&
                    Lowered(node->value).rfind(lower + "$", 0) == 0)
                    wanted = node->value;
        wanted = wanted.empty() ? "" : wanted.substr(wanted.find('$') + 1);
        SettleChannelPermission(client, mail, name.c_str(), wanted.c_str(), "Import");
    }
}
