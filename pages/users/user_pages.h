// Page handlers of user administration: find, list, details, create, edit,
// update and delete users, and the user table shared with other pages.
#ifndef LDAPCGI_PAGES_USERS_USER_PAGES_H
#define LDAPCGI_PAGES_USERS_USER_PAGES_H

class ldapClient;

void FindUserMenu();
void ListUsers(const char* firstName, const char* lastName, const char* mail, const char* special);
void PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope);
void FindUser(const char* mail, const char* message);
void NewUserMenu();
void NewUser(const char* firstName, const char* lastName, const char* telNo,
             const char* address, const char* mail);
void EditUser(const char* mail);
void UpdateUser(const char* mailNdx, const char* firstName, const char* lastName,
                const char* telNo, const char* address, const char* mail);
void DeleteUser(const char* mail);
void VerifyDeleteUser(const char* mail);

#endif
