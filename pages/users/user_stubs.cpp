// Handlers not built yet: each answers with the invalid-request page.
#include "pages/users/user_pages.h"

#include "app/dispatch.h"

void FindUserMenu() { PrintInvalidRequestPage(); }
void ListUsers(const char*, const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void PrintUserTable(ldapClient&, const char*, const char*, int) { PrintInvalidRequestPage(); }
void FindUser(const char*, const char*) { PrintInvalidRequestPage(); }
void NewUserMenu() { PrintInvalidRequestPage(); }
void NewUser(const char*, const char*, const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void EditUser(const char*) { PrintInvalidRequestPage(); }
void UpdateUser(const char*, const char*, const char*, const char*, const char*, const char*) { PrintInvalidRequestPage(); }
void DeleteUser(const char*) { PrintInvalidRequestPage(); }
void VerifyDeleteUser(const char*) { PrintInvalidRequestPage(); }
