// The sub-domains of a domain: the domain entries directly below its dc= DN,
// as dotted lower-case names in the order the directory returned them.
// Opens a directory session of its own for the one search.
#ifndef LDAPCGI_PAGES_DOMAINS_SUB_DOMAINS_H
#define LDAPCGI_PAGES_DOMAINS_SUB_DOMAINS_H

#include <string>

// One sub-domain; `name` is allocated with malloc.
struct DomainNode {
    char* name;
    DomainNode* next;
};

enum class DomainSearch { kDone, kNoDirectory, kFailed };

// Fills *list (null when there are none) and returns kDone; on failure the
// list is null and the result says why. `domain` null or empty: the top of
// the tree. The caller bounds the name's length (DomainToDn's limit).
DomainSearch FindSubDomains(const char* domain, DomainNode** list);
// The dc= DN of a dotted name; "" (the top of the tree) for null, an empty
// name, a name without labels or one longer than DomainToDn takes.
std::string DomainBaseDn(const char* domain);
// Releases every node and its name.
void FreeDomainList(DomainNode* list);

#endif
