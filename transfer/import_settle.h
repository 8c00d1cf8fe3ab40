// Settling a connector channel after an import row's write: a connector
// page may have changed the entry since the row was planned, and the row's
// change may then leave a channel with two permission values or connectors
// without one. Reads the entry once; writes through the connector pages'
// own settle (one audit line a change).
#ifndef LDAPCGI_TRANSFER_IMPORT_SETTLE_H
#define LDAPCGI_TRANSFER_IMPORT_SETTLE_H

#include "directory/owners.h"

// After the write of `list` to `entry` (as read before it) for user `mail`,
// each channel the row touched that the entry now holds otherwise than the
// plan leaves it is settled as the pages settle it, wanting the one
// permission the plan leaves, else the one the row took away with the
// channel's last connector (the file has no permissions column), else none.
// A channel as the plan leaves it stays so, values another tool stored
// included.
void SettleTouchedChannels(ldapClient& client, const char* mail, const SearchReq* entry, const AttrList& list,
                           bool permissionsColumn);

#endif
