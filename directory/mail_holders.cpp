// The holders of an address: one subtree search from the top of the tree for
// attribute names only, so that an entry with a value too long for the
// client still counts. DNs are compared after libldap's normalisation, since
// the server may spell a DN otherwise than we built it (escapes, blanks).
#include "directory/mail_holders.h"

#include <strings.h>

#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

std::string NormalDn(const char* dn) {
    char* normal = nullptr;
    if (dn == nullptr ||
        ldap_dn_normalize(dn, LDAP_DN_FORMAT_LDAPV3, &normal, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS ||
        normal == nullptr)
        return dn == nullptr ? "" : dn;
    std::string text = normal;
    ldap_memfree(normal);
    return text;
}

std::string EscapeFilterValue(const char* value) {
    std::string out;
    for (const char* p = value; p != nullptr && *p != '\0'; ++p) {
        switch (*p) {
            case '*':
                out.append("\\2a");
                break;
            case '(':
                out.append("\\28");
                break;
            case ')':
                out.append("\\29");
                break;
            case '\\':
                out.append("\\5c");
                break;
            default:
                out.push_back(*p);
        }
    }
    return out;
}

MailHolders FindMailHolders(ldapClient& client, const char* address) {
    MailHolders holders;
    if (address == nullptr) return holders;
    const std::string filter = "(mail=" + EscapeFilterValue(address) + ")";
    int status = -1;
    SearchResult found(client, client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 1, filter.c_str(), &status));
    if (!found || (status != 0 && status != 1)) return holders;
    holders.answered = true;
    for (const SearchReq* entry = found.get(); entry->next != nullptr; entry = entry->next)
        holders.dns.push_back(entry->dn);
    return holders;
}

std::string OtherHolder(const MailHolders& holders, std::initializer_list<const char*> own) {
    std::vector<std::string> owned;
    for (const char* dn : own) owned.push_back(NormalDn(dn));
    for (const std::string& dn : holders.dns) {
        const std::string normal = NormalDn(dn.c_str());
        bool isOwn = false;
        for (const std::string& o : owned) isOwn = isOwn || strcasecmp(o.c_str(), normal.c_str()) == 0;
        if (!isOwn) return dn;
    }
    return "";
}
