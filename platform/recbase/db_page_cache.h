// Bounded cache of index pages over one DbFile. At most `capacity` pages are
// in memory; the least recently touched unpinned page (clock order) makes
// room, written back first when dirty. Pages live at
// kDbIndexHeaderSize + number * kDbPageSize in the file.
#ifndef LDAPCGI_PLATFORM_RECBASE_DB_PAGE_CACHE_H
#define LDAPCGI_PLATFORM_RECBASE_DB_PAGE_CACHE_H

#include <cstddef>
#include <cstdint>

#include "platform/recbase/db_file.h"

struct DbFrame {
    unsigned char* data = nullptr;
    uint32_t page = 0;
    bool used = false;
    bool dirty = false;
    bool touched = false;
    int pins = 0;
    long lastInsert = -1;  // slot of the page's latest insertion while in memory; -1 none
    bool checked = false;  // the page's layout has been checked since it was read
};

struct DbPageCache {
    DbFile* file = nullptr;
    std::size_t capacity = 0;
    DbFrame* frames = nullptr;
    std::size_t framesUsed = 0;     // frames with a buffer so far
    std::size_t hand = 0;           // clock position
    uint32_t* pageFrame = nullptr;  // page -> frame + 1, 0 when not cached
    uint32_t pageFrameSize = 0;
    uint32_t pageCount = 0;  // pages in the index, meta page included
};

// Sets up an empty cache of `capacity` pages (at least 8) for `pageCount` pages.
dbError CacheInit(DbPageCache* cache, DbFile* file, std::size_t capacity, uint32_t pageCount);
void CacheFree(DbPageCache* cache);
// Pins a page into memory; *frame names it for CacheData / CacheUnpin.
dbError CacheGet(DbPageCache* cache, uint32_t page, std::size_t* frame);
// Adds a zeroed page at the end, pinned and dirty; *page is its number.
dbError CacheNew(DbPageCache* cache, uint32_t* page, std::size_t* frame);
unsigned char* CacheData(DbPageCache* cache, std::size_t frame);
// The slot of the latest insertion into the frame's page (-1: none known),
// for the B+-tree to recognise runs of keys added one after another.
long& CacheLastInsert(DbPageCache* cache, std::size_t frame);
// Whether the frame's page has been checked since it came from the file
// (pages made in memory count as checked), so a page is checked once.
bool& CacheChecked(DbPageCache* cache, std::size_t frame);
void CacheMarkDirty(DbPageCache* cache, std::size_t frame);
void CacheUnpin(DbPageCache* cache, std::size_t frame);
// Writes every dirty page, in page order.
dbError CacheFlush(DbPageCache* cache);

#endif
