// Page handlers of user administration: find, list, details, create, edit,
// update and delete users, and the user table shared with other pages.
#ifndef LDAPCGI_PAGES_USERS_USER_PAGES_H
#define LDAPCGI_PAGES_USERS_USER_PAGES_H

#include <utility>
#include <vector>

class ldapClient;

// What the links and the "Go to" box of a user table's page send back: the
// command, the search's own fields (one with a null value is absent and left
// out), and the page asked for by the "Position" field (the place of its
// first row in the whole list, from 1) or the "GoTo" field (a last name:
// the page where it would stand; it wins over Position).
struct UserTableRequest {
    const char* command;
    std::vector<std::pair<const char*, const char*>> fields;
    const char* position;
    const char* goTo;
};

int FindUserMenu();
int ListUsers(const char* firstName, const char* lastName, const char* mail, const char* special,
              const char* position, const char* goTo);
// The sorted user table of one search (scope LDAP_SCOPE_*), with its frame;
// with [Ldap] PageSize set, the page of it that `request` asks for.
// False when the directory stopped answering (time limit or lost connection)
// during the search: the caller then ends its page with its connection message.
bool PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope,
                    const UserTableRequest& request);
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
