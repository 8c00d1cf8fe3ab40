// FindSubDomains: one one-level search for domain entries below the domain's
// DN, streamed; only DNs are read, each turned back into a dotted name, and kept as
// well when the name would lose a label. An entry whose DN has no dc=
// component has no name and is passed over. A login limited to some domains
// sees its own domains at the top and nothing outside them.
#include "pages/domains/sub_domains.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/admin_scope.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// Appends the name of the domain entry `dn` to *list.
void AppendName(const std::string& dn, std::vector<SubDomain>* list) {
    std::string text = dn;  // DnToDomain lower-cases and cuts its argument
    OwnedText name(DnToDomain(&text[0]));
    if (name == nullptr) return;
    std::vector<std::string> labels;
    // The dotted name leads back to the domain unless a label would not
    // survive the dots, the name is longer than a domain name may be, or a
    // component is other than one dc= value.
    bool named = DcLabels(dn.c_str(), &labels)
                     ? LabelsSurviveDots(labels) && strlen(name.get()) <= kMaxDomainNameLength
                     : !IsMixedDomainDn(dn.c_str());
    list->push_back({name.get(), named ? "" : dn});
}

}  // namespace

std::string DomainBaseDn(const char* domain) {
    if (domain == nullptr) return "";
    std::vector<std::string> labels;
    if (DcLabels(domain, &labels)) return LabelsToDn(labels);
    if (IsMixedDomainDn(domain)) return domain;
    std::string copy = domain;  // DomainToDn splits its argument
    OwnedText dn(DomainToDn(&copy[0]));
    return dn != nullptr ? dn.get() : "";
}

bool DomainTooLong(const char* domain) {
    std::size_t length = domain != nullptr ? strlen(domain) : 0;
    if (length <= kMaxDomainNameLength) return false;
    std::vector<std::string> labels;
    return length > kMaxDomainDnLength || (!DcLabels(domain, &labels) && !IsMixedDomainDn(domain));
}

DomainSearch FindSubDomains(const char* domain, std::vector<SubDomain>* list) {
    list->clear();
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return DomainSearch::kNoDirectory;
    std::string base = DomainBaseDn(domain);
    const AdminScope& scope = RequestScope();
    std::string filter = "(objectClass=domain)";
    int scopeOfSearch = LDAP_SCOPE_ONELEVEL;
    if (!scope.everything && (base.empty() || !DnInScope(scope, base.c_str()))) {
        if (!base.empty() || scope.domains.empty())
            return DomainSearch::kDone;  // outside its domains: a level without sub-domains
        // The top, for a login limited to some domains: its own domains' entries.
        filter = "(&(objectClass=domain)(|";
        for (const std::string& dn : ScopeDomainDns(scope))
            filter += "(entryDN=" + EscapeFilterValue(dn.c_str()) + ")";
        filter += "))";
        scopeOfSearch = LDAP_SCOPE_SUBTREE;
    }
    // Streamed, DNs only: a level of many domains costs its names, not
    // copies of its entries.
    static const char* const kNoAttributes[] = {"1.1", nullptr};
    const int status =
        ForEachEntryWithControls(client, base.c_str(), scopeOfSearch, filter.c_str(), kNoAttributes, nullptr,
                                 nullptr, 0, nullptr, [list](StreamedEntry& entry) {
                                     AppendName(std::string(entry.Dn().bv_val, entry.Dn().bv_len), list);
                                     return true;
                                 });
    if (status == LDAP_SUCCESS || status == LDAP_NO_SUCH_OBJECT) return DomainSearch::kDone;  // no base: none
    LogLdapError(client.ld, status, "LDAP search below \"%.300s\" for %.300s", base.c_str(), filter.c_str());
    return DomainSearch::kFailed;
}
