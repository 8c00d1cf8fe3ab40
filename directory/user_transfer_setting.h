// The setting that offers the export and import of users: XOMTA.INI
// [Users] Transfer, "yes" (any letter case) to offer them; anything else,
// or no setting, leaves them out. Reads the configuration only.
#ifndef LDAPCGI_DIRECTORY_USER_TRANSFER_SETTING_H
#define LDAPCGI_DIRECTORY_USER_TRANSFER_SETTING_H

bool UserTransferEnabled();

#endif
