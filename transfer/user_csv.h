// The user file in CSV (RFC 4180, UTF-8, a header row): its columns, the
// writing of one cell with the spreadsheet formula guard, and a reader of
// rows from a file. Pure text work on a FILE; touches no directory.
// Limits: a cell holds at most kMaxImportCellLength bytes, a row at most
// kUserColumnCount cells; a reader stops at the first malformed row.
#ifndef LDAPCGI_TRANSFER_USER_CSV_H
#define LDAPCGI_TRANSFER_USER_CSV_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The columns, in the order an export writes them.
enum UserColumn {
    kColMail,
    kColFirstName,
    kColLastName,
    kColTelephone,
    kColAddress,
    kColAliases,
    kColConnectors,
    kColPermissions,
    kUserColumnCount
};
extern const char* const kUserColumnNames[kUserColumnCount];

// Appends `text` as one cell: a text that a spreadsheet would run as a
// formula (beginning with "=", "+", "-", "@"), and one beginning with "'", a
// tab or a carriage return, gets a leading "'"; a cell holding a comma, a
// quote or a line break is quoted, its quotes doubled.
void AppendCsvCell(std::string* row, const std::string& text);
// The cell's text with the formula guard taken off again.
std::string UnguardCell(const std::string& cell);
// Appends one value to a list cell (aliases, connectors, permissions): the
// values stand separated by one blank, and a blank or a backslash within a
// value (a fax number's blanks) is written with a backslash before it.
void AppendListValue(std::string* cell, const char* bytes, std::size_t length);

class CsvReader {
public:
    explicit CsvReader(FILE* file) : file_(file) {}
    // The next row's cells (blank lines are skipped): 1, 0 at the end of the
    // file, -1 for a malformed row (Error() says why).
    int Next(std::vector<std::string>* cells);
    // The line on which the row last read began, from 1.
    long Line() const { return rowLine_; }
    const std::string& Error() const { return error_; }

private:
    int Fail(const char* why);
    FILE* file_;
    long line_ = 1;
    long rowLine_ = 0;
    bool started_ = false;
    std::string error_;
};

#endif
