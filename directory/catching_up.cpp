// One search of cn=monitor's syncrepl consumers for their phase.
#include "directory/catching_up.h"

#include "directory/entry_stream.h"

namespace {

constexpr char kMonitorBase[] = "cn=monitor";
constexpr char kConsumerFilter[] = "(objectClass=olmSyncReplInstance)";
constexpr char kPhase[] = "olmSRSyncPhase";
constexpr char kNextConnect[] = "olmSRNextConnect";
constexpr char kRefreshing[] = "Refresh";
constexpr char kNoRetry[] = "00000101000000Z";  // the next connect's time while connected

}  // namespace

// A consumer whose last attempt failed keeps the phase it had then, with its
// next attempt's time set: it is waiting, not loading, and the server is as
// current as it can be. The monitor does not match filters on these
// attributes, so they are compared here.
ReplicaState ReplicationState(ldapClient& session) {
    static const char* const kAttributes[] = {kPhase, kNextConnect, nullptr};
    bool behind = false;
    const int code = ForEachEntryWithControls(
        session, kMonitorBase, LDAP_SCOPE_SUBTREE, kConsumerFilter, kAttributes, nullptr, nullptr, 0, nullptr,
        [&behind](StreamedEntry& consumer) {
            bool refreshing = false, waiting = false;
            berval name;
            berval* values = nullptr;
            while (consumer.NextAttribute(&name, &values)) {
                if (values == nullptr || values[0].bv_val == nullptr) continue;
                refreshing |= BervalIs(name, kPhase) && BervalIs(values[0], kRefreshing);
                waiting |= BervalIs(name, kNextConnect) && !BervalIs(values[0], kNoRetry);
            }
            behind = refreshing && !waiting;
            return !behind;
        });
    if (IsConnectionFailure(code)) {
        LogLdapError(session.ld, code, "The search of the server's replication state");
        return ReplicaState::kSilent;
    }
    return behind ? ReplicaState::kCatchingUp : ReplicaState::kCurrent;
}
