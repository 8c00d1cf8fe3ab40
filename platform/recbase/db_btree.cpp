// B+-tree insertion over the page cache. Nodes are slotted pages (see
// platform/db_format.h); a full node splits at half its bytes (a leaf taking
// a run of keys splits where the run goes on) and hands a separator key to
// its parent; a split root grows the tree by one level.
#include "platform/recbase/db_btree.h"

#include <cstring>

#include "platform/recbase/db_format.h"

namespace {

constexpr std::size_t kEntryOverhead = 2 + kEntryKey;           // slot + value + length byte
constexpr std::size_t kNodeRoom = kDbPageSize - kNodeHeadSize;  // bytes for slots and entries
constexpr std::size_t kMaxEntries = kNodeRoom / kEntryOverhead;

struct Entry {
    uint32_t value;
    std::size_t length;
    const unsigned char* key;
};

std::size_t Count(const unsigned char* page) { return GetU16(page + kNodeCount); }

Entry EntryAt(const unsigned char* page, std::size_t i) {
    const unsigned char* at = page + GetU16(page + kNodeHeadSize + 2 * i);
    return Entry{GetU32(at + kEntryValue), at[kEntryKeyLength], at + kEntryKey};
}

void NodeInit(unsigned char* page, uint8_t type, uint32_t link) {
    std::memset(page, 0, kDbPageSize);
    page[kNodeType] = type;
    PutU16(page + kNodeHeap, uint16_t(kDbPageSize));
    PutU32(page + kNodeLink, link);
}

// Puts an entry at slot `pos`; false when the page has no room for it.
bool NodeInsertAt(unsigned char* page, std::size_t pos, const unsigned char* key, std::size_t length,
                  uint32_t value) {
    std::size_t count = Count(page);
    std::size_t heap = GetU16(page + kNodeHeap);
    std::size_t slotsEnd = kNodeHeadSize + 2 * count;
    if (heap < slotsEnd || heap - slotsEnd < kEntryOverhead + length) return false;
    heap -= kEntryKey + length;
    PutU32(page + heap + kEntryValue, value);
    page[heap + kEntryKeyLength] = uint8_t(length);
    std::memcpy(page + heap + kEntryKey, key, length);
    unsigned char* slots = page + kNodeHeadSize;
    std::memmove(slots + 2 * (pos + 1), slots + 2 * pos, 2 * (count - pos));
    PutU16(slots + 2 * pos, uint16_t(heap));
    PutU16(page + kNodeCount, uint16_t(count + 1));
    PutU16(page + kNodeHeap, uint16_t(heap));
    return true;
}

// The separator that a split hands to the parent.
struct Separator {
    unsigned char key[kDbMaxKeyLength];
    std::size_t length;
    uint32_t right;
};

// Splits the full node of `frame` (page `pageNumber`) while inserting the
// entry at `pos`; the new right sibling and its separator go to *up.
dbError SplitInsert(DbIndex* index, std::size_t frame, std::size_t pos, const unsigned char* key,
                    std::size_t length, uint32_t value, Separator* up) {
    unsigned char* page = CacheData(&index->cache, frame);
    unsigned char old[kDbPageSize];
    std::memcpy(old, page, kDbPageSize);
    bool leaf = old[kNodeType] == kNodeLeaf;
    std::size_t count = Count(old);
    if (count > kMaxEntries) return DB_BAD_FORMAT;

    Entry list[kMaxEntries + 1];
    std::size_t total = 0, bytes = 0;
    for (std::size_t i = 0; i <= count; ++i) {
        if (i == pos) list[total++] = Entry{value, length, key};
        if (i < count) list[total++] = EntryAt(old, i);
    }
    for (std::size_t i = 0; i < total; ++i) bytes += kEntryOverhead + list[i].length;

    // Left keeps the first `middle` entries, about half the bytes. A branch
    // moves list[middle] up; a leaf copies it up and keeps it on the right.
    // A leaf filled by a run of keys, each added just after (or just
    // before) the one before it, splits where the run goes on instead: the
    // full side stays full and the run fills the new side, so that sorted
    // input does not leave every leaf half empty.
    std::size_t middle = 0, sum = 0;
    std::size_t lowest = 1, highest = leaf ? total - 1 : total - 2;
    long last = CacheLastInsert(&index->cache, frame);
    if (leaf && last >= 0 && (pos == std::size_t(last) + 1 || pos == std::size_t(last))) {
        middle = pos == std::size_t(last) ? pos + 1 : pos;
        if (middle < lowest) middle = lowest;
        if (middle > highest) middle = highest;
        std::size_t left = 0;
        for (std::size_t i = 0; i < middle; ++i) left += kEntryOverhead + list[i].length;
        if (left > kNodeRoom || bytes - left > kNodeRoom) middle = 0;  // a side would not fit
    }
    if (middle == 0) {
        while (middle < total && sum < bytes / 2) sum += kEntryOverhead + list[middle++].length;
    }
    if (middle < lowest) middle = lowest;
    if (middle > highest) middle = highest;

    uint32_t rightPage;
    std::size_t rightFrame;
    dbError result = CacheNew(&index->cache, &rightPage, &rightFrame);
    if (result != DB_OK) return result;
    unsigned char* right = CacheData(&index->cache, rightFrame);

    uint32_t oldLink = GetU32(old + kNodeLink);
    bool fits = true;
    if (leaf) {
        NodeInit(page, kNodeLeaf, rightPage);
        NodeInit(right, kNodeLeaf, oldLink);
        for (std::size_t i = 0; i < middle; ++i)
            fits = fits && NodeInsertAt(page, i, list[i].key, list[i].length, list[i].value);
        for (std::size_t i = middle; i < total; ++i)
            fits = fits && NodeInsertAt(right, i - middle, list[i].key, list[i].length, list[i].value);
    } else {
        NodeInit(page, kNodeBranch, oldLink);
        NodeInit(right, kNodeBranch, list[middle].value);
        for (std::size_t i = 0; i < middle; ++i)
            fits = fits && NodeInsertAt(page, i, list[i].key, list[i].length, list[i].value);
        for (std::size_t i = middle + 1; i < total; ++i)
            fits = fits && NodeInsertAt(right, i - middle - 1, list[i].key, list[i].length, list[i].value);
    }
    // The separator may be the caller's key, which may live in *up itself.
    std::memmove(up->key, list[middle].key, list[middle].length);
    up->length = list[middle].length;
    up->right = rightPage;
    // Where the new entry went (a branch's middle entry went up instead).
    CacheLastInsert(&index->cache, frame) = pos < middle ? long(pos) : -1;
    long onRight = -1;
    if (leaf && pos >= middle) onRight = long(pos - middle);
    if (!leaf && pos > middle) onRight = long(pos - middle - 1);
    CacheLastInsert(&index->cache, rightFrame) = onRight;
    CacheMarkDirty(&index->cache, frame);
    CacheUnpin(&index->cache, rightFrame);
    return fits ? DB_OK : DB_BAD_FORMAT;
}

// Inserts into the node of `frame`, splitting it when full. *split tells
// whether *up holds a separator for the parent.
dbError NodeAdd(DbIndex* index, std::size_t frame, std::size_t pos, const unsigned char* key,
                std::size_t length, uint32_t value, Separator* up, bool* split) {
    unsigned char* page = CacheData(&index->cache, frame);
    if (NodeInsertAt(page, pos, key, length, value)) {
        CacheLastInsert(&index->cache, frame) = long(pos);
        CacheMarkDirty(&index->cache, frame);
        *split = false;
        return DB_OK;
    }
    *split = true;
    return SplitInsert(index, frame, pos, key, length, value, up);
}

dbError StartTree(DbIndex* index, const unsigned char* key, std::size_t length, uint32_t value) {
    uint32_t page;
    std::size_t frame;
    dbError result;
    if (index->cache.pageCount == 0) {  // the meta page comes first
        result = CacheNew(&index->cache, &page, &frame);
        if (result != DB_OK) return result;
        CacheUnpin(&index->cache, frame);
    }
    result = CacheNew(&index->cache, &page, &frame);
    if (result != DB_OK) return result;
    unsigned char* leaf = CacheData(&index->cache, frame);
    NodeInit(leaf, kNodeLeaf, 0);
    NodeInsertAt(leaf, 0, key, length, value);
    CacheUnpin(&index->cache, frame);
    index->root = page;
    index->firstLeaf = page;
    index->height = 1;
    return DB_OK;
}

// Whether the node of `frame` has the type expected and a layout that keeps
// every slot, entry and key inside the page (key lengths within the key
// length): a damaged file must not lead reads or writes out of the page.
// The entries are checked once after the page was read from the file.
bool ValidNode(DbIndex* index, std::size_t frame, uint8_t type) {
    const unsigned char* page = CacheData(&index->cache, frame);
    std::size_t count = Count(page);
    if (page[kNodeType] != type || count > kMaxEntries) return false;
    bool& checked = CacheChecked(&index->cache, frame);
    if (checked) return true;
    std::size_t heap = GetU16(page + kNodeHeap);
    if (heap < kNodeHeadSize + 2 * count || heap > kDbPageSize) return false;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = GetU16(page + kNodeHeadSize + 2 * i);
        if (at < heap || at + kEntryKey > kDbPageSize) return false;
        std::size_t length = page[at + kEntryKeyLength];
        if (length > index->keyLength || at + kEntryKey + length > kDbPageSize) return false;
    }
    checked = true;
    return true;
}

}  // namespace

