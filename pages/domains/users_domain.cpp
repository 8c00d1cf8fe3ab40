// ViewUsersDomain: the user table of the users directly below one domain's
// entry (not those of its sub-domains).
#include <cstring>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "html/page_frame.h"
#include "pages/domains/domain_pages.h"
#include "pages/domains/sub_domains.h"
#include "pages/users/user_pages.h"
#include "pages/users/user_transfer_links.h"
#include "platform/ldapclient/ldapclient.h"

int ViewUsersDomain(const char* domain, const char* position, const char* goTo) {
    PrintPageHeader("User Listing");
    if (DomainTooLong(domain)) {
        PrintResultPageAndEnd("Error: domain name too long");
        return 0;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP server");
        return 0;
    }
    // No domain: the top of the tree, which holds no users.
    UserTableRequest request{"ViewUsersDomain", {{"Domain", domain}}, position, goTo};
    if (!PrintUserTable(client, "(objectClass=xoperson)", DomainBaseDn(domain).c_str(), LDAP_SCOPE_ONELEVEL,
                        request)) {
        PrintResultPageAndEnd("Error connecting to LDAP server");
        return 0;
    }
    PrintUserTransferLinks(domain == nullptr ? "" : domain);
    PrintPageEnd();
    return 0;
}
