// Configuration reader: INI settings of the mail system's files, found by
// bare file name in $XOMTA_CONFIG_DIR (default /etc/xomta), the name matched
// without regard to letter case. Never writes past `size` bytes.
#ifndef LDAPCGI_PLATFORM_CONFIG_PROFILE_H
#define LDAPCGI_PLATFORM_CONFIG_PROFILE_H

#include <string>
#include <utility>
#include <vector>

int GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int size, const char* file);
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file);
// Every key of `section` in file order, spelled as in the file, with its
// value; the first of repeated keys counts, as for the lookups above. False
// when the file cannot be read; an absent section gives true and none.
// *present (when given): whether the file has the section's heading at all.
bool GetPrivateProfileSection(const char* section, std::vector<std::pair<std::string, std::string>>* settings,
                              const char* file, bool* present = nullptr);
// Whether a file stands for `file`: after a read that failed, one that
// cannot be read (or is larger than kConfigMaxFileSize, or no regular file,
// or in a folder that cannot be listed and holds no usual spelling), as
// opposed to no file.
// Every setting then reads as its default, which a caller that must fail
// closed may not take.
bool ProfileFilePresent(const char* file);
// The folder the files are looked up in, for messages.
const char* ProfileDirectory();

#endif
