// The scope of a login: parsing its domains, matching addresses and DNs
// against them label by label (letter case ignored, also outside ASCII, as
// the directory compares dc= values), and the narrowing filter.
#include "directory/admin_scope.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "base/limits.h"
#include "directory/domain_names.h"
#include "directory/folded_case.h"
#include "directory/mail_holders.h"
#include "directory/primary_address.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

AdminScope gRequestScope;

// Non-empty labels of a dotted name, lower-cased, first label first.
std::vector<std::string> DottedLabels(const std::string& name) {
    std::vector<std::string> labels;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t dot = name.find('.', start);
        if (dot == std::string::npos) dot = name.size();
        if (dot > start) labels.push_back(Lowered(name.substr(start, dot - start)));
        start = dot + 1;
    }
    return labels;
}

// The length in bytes of the label character at `at`: a lower-case ASCII
// letter, a digit, "-" or "_", or a letter outside ASCII in valid UTF-8
// (glibc's Unicode classes). 0 for anything else, control bytes included.
std::size_t LabelCharLength(const std::string& name, std::size_t at) {
    const unsigned char c = static_cast<unsigned char>(name[at]);
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ? 1 : 0;
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (utf8 == nullptr) return 0;
    const locale_t before = uselocale(utf8);
    wchar_t wide = 0;
    mbstate_t state = {};
    const std::size_t length = mbrtowc(&wide, &name[at], name.size() - at, &state);
    const bool letter = length >= 2 && length <= name.size() - at && iswalpha(static_cast<wint_t>(wide));
    uselocale(before);
    return letter ? length : 0;
}

bool IsDomainName(const std::string& name) {
    if (name.empty() || name.size() > kMaxDomainNameLength) return false;
    if (name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos) return false;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = name[at] == '.' ? 1 : LabelCharLength(name, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether `inner` (labels) equals `outer` or lies below it.
bool Below(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
    if (outer.empty() || inner.size() < outer.size()) return false;
    // Whole texts compared, so that a label holding a NUL never passes for a shorter one.
    return std::equal(outer.rbegin(), outer.rend(), inner.rbegin(),
                      [](const std::string& a, const std::string& b) { return SameFoldedCase(a, b); });
}

}  // namespace

bool ParseAdminDomains(const char* value, AdminScope* scope, std::vector<std::string>* rejected) {
    *scope = AdminScope{false, {}};
    rejected->clear();
    std::vector<std::string> names;
    const std::string text = value != nullptr ? value : "";
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string item = FoldedCase(Trimmed(text.substr(start, comma - start)));
        start = comma + 1;
        if (item.empty()) continue;
        if (item == "*") {
            scope->everything = true;
            continue;
        }
        if (item.back() == '.') item.pop_back();
        if (!IsDomainName(item)) {
            rejected->push_back(item);
            continue;
        }
        names.push_back(item);
        if (names.size() > kMaxAdminDomains) return false;
    }
    if (scope->everything) return true;
    // A domain below another of the list adds nothing.
    for (const std::string& name : names) {
        bool covered = false;
        for (const std::string& other : names)
            covered = covered || (other != name && Below(DottedLabels(name), DottedLabels(other)));
        if (!covered && std::find(scope->domains.begin(), scope->domains.end(), name) == scope->domains.end())
            scope->domains.push_back(name);
    }
    return true;
}

bool LabelsInScope(const AdminScope& scope, const std::vector<std::string>& labels) {
    if (scope.everything) return true;
    for (const std::string& domain : scope.domains)
        if (Below(labels, DottedLabels(domain))) return true;
    return false;
}

bool AddressInScope(const AdminScope& scope, const char* address) {
    if (scope.everything) return true;
    const char* at = address != nullptr ? strrchr(address, '@') : nullptr;
    return at != nullptr && LabelsInScope(scope, DottedLabels(at + 1));
}

bool DnInScope(const AdminScope& scope, const char* dn) {
    if (scope.everything) return true;
    LDAPDN parsed = nullptr;
    if (dn == nullptr || ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || parsed == nullptr)
        return false;
    std::size_t count = 0;
    while (parsed[count] != nullptr) ++count;
    // The run of single-valued dc= components at the end of the DN.
    std::vector<std::string> labels;
    for (std::size_t i = count; i-- > 0;) {
        LDAPRDN rdn = parsed[i];
        if (rdn[0] == nullptr || rdn[1] != nullptr || rdn[0]->la_attr.bv_len != 2 ||
            strncasecmp(rdn[0]->la_attr.bv_val, "dc", 2) != 0 || (rdn[0]->la_flags & LDAP_AVA_BINARY) != 0)
            break;
        labels.insert(labels.begin(), std::string(rdn[0]->la_value.bv_val, rdn[0]->la_value.bv_len));
    }
    ldap_dnfree(parsed);
    return LabelsInScope(scope, labels);
}

bool UserDnInScope(const AdminScope& scope, const char* dn) {
    std::string primary;
    return scope.everything || (DnInScope(scope, dn) && PrimaryAddressFromDn(dn, &primary) &&
                                AddressInScope(scope, primary.c_str()));
}

std::vector<std::string> ScopeDomainDns(const AdminScope& scope) {
    std::vector<std::string> dns;
    for (const std::string& domain : scope.domains) dns.push_back(LabelsToDn(DottedLabels(domain)));
    return dns;
}

std::string ScopedFilter(const AdminScope& scope, const char* filter) {
    if (scope.everything) return filter;
    // Below the domain's entry and holding an address of the domain: an entry
    // that other tools placed there under a foreign address alone is not
    // counted either (the rows print only entries whose own address is in it).
    std::string within;
    const std::vector<std::string> dns = ScopeDomainDns(scope);
    for (std::size_t i = 0; i < dns.size(); ++i) {
        const std::string domain = EscapeFilterValue(scope.domains[i].c_str());
        within += "(&(entryDN:dnSubtreeMatch:=" + EscapeFilterValue(dns[i].c_str()) + ")(|(mail=*@" + domain +
                  ")(mail=*." + domain + ")))";
    }
    if (scope.domains.empty())
        within = "(!(objectClass=*))";
    else if (scope.domains.size() > 1)
        within = "(|" + within + ")";
    return std::string("(&") + filter + within + ")";
}

void SetRequestScope(const AdminScope& scope) { gRequestScope = scope; }

const AdminScope& RequestScope() { return gRequestScope; }
