// What the login of a request may manage: every entry, or the mail domains
// of its [Administrators] line and their subdomains. The parse of that line,
// the matching rules for addresses and DNs, and the search filter that keeps
// a search inside the domains. Pure text work but for the DN parser; the
// scope of the running request is held here, set once by the dispatcher
// (never set: everything, as for the alias table tool).
// Limits: kMaxAdminDomains domains per login, each at most
// kMaxDomainNameLength characters.
#ifndef LDAPCGI_DIRECTORY_ADMIN_SCOPE_H
#define LDAPCGI_DIRECTORY_ADMIN_SCOPE_H

#include <string>
#include <vector>

struct AdminScope {
    bool everything = true;
    // Dotted names in FoldedCase without a trailing dot; none covers another.
    std::vector<std::string> domains;
};

// Reads an [Administrators] value: comma-separated domains, blanks around
// them ignored, letter case ignored (FoldedCase), one trailing dot ignored;
// "*" stands for everything. A domain is labels of letters (outside ASCII
// too, in valid UTF-8), digits, "-" and "_" joined by dots. Items that are
// no domain are left out and listed in *rejected.
// False when the value names more than kMaxAdminDomains domains.
bool ParseAdminDomains(const char* value, AdminScope* scope, std::vector<std::string>* rejected);

// Whether the domain of `address` (the text after its last "@", empty
// labels skipped, as user DNs are made) is one of the scope's domains or
// below one. An address without "@" is in no domain.
bool AddressInScope(const AdminScope& scope, const char* address);
// Whether the dc= components that end `dn` name a domain of the scope or
// one below it (for a user, the domain its entry lives in).
bool DnInScope(const AdminScope& scope, const char* dn);
// Whether the entry `dn` is one of the scope's users: it lives in one of the
// domains and its primary address (the DN's mail= value) is in one, as the
// user pages find users. An entry that other tools placed in a domain under
// a foreign address is not.
bool UserDnInScope(const AdminScope& scope, const char* dn);
// Whether the dotted labels `labels` (first label first) lie in the scope.
bool LabelsInScope(const AdminScope& scope, const std::vector<std::string>& labels);

// The dc= DNs of the scope's domains, in its order.
std::vector<std::string> ScopeDomainDns(const AdminScope& scope);
// `filter` narrowed to entries at or below the scope's domain entries
// (OpenLDAP's entryDN subtree match); `filter` itself for everything, and a
// filter that matches nothing for a scope without domains.
std::string ScopedFilter(const AdminScope& scope, const char* filter);

// The scope of the running request.
void SetRequestScope(const AdminScope& scope);
const AdminScope& RequestScope();

// The refusal of a change that names an address outside the scope.
constexpr char kOutsideDomains[] = "The address is outside the domains you manage";

#endif
