// The links to the export and import of users, shown under the find form
// and the users of a domain when [Users] Transfer offers them. Prints only.
#ifndef LDAPCGI_PAGES_USERS_USER_TRANSFER_LINKS_H
#define LDAPCGI_PAGES_USERS_USER_TRANSFER_LINKS_H

// Nothing unless the setting is on. With a domain (null: every user), the
// export links name it; the import link is the same for both.
void PrintUserTransferLinks(const char* domain);

#endif
