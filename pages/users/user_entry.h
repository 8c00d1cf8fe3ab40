// Building blocks of the user create and update pages: the screen of the
// typed values' lengths, and the creation of a new user entry.
#ifndef LDAPCGI_PAGES_USERS_USER_ENTRY_H
#define LDAPCGI_PAGES_USERS_USER_ENTRY_H

#include <string>

class ldapClient;

// Message of the first typed value (postal address, names, telephone number,
// or the common name made of both names) too long for an attribute value,
// or null when all fit. Values are never cut.
const char* UserFieldOverflow(const char* firstName, const char* lastName, const char* telNo,
                              const char* address);
// CreateUserEntry's result when the dc= entries could not be made.
constexpr int kDomainTreeFailed = -1000;  // no LDAP result code, so no lost answer
// Adds the entry of a new user under the DN of `mail` (a screened address),
// creating the missing dc= entries above it first. The add's LDAP result
// code (0 added), or kDomainTreeFailed.
int CreateUserEntry(ldapClient& client, const char* firstName, const char* lastName, const char* telNo,
                    const char* address, const char* mail);
// The common name of a user: first name, a blank and last name when the
// first name is given, else the last name alone.
std::string CommonName(const char* firstName, const char* lastName);

#endif
