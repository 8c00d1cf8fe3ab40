// The directory's change calls: every add, modify, delete and profile-string
// write that the pages and the alias table build make goes through these,
// which call the client (a rename, which the client lacks, libldap on its
// session) and leave one audit line each (base/audit.h): the
// operation, the DN, the values added (+) and removed (-), and the LDAP
// result code with its text. A test checks that nothing else calls the
// client's change calls, so a new page cannot change the directory unseen.
#ifndef LDAPCGI_DIRECTORY_DIRECTORY_CHANGES_H
#define LDAPCGI_DIRECTORY_DIRECTORY_CHANGES_H

#include <signal.h>

#include "platform/ldapclient/ldapclient.h"

// Holds back, while it lives, the signals that end a request (SIGTERM, as a
// web server sends when the browser has gone; SIGINT, SIGHUP): each change
// below holds them until its audit line is written, and a page holds them
// over steps that must not be parted (a change and the check that may take
// it back, or the settle of what racers left). They act once the outermost
// hold ends.
class TerminationHeld {
public:
    TerminationHeld();
    ~TerminationHeld();
    TerminationHeld(const TerminationHeld&) = delete;
    TerminationHeld& operator=(const TerminationHeld&) = delete;

private:
    sigset_t before_;
};

// ldapClientAdd: the LDAP result code, 0 added.
int DirectoryAdd(ldapClient& client, const char* dn, attrval* attrs);
// ldapClientModify: the LDAP result code, 0 done.
int DirectoryModify(ldapClient& client, const char* dn, attrval* changes);
// ldapClientDelete: the LDAP result code, 0 deleted.
int DirectoryDelete(ldapClient& client, const char* dn);
// Moves the entry `dn` to `newDn` in one operation, every value with it; the
// new naming value is added, the old one removed unless `deleteOldValue` is
// false. The LDAP result code.
int DirectoryRename(ldapClient& client, const char* dn, const char* newDn, bool deleteOldValue = true);
// ldapWriteProfileString: 0 stored, else the LDAP result code.
int DirectoryWriteProfileString(ldapClient& client, const char* section, const char* key, const char* value);

#endif