dbError IndexInsert(DbIndex* index, const unsigned char* key, std::size_t length, uint32_t value,
                    DbKeyCompare compare, void* context) {
    if (length > index->keyLength || length > kDbMaxKeyLength) return DB_BAD_RECORD;
    if (index->root == 0) return StartTree(index, key, length, value);

    uint32_t pathPage[kDbMaxTreeHeight];
    std::size_t pathPos[kDbMaxTreeHeight];
    uint32_t page = index->root;
    std::size_t frame;
    dbError result;
    for (uint32_t level = 0; level + 1 < index->height; ++level) {
        result = CacheGet(&index->cache, page, &frame);
        if (result != DB_OK) return result;
        const unsigned char* node = CacheData(&index->cache, frame);
        if (!ValidNode(index, frame, kNodeBranch)) {
            CacheUnpin(&index->cache, frame);
            return DB_BAD_FORMAT;
        }
        // Entries whose key is <= the new key lie before `low`.
        std::size_t low = 0, high = Count(node);
        while (low < high) {
            std::size_t middle = (low + high) / 2;
            Entry entry = EntryAt(node, middle);
            if (compare(context, entry.key, entry.length) >= 0)
                low = middle + 1;
            else
                high = middle;
        }
        pathPage[level] = page;
        pathPos[level] = low;
        page = low == 0 ? GetU32(node + kNodeLink) : EntryAt(node, low - 1).value;
        CacheUnpin(&index->cache, frame);
    }

    result = CacheGet(&index->cache, page, &frame);
    if (result != DB_OK) return result;
    const unsigned char* leaf = CacheData(&index->cache, frame);
    if (!ValidNode(index, frame, kNodeLeaf)) {
        CacheUnpin(&index->cache, frame);
        return DB_BAD_FORMAT;
    }
    std::size_t low = 0, high = Count(leaf);
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        Entry entry = EntryAt(leaf, middle);
        int order = compare(context, entry.key, entry.length);
        if (order == 0) {
            CacheUnpin(&index->cache, frame);
            return DB_DUPLICATE_KEY;
        }
        if (order > 0)
            low = middle + 1;
        else
            high = middle;
    }

    Separator up;
    bool split;
    result = NodeAdd(index, frame, low, key, length, value, &up, &split);
    CacheUnpin(&index->cache, frame);
    for (int level = int(index->height) - 2; result == DB_OK && split && level >= 0; --level) {
        result = CacheGet(&index->cache, pathPage[level], &frame);
        if (result != DB_OK) return result;
        result = NodeAdd(index, frame, pathPos[level], up.key, up.length, up.right, &up, &split);
        CacheUnpin(&index->cache, frame);
    }
    if (result != DB_OK || !split) return result;

    if (index->height >= uint32_t(kDbMaxTreeHeight)) return DB_TOO_LARGE;
    uint32_t rootPage;
    result = CacheNew(&index->cache, &rootPage, &frame);
    if (result != DB_OK) return result;
    unsigned char* root = CacheData(&index->cache, frame);
    NodeInit(root, kNodeBranch, index->root);
    NodeInsertAt(root, 0, up.key, up.length, up.right);
    CacheUnpin(&index->cache, frame);
    index->root = rootPage;
    index->height++;
    return DB_OK;
}

