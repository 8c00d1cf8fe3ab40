// Directory client, naming part: the DN of a user from its mail address and
// the dc= DN of the address's domain. Every value is DN-escaped, so a crafted
// address can only ever name the one entry its text spells. The domain is
// the text after the last "@", split at "." with empty labels skipped; an
// address without "@" has no domain, and its user DN is "mail=" and the
// escaped address alone.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"

namespace {

std::string DomainDn(const char* address) {
    const char* at = strrchr(address, '@');
    std::string dn;
    if (!at) return dn;
    const char* label = at + 1;
    while (*label) {
        std::size_t length = strcspn(label, ".");
        if (length > 0) {
            if (!dn.empty()) dn += ",";
            dn += "dc=" + EscapeDnValue(std::string(label, length).c_str());
        }
        label += length;
        if (*label == '.') ++label;
    }
    return dn;
}

char* CopyOut(const std::string& text) {
    char* copy = static_cast<char*>(malloc(text.size() + 1));
    if (copy) memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

std::string EscapeDnValue(const char* value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    std::size_t length = strlen(value);
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        if (c < 0x20 || c == 0x7f) {
            escaped += '\\';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 15];
        } else if (strchr("\"+,;<>=\\", c) || (i == 0 && (c == '#' || c == ' ')) ||
                   (i == length - 1 && c == ' ')) {
            escaped += '\\';
            escaped += static_cast<char>(c);
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

char* ldapClient::CreateDNFromMail(const char* address) {
    if (!address) return nullptr;
    std::string dn = "mail=" + EscapeDnValue(address);
    std::string suffix = DomainDn(address);
    if (!suffix.empty()) dn += "," + suffix;
    char* copy = CopyOut(dn);
    if (!copy) return nullptr;
    ::free(dnBuffer);
    dnBuffer = copy;
    return dnBuffer;
}

char* ldapClient::GetSuffix(const char* address) {
    if (!address) return nullptr;
    return CopyOut(DomainDn(address));
}
