// Where the configuration reader finds its files and how it keeps them: the
// bare file name is matched without regard to letter case in the directory
// named by $XOMTA_CONFIG_DIR (default /etc/xomta); each file is parsed once
// and parsed again only when a stat shows that it changed.
#ifndef LDAPCGI_PLATFORM_CONFIG_PROFILE_STORE_H
#define LDAPCGI_PLATFORM_CONFIG_PROFILE_STORE_H

#include <string>
#include <utility>
#include <vector>

// Looks up `key` in `section` of `file`; when present calls use(value,
// context) while the store is locked and returns true. A missing directory,
// file, section or key returns false.
bool ProfileStoreRead(const char* file, const char* section, const char* key,
                      void (*use)(const std::string& value, void* context), void* context);

// Every key of `section` in file order as the file spells it, with its value
// (cleared first). False when there is no readable file; a missing section
// gives true and no settings. *present (when given) tells whether the file
// has the section's heading, with or without keys.
bool ProfileStoreSection(const char* file, const char* section,
                         std::vector<std::pair<std::string, std::string>>* settings, bool* present = nullptr);

// The directory the files are looked up in, for messages.
const char* ProfileStoreDirectory();

// Whether a file stands for `file` (a regular file of the name in any
// letter case, else anything else of the name, such as a folder or FIFO),
// readable or not; also when the directory cannot be listed and none of the
// usual spellings is there, since another may be, unseen.
bool ProfileStorePresent(const char* file);

// A number naming the current content of `file`, checked as every read is:
// while it stays the same, every setting of the file reads the same. 0 when
// there is no readable file (every setting then reads as its default).
// Lets a caller keep settings it derived and re-read them only on a change.
unsigned long long ProfileStoreVersion(const char* file);

#endif