dbError IndexReadMeta(DbIndex* index, uint32_t* recordCount, uint32_t* stringsEnd) {
    std::size_t frame;
    dbError result = CacheGet(&index->cache, 0, &frame);
    if (result != DB_OK) return result;
    const unsigned char* meta = CacheData(&index->cache, frame);
    bool sound =
        GetU32(meta + kMetaMagic) == kDbMetaMagic && GetU32(meta + kMetaVersion) == kDbFormatVersion &&
        GetU32(meta + kMetaPageSize) == kDbPageSize && GetU32(meta + kMetaKeyLength) == index->keyLength &&
        GetU32(meta + kMetaPageCount) == index->cache.pageCount;
    index->root = GetU32(meta + kMetaRoot);
    index->height = GetU32(meta + kMetaHeight);
    index->firstLeaf = GetU32(meta + kMetaFirstLeaf);
    *recordCount = GetU32(meta + kMetaRecordCount);
    *stringsEnd = GetU32(meta + kMetaStringsEnd);
    CacheUnpin(&index->cache, frame);
    uint32_t pages = index->cache.pageCount;
    sound = sound && index->root < pages && index->firstLeaf < pages &&
            index->height <= uint32_t(kDbMaxTreeHeight) && (index->root == 0) == (index->height == 0) &&
            (index->root == 0) == (*recordCount == 0);
    return sound ? DB_OK : DB_BAD_FORMAT;
}

dbError IndexWriteMeta(DbIndex* index, uint32_t recordCount, uint32_t stringsEnd) {
    if (index->cache.pageCount == 0) return DB_OK;  // still the bare header: an empty index
    std::size_t frame;
    dbError result = CacheGet(&index->cache, 0, &frame);
    if (result != DB_OK) return result;
    unsigned char* meta = CacheData(&index->cache, frame);
    std::memset(meta, 0, kDbPageSize);
    PutU32(meta + kMetaMagic, kDbMetaMagic);
    PutU32(meta + kMetaVersion, kDbFormatVersion);
    PutU32(meta + kMetaPageSize, kDbPageSize);
    PutU32(meta + kMetaKeyLength, index->keyLength);
    PutU32(meta + kMetaRoot, index->root);
    PutU32(meta + kMetaPageCount, index->cache.pageCount);
    PutU32(meta + kMetaHeight, index->height);
    PutU32(meta + kMetaRecordCount, recordCount);
    PutU32(meta + kMetaFirstLeaf, index->firstLeaf);
    PutU32(meta + kMetaStringsEnd, stringsEnd);
    CacheMarkDirty(&index->cache, frame);
    CacheUnpin(&index->cache, frame);
    return DB_OK;
}
