// The holders of an address: one subtree search from the top of the tree for
// attribute names only, so that an entry with a value too long for the
// client still counts. DNs are compared after libldap's normalisation, since
// the server may spell a DN otherwise than we built it (escapes, blanks);
// where the text still differs, the server says how it spells our DN. An
// entry's naming value among its mail values: the server's own matching.
#include "directory/mail_holders.h"

#include <strings.h>

#include <algorithm>

#include "directory/entry_stream.h"
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

MailHolders FindMailHolders(ldapClient& client, const char* address, const char* attribute) {
    MailHolders holders;
    if (address == nullptr) return holders;
    const std::string filter = std::string("(") + attribute + "=" + EscapeFilterValue(address) + ")";
    int status = -1;
    SearchResult found(client, client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 1, filter.c_str(), &status));
    if (!found || (status != 0 && status != 1)) return holders;
    holders.answered = true;
    for (const SearchReq* entry = found.get(); entry->next != nullptr; entry = entry->next)
        holders.dns.push_back(entry->dn);
    return holders;
}

bool SameDnText(const std::string& a, const std::string& b) {
    return strcasecmp(NormalDn(a.c_str()).c_str(), NormalDn(b.c_str()).c_str()) == 0;
}

std::string StoredDn(ldapClient& client, const char* dn, bool* failed) {
    if (failed != nullptr) *failed = false;
    if (dn == nullptr || dn[0] == '\0') return "";  // an empty base would be the whole tree
    int status = -1;
    SearchResult found(client, client.ldapClientSearch(dn, LDAP_SCOPE_BASE, 1, "(objectClass=*)", &status));
    if (failed != nullptr) *failed = !found;  // status 1 (none) still hands back the terminator
    return found && status == 0 && found.get()->next != nullptr ? found.get()->dn : "";
}

std::string OtherHolder(ldapClient& client, MailHolders* holders, std::initializer_list<const char*> own) {
    std::vector<std::string> stored;  // the server's spelling of each own DN, asked once when needed
    bool asked = false;
    for (const std::string& dn : holders->dns) {
        bool isOwn = false;
        for (const char* o : own) isOwn = isOwn || SameDnText(o, dn);
        for (const char* o : own) {
            if (isOwn || asked) break;
            bool failed = false;
            stored.push_back(StoredDn(client, o, &failed));
            if (failed) {  // the holder may be the entry itself: nothing is known
                holders->answered = false;
                return "";
            }
        }
        asked = asked || !isOwn;
        for (const std::string& s : stored) isOwn = isOwn || (!s.empty() && SameDnText(s, dn));
        if (!isOwn) return dn;
    }
    return "";
}

bool IsPlain(const std::string& value) {
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) return false;
    for (std::size_t i = 0; i < value.size(); ++i)
        if (value[i] < 0x20 || value[i] > 0x7e || (value[i] == ' ' && value[i + 1] == ' ')) return false;
    return true;
}

bool AliasValues(ldapClient& client, const std::string& dn, const std::string& primary,
                 const std::vector<std::string>& values, std::vector<std::string>* aliases) {
    bool plain = IsPlain(primary);
    for (const std::string& value : values) plain = plain && IsPlain(value);
    std::vector<std::string> spellings;  // the naming value's, when asked
    if (!plain) {
        BerElement* ber = ber_alloc_t(LBER_USE_DER);
        const std::string filter = "(mail=" + EscapeFilterValue(primary.c_str()) + ")";
        berval encoded{};
        int status = LDAP_ENCODING_ERROR;
        if (ber != nullptr && ldap_put_vrFilter(ber, filter.c_str()) != -1 &&
            ber_flatten2(ber, &encoded, 0) != -1) {
            LDAPControl control{const_cast<char*>(LDAP_CONTROL_VALUESRETURNFILTER), encoded, 1};
            LDAPControl* controls[] = {&control, nullptr};
            status = ReadEntryValues(client, dn.c_str(), "mail", controls,
                                     "The search for a user's naming value", &spellings);
        }
        if (ber != nullptr) ber_free(ber, 1);
        if (status != LDAP_SUCCESS) return false;
    }
    for (const std::string& value : values)
        if (plain ? strcasecmp(value.c_str(), primary.c_str()) != 0
                  : std::find(spellings.begin(), spellings.end(), value) == spellings.end())
            aliases->push_back(value);
    return true;
}
