// SettleChannelPermission: one read of the entry, then a modification for
// each value to add or delete; a value a racer changed first is no failure.
#include "pages/connectors/channel_permission.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/entry_stream.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "pages/connectors/connector_values.h"

namespace {

constexpr int kSettleRounds = 3;

// One value added or removed; false when the server did not answer (the
// settling then stops, so that the page keeps to its time limit).
bool ChangePermission(ldapClient& client, const char* dn, int op, const std::string& value,
                      const char* page) {
    AttrList list;
    int status = AddAttrValue(&list.head, op, "x-permission", "%s", value.c_str()) && AddAttrEnd(&list.head)
                     ? DirectoryModify(client, dn, list.head)
                     : LDAP_NO_MEMORY;
    if (status != 0 && status != LDAP_NO_SUCH_ATTRIBUTE && status != LDAP_TYPE_OR_VALUE_EXISTS)
        LogPrintf(kLogError, "%s: permission %s of %s not %s", page, value.c_str(), dn,
                  op == kAttrAdd ? "added" : "removed");
    return !IsConnectionFailure(status);
}

// Whether the entry holds a connector of `channel` among the values too long
// for the client to read: the directory compares them.
bool HoldsLongConnector(ldapClient& client, const char* dn, const char* channel) {
    // Not known: held, so that the value stays.
    return EntryMatches(client, dn, "(othermailbox=" + EscapeFilterValue(channel) + "$*)") != 0;
}

}  // namespace

void SettleChannelPermission(ldapClient& client, const char* mail, const char* channel, const char* wanted,
                             const char* page) {
    // An added value may meet a racer's, added on the same reading: the entry
    // is read again after each add, a few times at most.
    for (int round = 0; round < kSettleRounds; ++round) {
        SearchResult user(client, FindUserByMail(client, mail));
        if (!user) return;
        const SearchReq* entry = user.get();
        const std::vector<std::string> values = ChannelPermissionValues(entry->attrs, channel);
        const bool connected =
            CountChannelConnectors(entry->attrs, channel) > 0 ||
            (HasTooLongValue(entry, "othermailbox") && HoldsLongConnector(client, entry->dn, channel));
        if (connected && values.empty()) {
            if (wanted[0] == '\0') return;
            if (!ChangePermission(client, entry->dn, kAttrAdd, std::string(channel) + "$" + wanted, page))
                return;
            continue;
        }
        // The first value in the entry's order stays: the one the pages show,
        // and the same one to every racer (a delete moves no other value). A
        // value naming no permission ("CHANNEL$") counts as none.
        const std::size_t bare = strlen(channel) + 1;
        auto kept = std::find_if(values.begin(), values.end(),
                                 [bare](const std::string& value) { return value.size() != bare; });
        if (kept == values.end()) kept = values.begin();
        if (!connected) kept = values.end();
        for (auto value = values.begin(); value != values.end(); ++value)
            if (value != kept && !ChangePermission(client, entry->dn, kAttrDelete, *value, page)) return;
        return;
    }
}
