// Byte layout of a relation's files (NAME.db, NAME.str, NAME.id0), shared by
// the component that writes them and the readers. platform/ALIAS_TABLE_FORMAT.md
// says the same in prose. Numbers are little-endian; accessors copy bytes, so
// no alignment is assumed. No checks here: readers of untrusted files bound
// every offset themselves before using these.
#ifndef LDAPCGI_PLATFORM_RECBASE_DB_FORMAT_H
#define LDAPCGI_PLATFORM_RECBASE_DB_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// NAME.db: header, then fixed-length records back to back.
constexpr std::size_t kDbRelationHeaderSize = 643;
constexpr std::size_t kDbRecordLengthPointer = 0;  // word: offset of the record-length word

// NAME.str: header, then strings: u32 length n, n bytes, one NUL.
constexpr std::size_t kDbStringHeaderSize = 12;
constexpr std::size_t kDbStringPrefixSize = 4;

// NAME.id0: header (word 0 = key length), then pages of kDbPageSize bytes;
// page p starts at kDbIndexHeaderSize + p * kDbPageSize. Page 0 is the meta
// page; an index of the header alone is an empty one.
constexpr std::size_t kDbIndexHeaderSize = 1048;
constexpr std::size_t kDbPageSize = 4096;
constexpr std::size_t kDbMaxKeyLength = 255;  // a key's length fits the entry's length byte

// Meta page (page 0): offsets of its words.
constexpr uint32_t kDbMetaMagic = 0x58495442;  // "BTIX"
constexpr uint32_t kDbFormatVersion = 1;
constexpr std::size_t kMetaMagic = 0;
constexpr std::size_t kMetaVersion = 4;
constexpr std::size_t kMetaPageSize = 8;
constexpr std::size_t kMetaKeyLength = 12;
constexpr std::size_t kMetaRoot = 16;       // root page, 0 when empty
constexpr std::size_t kMetaPageCount = 20;  // pages in the file, meta page included
constexpr std::size_t kMetaHeight = 24;     // levels; 1 = the root is a leaf
constexpr std::size_t kMetaRecordCount = 28;
constexpr std::size_t kMetaFirstLeaf = 32;
constexpr std::size_t kMetaStringsEnd = 36;  // size of NAME.str

// Node pages: a 16-byte head, the slot array (u16 offsets of the entries in
// key order), free space, entries packed from the page's end downwards.
// Entry: u32 value, u8 key length k, k key bytes (the key without its
// trailing NULs). Leaf value: record number. Branch value: the child holding
// keys >= this entry's key; the head's link is the child for keys below the
// first entry. A leaf's link is the next leaf in key order (0: last).
constexpr uint8_t kNodeLeaf = 1;
constexpr uint8_t kNodeBranch = 2;
constexpr std::size_t kNodeType = 0;
constexpr std::size_t kNodeCount = 2;  // u16
constexpr std::size_t kNodeHeap = 4;   // u16: offset of the lowest entry byte
constexpr std::size_t kNodeLink = 8;   // u32
constexpr std::size_t kNodeHeadSize = 16;
constexpr std::size_t kEntryValue = 0;
constexpr std::size_t kEntryKeyLength = 4;
constexpr std::size_t kEntryKey = 5;

inline uint32_t GetU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void PutU32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint16_t GetU16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline void PutU16(unsigned char* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Length of a key without its trailing NULs.
inline std::size_t TrimmedKeyLength(const unsigned char* key, std::size_t length) {
    while (length > 0 && key[length - 1] == 0) --length;
    return length;
}

#endif
