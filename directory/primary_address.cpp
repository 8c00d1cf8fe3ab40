// Primary address of a user entry from its DN, decoded from the DN's string
// form (so "mail=a\+b@x,..." gives a+b@x). Reads DNs only.
#include "directory/primary_address.h"

#include <strings.h>

#include <cstring>

#include "platform/ldapclient/ldapclient.h"

namespace {

// The first component's value as it stands, when it needs no decoding: no
// escapes, quotes, further values or hex form, and none of the blanks that
// the DN parser strips (space, tab, CR, LF) at either end.
bool PlainFirstValue(const char* value, std::string* address) {
    const char* comma = strchr(value, ',');
    if (comma == nullptr || comma == value || comma[1] == '\0') return false;
    for (const char* p = value; p < comma; ++p) {
        if (strchr("\\\"+;<>#=", *p) != nullptr) return false;
    }
    if (strchr(" \t\r\n", value[0]) != nullptr || strchr(" \t\r\n", comma[-1]) != nullptr) return false;
    address->assign(value, static_cast<std::size_t>(comma - value));
    return true;
}

}  // namespace

bool PrimaryAddressFromDn(const char* dn, std::string* address) {
    address->clear();
    if (dn == nullptr || strncasecmp(dn, "mail=", 5) != 0) return false;
    if (PlainFirstValue(dn + 5, address)) return true;
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || parsed == nullptr) return false;
    bool ok = false;
    LDAPRDN first = parsed[0];
    // One value in the first component, and at least one component after it.
    if (first != nullptr && first[0] != nullptr && first[1] == nullptr && parsed[1] != nullptr &&
        first[0]->la_attr.bv_len == 4 && strncasecmp(first[0]->la_attr.bv_val, "mail", 4) == 0 &&
        (first[0]->la_flags & LDAP_AVA_BINARY) == 0) {
        address->assign(first[0]->la_value.bv_val, first[0]->la_value.bv_len);
        ok = address->find('\0') == std::string::npos;
        if (!ok) address->clear();
    }
    ldap_dnfree(parsed);
    return ok;
}

std::string ParentDn(const std::string& dn) {
    for (std::size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\')
            ++i;
        else if (dn[i] == ',')
            return dn.substr(i + 1);
    }
    return "";
}
