// The B+-tree of a relation's key 0 in NAME.id0: insertion of unique keys,
// ordered by a comparison the caller supplies (the relation's compareKey).
// Pages go through the bounded page cache; an insertion touches one page per
// level plus the pages a split creates.
#ifndef LDAPCGI_PLATFORM_RECBASE_DB_BTREE_H
#define LDAPCGI_PLATFORM_RECBASE_DB_BTREE_H

#include <cstddef>
#include <cstdint>

#include "platform/recbase/db_page_cache.h"

constexpr int kDbMaxTreeHeight = 32;

struct DbIndex {
    DbPageCache cache;
    uint32_t keyLength = 0;
    uint32_t root = 0;  // 0 while the tree is empty
    uint32_t height = 0;
    uint32_t firstLeaf = 0;
};

// Compares the key being inserted with a stored key (`length` bytes, trailing
// NULs removed): negative when the new key sorts first, 0 equal, positive after.
typedef int (*DbKeyCompare)(void* context, const unsigned char* key, std::size_t length);

// Adds key -> value. DB_DUPLICATE_KEY, with nothing changed, when a key
// comparing equal is present.
dbError IndexInsert(DbIndex* index, const unsigned char* key, std::size_t length, uint32_t value,
                    DbKeyCompare compare, void* context);

// Reads / writes the meta page (page 0), which the first insertion creates.
dbError IndexReadMeta(DbIndex* index, uint32_t* recordCount, uint32_t* stringsEnd);
dbError IndexWriteMeta(DbIndex* index, uint32_t recordCount, uint32_t stringsEnd);

#endif
