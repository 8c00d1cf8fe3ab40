// FindSubDomains: one one-level search for domain entries below the domain's
// DN; only DNs are read, each turned back into a dotted name, and kept as
// well when the name would lose a label. An entry whose DN has no dc=
// component has no name and is passed over.
#include "pages/domains/sub_domains.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// Appends the names of the result's entries after *tail; false when memory runs out.
bool AppendNames(const SearchReq* result, DomainNode** tail) {
    for (const SearchReq* entry = result; entry->next != nullptr; entry = entry->next) {
        std::string dn = entry->dn;  // DnToDomain lower-cases and cuts its argument
        char* name = DnToDomain(&dn[0]);
        if (name == nullptr) continue;
        DomainNode* node = static_cast<DomainNode*>(calloc(1, sizeof(DomainNode)));
        if (node == nullptr) {
            free(name);
            return false;
        }
        node->name = name;
        *tail = node;  // linked first: freed with the list on failure
        std::vector<std::string> labels;
        if (DcLabels(entry->dn, &labels) && !LabelsSurviveDots(labels)) {
            node->dn = strdup(entry->dn);
            if (node->dn == nullptr) return false;
        }
        tail = &node->next;
    }
    return true;
}

}  // namespace

std::string DomainBaseDn(const char* domain) {
    if (domain == nullptr) return "";
    std::vector<std::string> labels;
    if (DcLabels(domain, &labels)) return LabelsToDn(labels);
    std::string copy = domain;  // DomainToDn splits its argument
    char* dn = DomainToDn(&copy[0]);
    std::string base = dn != nullptr ? dn : "";
    free(dn);
    return base;
}

bool DomainTooLong(const char* domain) {
    std::size_t length = domain != nullptr ? strlen(domain) : 0;
    if (length <= kMaxDomainNameLength) return false;
    std::vector<std::string> labels;
    return length > kMaxDomainDnLength || !DcLabels(domain, &labels);
}

DomainSearch FindSubDomains(const char* domain, DomainNode** list) {
    *list = nullptr;
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return DomainSearch::kNoDirectory;
    std::string base = DomainBaseDn(domain);
    int status = -1;
    SearchResult result(client, client.ldapClientSearch(base.c_str(), LDAP_SCOPE_ONELEVEL, 1,
                                                        "(objectClass=domain)", &status));
    if (!result) return DomainSearch::kFailed;
    if (AppendNames(result.get(), list)) return DomainSearch::kDone;
    FreeDomainList(*list);
    *list = nullptr;
    return DomainSearch::kFailed;
}

void FreeDomainList(DomainNode* list) {
    while (list != nullptr) {
        DomainNode* next = list->next;
        free(list->name);
        free(list->dn);
        free(list);
        list = next;
    }
}
