// One search of cn=monitor's syncrepl consumers for their phase.
#include "directory/catching_up.h"

#include <strings.h>

#include <cstring>

#include "directory/entry_stream.h"

namespace {

constexpr char kMonitorBase[] = "cn=monitor";
constexpr char kConsumerFilter[] = "(objectClass=olmSyncReplInstance)";
constexpr char kPhase[] = "olmSRSyncPhase";
constexpr char kRefreshing[] = "Refresh";

bool Is(const berval& value, const char* text) {
    return value.bv_len == strlen(text) && memcmp(value.bv_val, text, value.bv_len) == 0;
}

bool IsName(const berval& name, const char* text) {
    return name.bv_len == strlen(text) && strncasecmp(name.bv_val, text, name.bv_len) == 0;
}

}  // namespace

// The phase is compared here: the monitor does not match filters on it.
bool CatchingUp(ldapClient& session) {
    static const char* const kAttributes[] = {kPhase, nullptr};
    bool refreshing = false;
    ForEachEntryWithControls(session, kMonitorBase, LDAP_SCOPE_SUBTREE, kConsumerFilter, kAttributes, nullptr,
                             nullptr, 0, nullptr, [&refreshing](StreamedEntry& consumer) {
                                 berval name;
                                 berval* values = nullptr;
                                 while (!refreshing && consumer.NextAttribute(&name, &values))
                                     for (int i = 0; values && values[i].bv_val && !refreshing; ++i)
                                         refreshing = IsName(name, kPhase) && Is(values[i], kRefreshing);
                                 return !refreshing;
                             });
    return refreshing;
}
