// The rename path of a user update: the entry moves to the DN of a new
// address in one directory operation, keeping its aliases and connectors,
// then its form values change. Changes the directory only through the
// page's client.
#ifndef LDAPCGI_PAGES_USERS_USER_RENAME_H
#define LDAPCGI_PAGES_USERS_USER_RENAME_H

#include <string>

class ldapClient;
struct SearchReq;

// Moves `old` (changed in place) to the screened address `newMail` with the
// typed values. Empty when done; else the refusal's text (the directory as
// it was, or as the text says).
std::string RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                       const char* lastName, const char* telNo, const char* address);

#endif
