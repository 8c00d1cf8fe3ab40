// dc= domain names and the creation of missing domain entries. Labels are
// DN-escaped on the way into a DN and unescaped on the way out, so an odd
// label can never name another entry. Results are built in growing strings:
// no input length overflows anything.
#include "directory/domain_names.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/limits.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/owners.h"

namespace {

char* CopyOut(const std::string& text) {
    char* copy = static_cast<char*>(malloc(text.size() + 1));
    if (copy) memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The first `stop` in the DN text that no backslash escapes; null when none.
char* FirstUnescaped(char* text, char stop) {
    for (char* p = text; *p; ++p) {
        if (*p == '\\') {
            if (!p[1]) return nullptr;
            ++p;
        } else if (*p == stop) {
            return p;
        }
    }
    return nullptr;
}

// The comma that ends the first RDN, or null.
char* FirstRdnEnd(char* dn) { return FirstUnescaped(dn, ','); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// RFC 4514 value text to the value itself: "\," -> ",", "\C3\A9" -> bytes.
std::string UnescapeDnValue(const char* text) {
    std::string value;
    for (const char* p = text; *p; ++p) {
        if (*p == '\\' && p[1]) {
            int high = HexDigit(p[1]);
            int low = high >= 0 && p[2] ? HexDigit(p[2]) : -1;
            if (low >= 0) {
                value += static_cast<char>(high * 16 + low);
                p += 2;
            } else {
                value += *++p;
            }
        } else {
            value += *p;
        }
    }
    return value;
}

bool DomainExists(ldapClient& client, const char* dn, int* status) {
    SearchResult found(client,
                       client.ldapClientSearch(dn, LDAP_SCOPE_BASE, 0, "(objectClass=domain)", status));
    return *status == 0;
}

// Adds one domain entry; the topmost (no comma) also names its dc value.
bool AddDomainEntry(ldapClient& client, char* dn) {
    AttrList list;
    AddAttrValue(&list.head, kAttrAdd, "objectClass", "%s", "domain");
    if (!FirstRdnEnd(dn)) {
        const char* equals = strchr(dn, '=');
        std::string label = UnescapeDnValue(equals ? equals + 1 : "");
        AddAttrValue(&list.head, kAttrAdd, "dc", "%s", label.c_str());
    }
    AddAttrEnd(&list.head);
    int rc = DirectoryAdd(client, dn, list.head);
    if (rc == LDAP_SUCCESS) return true;
    // Created by a request running beside this one: the tree is there.
    int status = 0;
    return rc == LDAP_ALREADY_EXISTS && DomainExists(client, dn, &status);
}

bool CreateDomainTreeAt(ldapClient& client, char* dn) {
    int status = 0;
    if (DomainExists(client, dn, &status)) return true;
    if (status != 1) return false;
    char* comma = FirstRdnEnd(dn);
    if (comma && !CreateDomainTreeAt(client, comma + 1)) return false;
    return AddDomainEntry(client, dn);
}

}  // namespace

bool CreateDomainTree(ldapClient& client, const char* dn) {
    if (!dn || !*dn) return false;
    std::string copy = dn;  // parents are suffixes of the same text
    return CreateDomainTreeAt(client, &copy[0]);
}

bool CreateMailDomainTree(ldapClient& client, const char* mail) {
    OwnedText suffix(client.GetSuffix(mail));
    return suffix != nullptr && CreateDomainTree(client, suffix.get());
}

char* DomainToDn(char* domain) {
    if (!domain || strlen(domain) > kMaxDomainNameLength) return nullptr;
    std::string dn;
    char* label = domain;
    while (*label) {
        char* dot = strchr(label, '.');
        if (dot) *dot = '\0';
        if (*label) {
            if (!dn.empty()) dn += ",";
            dn += "dc=" + EscapeDnValue(label);
        }
        if (!dot) break;
        label = dot + 1;
    }
    return CopyOut(dn);
}

char* DnToDomain(char* dn) {
    if (!dn) return nullptr;
    StrToLower(dn);
    std::string domain;
    char* rdn = dn;
    while (rdn) {
        char* comma = FirstRdnEnd(rdn);
        if (comma) *comma = '\0';
        // A component of several values (cn=n+dc=m) gives its dc= value.
        for (char* value = rdn; value != nullptr;) {
            char* plus = FirstUnescaped(value, '+');
            if (plus) *plus = '\0';
            while (*value == ' ') ++value;
            if (strncmp(value, "dc=", 3) == 0 && value[3]) {
                if (!domain.empty()) domain += ".";
                domain += UnescapeDnValue(value + 3);
                break;
            }
            value = plus ? plus + 1 : nullptr;
        }
        rdn = comma ? comma + 1 : nullptr;
    }
    return domain.empty() ? nullptr : CopyOut(domain);
}

bool DcLabels(const char* dn, std::vector<std::string>* labels) {
    labels->clear();
    if (!dn || !*dn) return false;
    std::string copy = dn;
    char* rdn = &copy[0];
    while (rdn) {
        char* comma = FirstRdnEnd(rdn);
        if (comma) *comma = '\0';
        if (strncasecmp(rdn, "dc=", 3) != 0) return false;
        // An unescaped "+" joins a second value to the component.
        for (const char* p = rdn + 3; *p; ++p) {
            if (*p == '+') return false;
            if (*p == '\\' && p[1]) ++p;
        }
        labels->push_back(UnescapeDnValue(rdn + 3));
        rdn = comma ? comma + 1 : nullptr;
    }
    return true;
}

bool IsMixedDomainDn(const char* dn) {
    if (dn == nullptr || *dn == '\0') return false;
    std::string copy = dn;
    bool dc = false, other = false;
    for (char* rdn = &copy[0]; rdn != nullptr;) {
        char* comma = FirstRdnEnd(rdn);
        if (comma) *comma = '\0';
        bool single = true, hasDc = false;
        for (char* value = rdn; value != nullptr;) {
            char* plus = FirstUnescaped(value, '+');
            if (plus) *plus = '\0', single = false;
            while (*value == ' ') ++value;
            if (strchr(value, '=') == nullptr) return false;
            hasDc = hasDc || (strncasecmp(value, "dc=", 3) == 0 && value[3]);
            value = plus ? plus + 1 : nullptr;
        }
        dc = dc || hasDc;
        other = other || !single || !hasDc;
        rdn = comma ? comma + 1 : nullptr;
    }
    return dc && other;
}

bool LabelsSurviveDots(const std::vector<std::string>& labels) {
    for (const std::string& label : labels)
        if (label.empty() || label.find_first_of(".=") != std::string::npos) return false;
    return true;
}

std::string LabelsToDn(const std::vector<std::string>& labels) {
    std::string dn;
    for (const std::string& label : labels)
        dn += (dn.empty() ? "dc=" : ",dc=") + EscapeDnValue(label.c_str());
    return dn;
}

char* StrToUpper(char* text) {
    for (char* p = text; p && *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return text;
}

char* StrToLower(char* text) {
    for (char* p = text; p && *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return text;
}

std::string Lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
