// Page handlers of the domain browser: one level of the dc= tree with links
// further down, and the users directly below one domain. Each prints one
// complete page and returns the process's exit status.
#ifndef LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H
#define LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H

// `domain`: a dotted name; empty or null for the top of the tree.
int BrowseDomain(const char* domain);
// position and goTo: the page of a long list (see UserTableRequest).
int ViewUsersDomain(const char* domain, const char* position, const char* goTo);

#endif
