// Whether a provider of a replicated directory is still catching up on
// another provider's changes, as its cn=monitor database shows it. Reads
// cn=monitor on the given bound session; changes nothing.
#ifndef LDAPCGI_DIRECTORY_CATCHING_UP_H
#define LDAPCGI_DIRECTORY_CATCHING_UP_H

#include "platform/ldapclient/ldapclient.h"

// True when one of the server's syncrepl consumers is connected and in its
// refresh phase: the server is still loading what another provider changed
// meanwhile (after a restart, say) and answers with old entries. A server without a monitor
// database, or whose monitor the account may not read, counts as current.
bool CatchingUp(ldapClient& session);

#endif
