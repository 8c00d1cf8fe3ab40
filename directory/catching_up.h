// Whether a provider of a replicated directory is still catching up on
// another provider's changes, as its cn=monitor database shows it. Reads
// cn=monitor on the given bound session; changes nothing.
#ifndef LDAPCGI_DIRECTORY_CATCHING_UP_H
#define LDAPCGI_DIRECTORY_CATCHING_UP_H

#include "platform/ldapclient/ldapclient.h"

enum class ReplicaState { kCurrent, kCatchingUp, kSilent };

// kCatchingUp when one of the server's syncrepl consumers is connected and in
// its refresh phase: the server is still loading what another provider
// changed meanwhile (after a restart, say) and answers with old entries.
// kSilent when the search got no answer in time, or the connection was lost:
// the server stalled after the bind (its error line is logged). A server
// without a monitor database, or whose monitor the account may not read,
// counts as current.
ReplicaState ReplicationState(ldapClient& session);

#endif
