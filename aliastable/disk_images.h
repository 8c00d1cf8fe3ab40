// The three files of a new, empty alias table generation, byte for byte:
// NAME.db (relation), NAME.id0 (index of szAlias) and NAME.str (strings).
// Each is exactly the header of its file in the database component's format.
#ifndef LDAPCGI_ALIASTABLE_DISK_IMAGES_H
#define LDAPCGI_ALIASTABLE_DISK_IMAGES_H

#include <cstddef>

#include "platform/recbase/db_format.h"

constexpr std::size_t kAliasRelationImageSize = kDbRelationHeaderSize;  // ".db"
constexpr std::size_t kAliasIndexImageSize = kDbIndexHeaderSize;        // ".id0"
constexpr std::size_t kAliasStringImageSize = kDbStringHeaderSize;      // ".str"

extern const unsigned char kAliasRelationImage[kAliasRelationImageSize];
extern const unsigned char kAliasIndexImage[kAliasIndexImageSize];
extern const unsigned char kAliasStringImage[kAliasStringImageSize];

#endif
