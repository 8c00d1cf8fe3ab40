// Expected texts of the user pages, written out from the page templates so
// that tests compare whole pages; plus the directory set-up the user page
// tests share (seeded sandbox, CGI environment).
#ifndef LDAPCGI_TESTS_PAGES_USERS_USER_PAGE_TEXTS_H
#define LDAPCGI_TESTS_PAGES_USERS_USER_PAGE_TEXTS_H

#include <string>
#include <utility>
#include <vector>

#include "tests/support/page_texts.h"
#include "tests/support/run_cgi.h"

namespace userpages {

using pagetexts::Footer;
using pagetexts::Header;
using pagetexts::PageEnd;
using pagetexts::ResultBox;
using pagetexts::ResultPage;
// The page frame's e-mail validation script for `field` (its comment lines
// are the frame's own choice, so it is taken from the frame itself).
std::string ValidationScript(const std::string& field);
// Numeric character references for all but letters, digits, "-" and ".".
std::string Escaped(const std::string& text);

// Attribute table of the details, edit and delete pages.
struct Person {
    std::string first, last, tel, address, mail;
};
std::string DetailTable(const Person& p, bool readOnly, const std::string& primary,
                        const std::string& aliasRows);
// One alias link; the link values as they stand in the URL.
std::string AliasRow(const std::string& primaryLink, const std::string& aliasLink, const std::string& alias);
// application/x-www-form-urlencoded body of the fields, in order.
std::string Form(const std::vector<std::pair<std::string, std::string>>& fields);
// Value of the hidden field `name` in the first form of a page that has one,
// with its character references resolved ("" when absent).
std::string HiddenValue(const std::string& page, const std::string& name);
// The whole details page of a user, with an optional message.
std::string DetailsPage(const Person& p, const std::string& aliasRows, const char* message);

// Sandbox reset to `ldif` after the two example domains; environment for
// RunCgi pointing at it. Fails the test when the sandbox is not up.
bool ResetDirectory(const std::string& ldif);
Environment DirectoryEnv();
// Environment whose XOMTA.INI points at a closed port.
Environment ClosedPortEnv();
// ldif of one user below dc=example,dc=com (or the domain of the address).
std::string UserLdif(const std::string& mail, const std::string& extraLines);
// Directory entry of `dn` in ldapsearch -LLL form ("" when absent).
std::string Entry(const std::string& dn, const std::string& attrs = "");

}  // namespace userpages

#endif
