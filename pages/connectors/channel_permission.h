// The channel's permission after a connector page changed the directory:
// requests racing on one channel may each act on what they read before the
// other wrote, and leave a channel with two permission values, a connector
// without its channel's value, or a value without connectors. Touches the
// user's entry only, one modification a value.
#ifndef LDAPCGI_PAGES_CONNECTORS_CHANNEL_PERMISSION_H
#define LDAPCGI_PAGES_CONNECTORS_CHANNEL_PERMISSION_H

#include "platform/ldapclient/ldapclient.h"

// Reads the entry of `mail` again and settles `channel`: with connectors,
// one value is kept (the first in the entry's order that names a
// permission: the one the pages show, and the same to every racer), or
// `wanted` is added when none is left and it is not empty;
// without connectors, none is kept. A connector value too long to be read
// counts as one of its channel (the directory tells which). `page` names the
// page in the log line of a value that could not be changed.
void SettleChannelPermission(ldapClient& client, const char* mail, const char* channel, const char* wanted,
                             const char* page);

#endif
