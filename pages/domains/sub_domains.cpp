// FindSubDomains: one one-level search for domain entries below the domain's
// DN; only DNs are read, each turned back into a dotted name, and kept as
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
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// Appends the names of the result's entries to *list.
void AppendNames(const SearchReq* result, std::vector<SubDomain>* list) {
    for (const SearchReq* entry = result; entry->next != nullptr; entry = entry->next) {
        std::string dn = entry->dn;  // DnToDomain lower-cases and cuts its argument
        OwnedText name(DnToDomain(&dn[0]));
        if (name == nullptr) continue;
        std::vector<std::string> labels;
        // The dotted name leads back to the domain unless a label would not
        // survive the dots or the name is longer than a domain name may be.
        bool named = !DcLabels(entry->dn, &labels) ||
                     (LabelsSurviveDots(labels) && strlen(name.get()) <= kMaxDomainNameLength);
        list->push_back({name.get(), named ? "" : entry->dn});
    }
}

}  // namespace

std::string DomainBaseDn(const char* domain) {
    if (domain == nullptr) return "";
    std::vector<std::string> labels;
    if (DcLabels(domain, &labels)) return LabelsToDn(labels);
    std::string copy = domain;  // DomainToDn splits its argument
    OwnedText dn(DomainToDn(&copy[0]));
    return dn != nullptr ? dn.get() : "";
}

bool DomainTooLong(const char* domain) {
    std::size_t length = domain != nullptr ? strlen(domain) : 0;
    if (length <= kMaxDomainNameLength) return false;
    std::vector<std::string> labels;
    return length > kMaxDomainDnLength || !DcLabels(domain, &labels);
}

DomainSearch FindSubDomains(const char* domain, std::vector<SubDomain>* list) {
    list->clear();
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return DomainSearch::kNoDirectory;
    std::string base = DomainBaseDn(domain);
    const AdminScope& scope = RequestScope();
    int status = -1;
    SearchResult result(client, nullptr);
    if (scope.everything || (!base.empty() && DnInScope(scope, base.c_str()))) {
        result.reset(
            client.ldapClientSearch(base.c_str(), LDAP_SCOPE_ONELEVEL, 1, "(objectClass=domain)", &status));
    } else if (base.empty() && !scope.domains.empty()) {
        // The top, for a login limited to some domains: its own domains' entries.
        std::string filter = "(&(objectClass=domain)(|";
        for (const std::string& dn : ScopeDomainDns(scope))
            filter += "(entryDN=" + EscapeFilterValue(dn.c_str()) + ")";
        filter += "))";
        result.reset(client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 1, filter.c_str(), &status));
    } else {
        return DomainSearch::kDone;  // outside its domains: a level without sub-domains
    }
    if (!result) return DomainSearch::kFailed;
    AppendNames(result.get(), list);
    return DomainSearch::kDone;
}
