// Who may use the program: the [Administrators] section of XOMTA.INI maps a
// login (compared exactly) to the mail domains it manages. Without the
// section every login manages everything. Reads the configuration only.
// Limits: at most kMaxAdministrators logins (more refuses every login) and
// kMaxAdminDomains domains per login (more refuses that login).
#ifndef LDAPCGI_DIRECTORY_ADMINISTRATORS_H
#define LDAPCGI_DIRECTORY_ADMINISTRATORS_H

#include "directory/admin_scope.h"

enum class Admission {
    kNoSection,  // no [Administrators]: everything, as for every login
    kAdmitted,   // the login is named: *scope holds what it manages
    kRefused,    // the section is there and does not name the login (or null)
};

// The admission of `login` (the web server's REMOTE_USER, null when absent).
// An unreadable XOMTA.INI counts as one without the section. Items of the
// login's value that are no domain are left out, with an error line.
Admission AdmitLogin(const char* login, AdminScope* scope);

#endif
