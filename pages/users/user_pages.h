// Page handlers of user administration: find, list, details, create, edit,
// update and delete users, and the user table shared with other pages.
#ifndef LDAPCGI_PAGES_USERS_USER_PAGES_H
#define LDAPCGI_PAGES_USERS_USER_PAGES_H

class ldapClient;

int FindUserMenu();
int ListUsers(const char* firstName, const char* lastName, const char* mail, const char* special);
// The sorted user table of one search (scope LDAP_SCOPE_*), with its frame.
// False when the directory stopped answering (time limit or lost connection)
// during the search: the caller then ends its page with its connection message.
bool PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope);
int FindUser(const char* mail, const char* message);
int NewUserMenu();
int NewUser(const char* firstName, const char* lastName, const char* telNo, const char* address,
            const char* mail);
int EditUser(const char* mail);
int UpdateUser(const char* mailNdx, const char* firstName, const char* lastName, const char* telNo,
               const char* address, const char* mail);
int DeleteUser(const char* mail);
int VerifyDeleteUser(const char* mail);

#endif
