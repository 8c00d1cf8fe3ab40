// A user's identity: the primary address, the value of the leading "mail="
// component of the entry's DN. Reads DNs only; touches no directory.
#ifndef LDAPCGI_PAGES_USERS_USER_IDENTITY_H
#define LDAPCGI_PAGES_USERS_USER_IDENTITY_H

#include <string>

#include "directory/primary_address.h"

struct SearchReq;

// Identity of the first entry of a result: its primary address, or, for an
// entry not named by mail=, its first mail value; empty for no entry.
std::string UserIdentity(SearchReq* result);
// True when `mail` names the first entry of `result` (its primary address,
// letter case ignored).
bool IsUserIdentity(SearchReq* result, const char* mail);

#endif
