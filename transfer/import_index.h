// What an import file says of itself before the directory is asked: the
// rows refused on their own or for a value another row names first, the
// pairs of one row's addresses that only the letter-case folding joins, and
// the connectors a row shares with an earlier one. Built in one pass that
// keeps a hash and a place for each list value (not the value), and settles
// equal hashes by comparing the values themselves, so that a file of
// millions of values costs some bytes a value, not a copy of each.
// Reads the file only.
#ifndef LDAPCGI_TRANSFER_IMPORT_INDEX_H
#define LDAPCGI_TRANSFER_IMPORT_INDEX_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "transfer/import_rows.h"

// A value of a row (its place among the row's values) whose folded key an
// earlier row named first.
struct NamedBefore {
    std::uint32_t row;
    std::uint32_t position;
    std::uint32_t first;  // the first row that named it
};

// Folded key -> the first row that named it.
using FirstRows = std::unordered_map<std::string, std::uint32_t>;

struct FileIndex {
    std::unordered_map<std::size_t, std::string> refusals;  // row -> why
    // Two addresses of one row that only the folding joins (ß and ẞ): they
    // pass when the row's entry holds both as written, the directory's
    // answer that they differ; else the row names one address twice.
    std::unordered_map<std::size_t, std::vector<std::pair<std::string, std::string>>> foldedPairs;
    FirstRows connectorRows;  // of the connectors whose hash another shares
};

// The address as the screen gives it back; "" when it fails.
std::string ScreenedAddress(const std::string& address);
FileIndex IndexFile(const ImportFile& file);
// The first row that named `connector`, one of row `row`'s connectors: an
// earlier row, or `row` itself.
std::size_t FirstToNameConnector(const FileIndex& index, std::size_t row, const std::string& connector);

#endif
