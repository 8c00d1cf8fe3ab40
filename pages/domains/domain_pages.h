// Page handlers of the domain browser.
#ifndef LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H
#define LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H

int BrowseDomain(const char* domain);
int ViewUsersDomain(const char* domain);

#endif
