// Configuration reader: INI settings of the mail system's files, found by
// bare file name in $XOMTA_CONFIG_DIR (default /etc/xomta), the name matched
// without regard to letter case. Never writes past `size` bytes.
#ifndef LDAPCGI_PLATFORM_CONFIG_PROFILE_H
#define LDAPCGI_PLATFORM_CONFIG_PROFILE_H

int GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int size, const char* file);
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file);

#endif
