// Full check of an alias table generation: the headers, the tree's shape and key order
// (under the current comparison setting), each record indexed exactly once
// under its own alias, the leaf chain, and the strings laid back to back in
// record order up to the end of NAME.str. Reads only; memory grows with the
// record and page counts (one byte each).
#include <cstdlib>
#include <cstring>

#include "aliastable/alias_reader.h"
#include "aliastable/alias_reader_internal.h"
#include "aliastable/disk_images.h"

namespace {

struct CheckState {
    AliasTable* table;
    bool ignoreCase;
    uint32_t height;
    unsigned char* pageSeen;
    unsigned char* recordSeen;
    uint32_t* leaves;  // leaf pages in key order
    uint32_t leafCount;
};

// Checks the subtree at `page` on `level`, whose keys must lie in
// [lower, upper) (null: unbounded).
bool Visit(CheckState* state, uint32_t page, uint32_t level, const char* lower, const char* upper) {
    AliasTable* table = state->table;
    bool leaf = level + 1 == state->height;
    const unsigned char* node = ReaderNode(table, page, leaf ? kNodeLeaf : kNodeBranch);
    if (node == nullptr) return false;
    if (state->pageSeen[page]) return ReaderFail(table, "index page %u is reached twice", page);
    state->pageSeen[page] = 1;

    std::size_t count = GetU16(node + kNodeCount);
    ReaderEntryData previous, entry;
    for (std::size_t i = 0; i < count; ++i) {
        if (!ReaderEntry(table, node, page, i, &entry)) return false;
        if (i > 0 && CompareAliasKeys(previous.key, entry.key, state->ignoreCase) >= 0)
            return ReaderFail(table,
                              "index page %u: entry %zu \"%s\" out of order (or the table was built "
                              "under another UseCaseSensitiveAliasLookup setting)",
                              page, i, entry.key);
        if ((lower != nullptr && CompareAliasKeys(lower, entry.key, state->ignoreCase) > 0) ||
            (upper != nullptr && CompareAliasKeys(entry.key, upper, state->ignoreCase) >= 0))
            return ReaderFail(table, "index page %u: entry %zu \"%s\" outside its parent's range", page, i,
                              entry.key);
        if (leaf) {
            const char* alias;
            const char* mail;
            if (!ReaderRecord(table, entry.value, &alias, &mail, nullptr, nullptr)) return false;
            if (state->recordSeen[entry.value])
                return ReaderFail(table, "record %u is indexed twice", entry.value);
            state->recordSeen[entry.value] = 1;
            if (std::strncmp(alias, entry.key, kAliasKeySize) != 0)
                return ReaderFail(table, "record %u holds \"%s\", its index entry \"%s\"", entry.value, alias,
                                  entry.key);
        }
        previous = entry;
    }
    if (leaf) {
        state->leaves[state->leafCount++] = page;
        return true;
    }
    // Children: the link below the first key, entry i's child from key i on.
    ReaderEntryData first, next;
    if (!ReaderEntry(table, node, page, 0, &first)) return false;
    if (!Visit(state, GetU32(node + kNodeLink), level + 1, lower, first.key)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!ReaderEntry(table, node, page, i, &entry)) return false;
        const char* bound = upper;
        if (i + 1 < count) {
            if (!ReaderEntry(table, node, page, i + 1, &next)) return false;
            bound = next.key;
        }
        if (!Visit(state, entry.value, level + 1, entry.key, bound)) return false;
    }
    return true;
}

bool CheckTree(CheckState* state) {
    AliasTable* table = state->table;
    uint32_t pages = ReaderPageCount(table);
    if (!Visit(state, ReaderRoot(table), 0, nullptr, nullptr)) return false;
    for (uint32_t page = 1; page < pages; ++page)
        if (!state->pageSeen[page]) return ReaderFail(table, "index page %u is not part of the tree", page);
    for (unsigned long record = 0; record < table->records; ++record)
        if (!state->recordSeen[record]) return ReaderFail(table, "record %lu is not indexed", record);
    // The leaf chain visits the leaves in key order and ends.
    uint32_t page = GetU32(ReaderMeta(table) + kMetaFirstLeaf);
    for (uint32_t i = 0; i < state->leafCount; ++i) {
        if (page != state->leaves[i])
            return ReaderFail(table, "leaf chain: step %u reaches page %u, expected %u", i, page,
                              state->leaves[i]);
        page = GetU32(ReaderPage(table, page) + kNodeLink);
    }
    if (page != 0) return ReaderFail(table, "leaf chain goes on past the last leaf to page %u", page);
    return true;
}

bool CheckStrings(AliasTable* table) {
    std::size_t expected = kDbStringHeaderSize;
    for (unsigned long record = 0; record < table->records; ++record) {
        const char* alias;
        const char* mail;
        uint32_t offset, length;
        if (!ReaderRecord(table, uint32_t(record), &alias, &mail, &offset, &length)) return false;
        if (offset != expected)
            return ReaderFail(table, "record %lu: string at %u, expected at %zu", record, offset, expected);
        expected += kDbStringPrefixSize + length + 1;
    }
    if (expected != table->stringsSize)
        return ReaderFail(table, "string file holds %zu bytes, the records use %zu", table->stringsSize,
                          expected);
    return true;
}

}  // namespace

bool CheckAliasTable(AliasTable* table) {
    if (table->db == nullptr) return ReaderFail(table, "table not open");
    // The writer never changes a header: each is still its empty image.
    if (std::memcmp(table->db, kAliasRelationImage, kAliasRelationImageSize) != 0)
        return ReaderFail(table, "the relation header differs from the image");
    if (std::memcmp(table->index, kAliasIndexImage, kAliasIndexImageSize) != 0)
        return ReaderFail(table, "the index header differs from the image");
    if (std::memcmp(table->strings, kAliasStringImage, kAliasStringImageSize) != 0)
        return ReaderFail(table, "the string header differs from the image");
    if (table->records == 0) {
        if (ReaderPageCount(table) > 1 ||
            (ReaderPageCount(table) == 1 && GetU32(ReaderMeta(table) + kMetaFirstLeaf) != 0))
            return ReaderFail(table, "an empty table with index pages");
        return CheckStrings(table);
    }
    uint32_t pages = ReaderPageCount(table);
    CheckState state{table, table->ignoreCase, ReaderHeight(table), nullptr, nullptr, nullptr, 0};
    state.pageSeen = static_cast<unsigned char*>(std::calloc(pages, 1));
    state.recordSeen = static_cast<unsigned char*>(std::calloc(table->records, 1));
    state.leaves = static_cast<uint32_t*>(std::calloc(pages, sizeof(uint32_t)));
    bool sound = state.pageSeen != nullptr && state.recordSeen != nullptr && state.leaves != nullptr;
    if (!sound) ReaderFail(table, "out of memory");
    sound = sound && CheckTree(&state) && CheckStrings(table);
    std::free(state.pageSeen);
    std::free(state.recordSeen);
    std::free(state.leaves);
    return sound;
}
