// The three files of a new, empty alias table generation, byte for byte:
// NAME.db (relation), NAME.id0 (index of szAlias) and NAME.str (strings).
#ifndef LDAPCGI_ALIASTABLE_DISK_IMAGES_H
#define LDAPCGI_ALIASTABLE_DISK_IMAGES_H

#include <cstddef>

constexpr std::size_t kAliasRelationImageSize = 643;  // ".db"
constexpr std::size_t kAliasIndexImageSize = 1048;    // ".id0"
constexpr std::size_t kAliasStringImageSize = 12;     // ".str"

extern const unsigned char kAliasRelationImage[kAliasRelationImageSize];
extern const unsigned char kAliasIndexImage[kAliasIndexImageSize];
extern const unsigned char kAliasStringImage[kAliasStringImageSize];

#endif
