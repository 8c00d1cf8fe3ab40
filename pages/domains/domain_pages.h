// Page handlers of the domain browser.
#ifndef LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H
#define LDAPCGI_PAGES_DOMAINS_DOMAIN_PAGES_H

void BrowseDomain(const char* domain);
void ViewUsersDomain(const char* domain);

#endif
