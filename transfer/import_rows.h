// An import file read into memory: the header's columns and every row's
// cells, packed (one text per row, cells in column order separated by NUL
// bytes), with the line each row began on. Reads the file only.
// Limits: kMaxImportFileBytes bytes, kMaxImportRows rows, cells as the CSV
// reader bounds them; beyond them the file is refused whole.
#ifndef LDAPCGI_TRANSFER_IMPORT_ROWS_H
#define LDAPCGI_TRANSFER_IMPORT_ROWS_H

#include <string>
#include <string_view>
#include <vector>

#include "transfer/user_csv.h"

struct ImportFile {
    bool hasColumn[kUserColumnCount] = {};
    std::vector<std::string> rows;
    std::vector<long> lines;
};

// One row's cells, the formula guard taken off; a column the file lacks is "".
struct ImportRow {
    std::string cells[kUserColumnCount];
};

// Reads `path`; "" when read, else why the file is refused.
std::string ReadImportFile(const char* path, ImportFile* file);
ImportRow UnpackRow(const ImportFile& file, std::size_t index);
// Cell `column` of a packed row, not copied.
std::string_view PackedCell(const std::string& packed, int column);
// The blank-separated values of a list cell, in order, empty ones skipped;
// "\ " and "\\" within a value stand for a blank and a backslash (other
// backslashes are the value's own, as older files hold them).
std::vector<std::string> SplitValues(const std::string& cell);
// How many values SplitValues finds in the cell, without keeping them.
std::size_t CountValues(std::string_view cell);

#endif
