// The sub-domains of a domain: the domain entries directly below its dc= DN,
// as dotted lower-case names in the order the directory returned them. A
// domain whose labels a dotted name cannot give back (one holds ".") travels
// in links as its DN instead.
// Opens a directory session of its own for the one search.
#ifndef LDAPCGI_PAGES_DOMAINS_SUB_DOMAINS_H
#define LDAPCGI_PAGES_DOMAINS_SUB_DOMAINS_H

#include <string>
#include <vector>

// One sub-domain: its dotted name, and the DN that links carry when the name
// would lose a label (else empty).
struct SubDomain {
    std::string name;
    std::string dn;
};

enum class DomainSearch { kDone, kNoDirectory, kFailed };

// Fills *list (empty when there are none) and returns kDone; on failure the
// list is empty and the result says why. `domain` null or empty: the top of
// the tree. The caller bounds its length (DomainTooLong). For a login
// limited to some domains the top lists the entries of those domains, and a
// domain outside them has no sub-domains.
DomainSearch FindSubDomains(const char* domain, std::vector<SubDomain>* list);
// The dc= DN of a dotted name, or of a DN made of dc= components only (or
// of a DN with dc= values among other components, taken as it is); ""
// (the top of the tree) for null, an empty name, a name without labels or
// one longer than DomainToDn takes.
std::string DomainBaseDn(const char* domain);
// Whether `domain` is longer than a link may name a domain by.
bool DomainTooLong(const char* domain);

#endif
