// The index page cache: a fixed number of 4 KiB frames, clock replacement,
// write-back of dirty pages on eviction and on flush.
#include "platform/recbase/db_page_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/recbase/db_format.h"
#include "platform/recbase/recbase_limits.h"

namespace {

uint64_t PageOffset(uint32_t page) { return kDbIndexHeaderSize + uint64_t(page) * kDbPageSize; }

dbError WritePage(DbPageCache* cache, DbFrame* frame) {
    dbError result = DbFileCheckSize(cache->file);
    if (result == DB_OK)
        result = DbFileWriteAt(cache->file, PageOffset(frame->page), frame->data, kDbPageSize);
    if (result == DB_OK) frame->dirty = false;
    return result;
}

// Makes the page map hold `pages` entries.
dbError GrowMap(DbPageCache* cache, uint32_t pages) {
    if (pages <= cache->pageFrameSize) return DB_OK;
    uint32_t size = std::max<uint32_t>(pages, cache->pageFrameSize * 2);
    void* grown = std::realloc(cache->pageFrame, size * sizeof(uint32_t));
    if (grown == nullptr) return DB_NO_MEMORY;
    cache->pageFrame = static_cast<uint32_t*>(grown);
    std::memset(cache->pageFrame + cache->pageFrameSize, 0, (size - cache->pageFrameSize) * sizeof(uint32_t));
    cache->pageFrameSize = size;
    return DB_OK;
}

// Finds a frame for a new resident page: an unused one, or the clock's victim.
dbError TakeFrame(DbPageCache* cache, std::size_t* taken) {
    if (cache->framesUsed < cache->capacity) {
        DbFrame* frame = &cache->frames[cache->framesUsed];
        frame->data = static_cast<unsigned char*>(std::malloc(kDbPageSize));
        if (frame->data == nullptr) return DB_NO_MEMORY;
        *taken = cache->framesUsed++;
        return DB_OK;
    }
    // Two full turns find an unpinned frame unless every frame is pinned.
    for (std::size_t step = 0; step < 2 * cache->capacity + 1; ++step) {
        std::size_t at = cache->hand;
        cache->hand = (cache->hand + 1) % cache->capacity;
        DbFrame* frame = &cache->frames[at];
        if (frame->pins > 0) continue;
        if (frame->touched) {
            frame->touched = false;
            continue;
        }
        if (frame->dirty) {
            dbError result = WritePage(cache, frame);
            if (result != DB_OK) return result;
        }
        cache->pageFrame[frame->page] = 0;
        frame->used = false;
        *taken = at;
        return DB_OK;
    }
    return DB_NO_MEMORY;
}

void Install(DbPageCache* cache, std::size_t at, uint32_t page, bool dirty) {
    DbFrame* frame = &cache->frames[at];
    frame->page = page;
    frame->used = true;
    frame->dirty = dirty;
    frame->touched = true;
    frame->pins = 1;
    frame->lastInsert = -1;
    frame->checked = dirty;  // a new page is made here; a read one comes from the file
    cache->pageFrame[page] = uint32_t(at + 1);
}

}  // namespace

dbError CacheInit(DbPageCache* cache, DbFile* file, std::size_t capacity, uint32_t pageCount) {
    cache->file = file;
    cache->capacity = std::max<std::size_t>(capacity, 8);
    cache->frames = new (std::nothrow) DbFrame[cache->capacity];
    if (cache->frames == nullptr) return DB_NO_MEMORY;
    cache->pageCount = pageCount;
    return GrowMap(cache, std::max<uint32_t>(pageCount, 64));
}

void CacheFree(DbPageCache* cache) {
    if (cache->frames != nullptr) {
        for (std::size_t i = 0; i < cache->framesUsed; ++i) std::free(cache->frames[i].data);
        delete[] cache->frames;
    }
    std::free(cache->pageFrame);
    cache->frames = nullptr;
    cache->pageFrame = nullptr;
    cache->framesUsed = 0;
    cache->pageFrameSize = 0;
}

dbError CacheGet(DbPageCache* cache, uint32_t page, std::size_t* frame) {
    if (page >= cache->pageCount) return DB_BAD_FORMAT;
    uint32_t known = cache->pageFrame[page];
    if (known != 0) {
        DbFrame* hit = &cache->frames[known - 1];
        hit->touched = true;
        hit->pins++;
        *frame = known - 1;
        return DB_OK;
    }
    std::size_t at;
    dbError result = TakeFrame(cache, &at);
    if (result != DB_OK) return result;
    result = DbFileReadAt(cache->file, PageOffset(page), cache->frames[at].data, kDbPageSize);
    if (result != DB_OK) return result;
    Install(cache, at, page, false);
    *frame = at;
    return DB_OK;
}

dbError CacheNew(DbPageCache* cache, uint32_t* page, std::size_t* frame) {
    if (cache->pageCount == UINT32_MAX) return DB_TOO_LARGE;
    dbError result = GrowMap(cache, cache->pageCount + 1);
    if (result != DB_OK) return result;
    std::size_t at;
    result = TakeFrame(cache, &at);
    if (result != DB_OK) return result;
    std::memset(cache->frames[at].data, 0, kDbPageSize);
    *page = cache->pageCount++;
    Install(cache, at, *page, true);
    *frame = at;
    return DB_OK;
}

unsigned char* CacheData(DbPageCache* cache, std::size_t frame) { return cache->frames[frame].data; }

long& CacheLastInsert(DbPageCache* cache, std::size_t frame) { return cache->frames[frame].lastInsert; }

bool& CacheChecked(DbPageCache* cache, std::size_t frame) { return cache->frames[frame].checked; }

void CacheMarkDirty(DbPageCache* cache, std::size_t frame) { cache->frames[frame].dirty = true; }

void CacheUnpin(DbPageCache* cache, std::size_t frame) {
    if (cache->frames[frame].pins > 0) cache->frames[frame].pins--;
}

dbError CacheFlush(DbPageCache* cache) {
    // Dirty frames in page order, so the file grows front to back.
    std::size_t* order =
        static_cast<std::size_t*>(std::malloc((cache->framesUsed + 1) * sizeof(std::size_t)));
    if (order == nullptr) return DB_NO_MEMORY;
    std::size_t count = 0;
    for (std::size_t i = 0; i < cache->framesUsed; ++i)
        if (cache->frames[i].used && cache->frames[i].dirty) order[count++] = i;
    std::sort(order, order + count, [cache](std::size_t a, std::size_t b) {
        return cache->frames[a].page < cache->frames[b].page;
    });
    // Runs of consecutive pages go out in one write each.
    dbError result = count > 0 ? DbFileCheckSize(cache->file) : DB_OK;
    iovec blocks[kDbFlushRunPages];
    for (std::size_t i = 0; i < count && result == DB_OK;) {
        std::size_t run = 0;
        uint32_t first = cache->frames[order[i]].page;
        while (i + run < count && run < kDbFlushRunPages &&
               cache->frames[order[i + run]].page == first + run) {
            blocks[run].iov_base = cache->frames[order[i + run]].data;
            blocks[run].iov_len = kDbPageSize;
            ++run;
        }
        result = DbFileWriteBlocksAt(cache->file, PageOffset(first), blocks, int(run));
        for (std::size_t k = 0; k < run && result == DB_OK; ++k) cache->frames[order[i + k]].dirty = false;
        i += run;
    }
    std::free(order);
    return result;
}
