// ListUsers: the answer to the find form. Builds the filter from the typed
// values (refusing one too long for its buffer), opens the directory and
// prints the sorted user table; a directory that stops answering during the
// search gets the connection message after the table.
#include <string>

#include "directory/directory_session.h"
#include "html/page_frame.h"
#include "pages/users/list_filter.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

const char kNotConnected[] = "Error connecting to LDAP port on server";

}  // namespace

int ListUsers(const char* firstName, const char* lastName, const char* mail, const char* special,
              const char* position, const char* goTo) {
    PrintPageHeader("User Listing");
    std::string filter;
    if (!BuildListFilter(firstName, lastName, mail, special, &filter)) {
        PrintResultPageAndEnd("Error: search values too long");
        return 0;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd(kNotConnected);
        return 0;
    }
    UserTableRequest request{
        "ListUsers",
        {{"FirstName", firstName}, {"LastName", lastName}, {"Mail", mail}, {"Special", special}},
        position,
        goTo};
    if (!PrintUserTable(client, filter.c_str(), "", LDAP_SCOPE_SUBTREE, request)) {
        PrintResultPageAndEnd(kNotConnected);
        return 0;
    }
    PrintPageEnd();
    return 0;
}
