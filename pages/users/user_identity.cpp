// A user's identity in a search result: its primary address.
#include "pages/users/user_identity.h"

#include <strings.h>

#include "directory/directory_session.h"
#include "platform/ldapclient/ldapclient.h"

std::string UserIdentity(SearchReq* result) {
    if (result == nullptr || result->next == nullptr) return std::string();
    std::string primary;
    if (PrimaryAddressFromDn(result->dn, &primary)) return primary;
    return GetAttrValue(result, "mail");
}

bool IsUserIdentity(SearchReq* result, const char* mail) {
    if (mail == nullptr || result == nullptr || result->next == nullptr) return false;
    std::string primary;
    return PrimaryAddressFromDn(result->dn, &primary) && strcasecmp(primary.c_str(), mail) == 0;
}
