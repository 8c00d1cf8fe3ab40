// CSV cells of the user file: writing with the formula guard and quoting,
// reading rows (quoted cells may hold commas, quotes and line breaks).
#include "transfer/user_csv.h"

#include <cstring>

#include "base/limits.h"

const char* const kUserColumnNames[kUserColumnCount] = {"mail",    "first name", "last name",  "telephone",
                                                        "address", "aliases",    "connectors", "permissions"};

namespace {

bool Guarded(char first) { return first != '\0' && strchr("=+-@'\t\r", first) != nullptr; }

}  // namespace

void AppendCsvCell(std::string* row, const std::string& text) {
    const bool guard = !text.empty() && Guarded(text[0]);
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        row->append(guard ? "'" : "").append(text);
        return;
    }
    row->append(guard ? "\"'" : "\"");
    for (char c : text) {
        if (c == '"') row->push_back('"');
        row->push_back(c);
    }
    row->push_back('"');
}

std::string UnguardCell(const std::string& cell) {
    if (cell.size() >= 2 && cell[0] == '\'' && Guarded(cell[1])) return cell.substr(1);
    return cell;
}

void AppendListValue(std::string* cell, const char* bytes, std::size_t length) {
    if (!cell->empty()) cell->push_back(' ');
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] == ' ' || bytes[i] == '\\') cell->push_back('\\');
        cell->push_back(bytes[i]);
    }
}

int CsvReader::Fail(const char* why) {
    error_ = why;
    return -1;
}

int CsvReader::Next(std::vector<std::string>* cells) {
    for (;;) {
        cells->clear();
        rowLine_ = line_;
        int c = getc_unlocked(file_);
        if (!started_) {  // a byte order mark, as spreadsheets write one
            started_ = true;
            if (c == 0xEF && getc_unlocked(file_) == 0xBB && getc_unlocked(file_) == 0xBF)
                c = getc_unlocked(file_);
            else if (c == 0xEF)
                return Fail("the file does not begin with a header row");
        }
        if (c == EOF) return 0;
        // A carriage return ends a line only before a line feed; else it
        // would be dropped from the row's first cell.
        if (c == '\r' && (c = getc_unlocked(file_)) != '\n')
            return Fail("a carriage return stands outside quotes");
        if (c == '\n') {  // a blank line
            ++line_;
            continue;
        }
        std::string cell;
        for (;;) {
            if (cells->size() >= kUserColumnCount) return Fail("a row has more cells than there are columns");
            cell.clear();
            if (c == '"') {
                for (;;) {
                    c = getc_unlocked(file_);
                    if (c == EOF) return Fail("a quoted cell is not closed");
                    if (c == '"') {
                        c = getc_unlocked(file_);
                        if (c != '"') break;
                    }
                    if (c == '\n') ++line_;
                    cell.push_back(static_cast<char>(c));
                    if (cell.size() > kMaxImportCellLength) return Fail("a cell is too long");
                }
            } else {
                while (c != EOF && c != ',' && c != '\n' && c != '\r') {
                    if (c == '"') return Fail("a quote stands inside a cell that is not quoted");
                    cell.push_back(static_cast<char>(c));
                    if (cell.size() > kMaxImportCellLength) return Fail("a cell is too long");
                    c = getc_unlocked(file_);
                }
            }
            cells->push_back(cell);
            if (c == '\r') {
                c = getc_unlocked(file_);
                if (c != '\n') return Fail("a carriage return stands outside quotes");
            }
            if (c == '\n') {
                ++line_;
                return 1;
            }
            if (c == EOF) return 1;
            if (c != ',') return Fail("a quoted cell is followed by more text");
            c = getc_unlocked(file_);
        }
    }
}
