// Reading an import file: size bound, header (known columns, each once,
// "mail" among them), rows (no more cells than the header, no NUL byte, UTF-8
// only: the directory refuses other text, and would do so only at the write).
#include "transfer/import_rows.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "base/limits.h"
#include "html/text_helpers.h"

namespace {

struct CloseFile {
    void operator()(FILE* file) const { fclose(file); }
};

constexpr char kUnreadable[] = "The file cannot be read";

std::string AtLine(long line, const std::string& why) { return "Line " + std::to_string(line) + ": " + why; }

// Calls `take` with each value of a list cell, in order (see SplitValues).
template <typename Take>
void ScanValues(std::string_view cell, Take take) {
    std::string value;
    for (std::size_t i = 0; i <= cell.size(); ++i) {
        if (i == cell.size() || cell[i] == ' ') {
            if (!value.empty()) take(value);
            value.clear();
        } else if (cell[i] == '\\' && i + 1 < cell.size() && (cell[i + 1] == ' ' || cell[i + 1] == '\\')) {
            value.push_back(cell[++i]);
        } else {
            value.push_back(cell[i]);
        }
    }
}

}  // namespace

std::string ReadImportFile(const char* path, ImportFile* file) {
    struct stat info;
    std::unique_ptr<FILE, CloseFile> in(path == nullptr ? nullptr : fopen(path, "rb"));
    if (!in || fstat(fileno(in.get()), &info) != 0 || !S_ISREG(info.st_mode)) return kUnreadable;
    if (static_cast<unsigned long long>(info.st_size) > kMaxImportFileBytes)
        return "The file is larger than " + std::to_string(kMaxImportFileBytes) + " bytes";
    CsvReader reader(in.get());
    std::vector<std::string> cells;
    int read = reader.Next(&cells);
    // A read error ends the reader's input as the file's end would: the rows
    // before it must not pass for the whole file.
    if (ferror(in.get())) return kUnreadable;
    if (read <= 0) return read == 0 ? "The file is empty" : AtLine(reader.Line(), reader.Error());
    int order[kUserColumnCount];
    for (std::size_t i = 0; i < cells.size(); ++i) {
        int column = 0;
        while (column < kUserColumnCount && strcasecmp(cells[i].c_str(), kUserColumnNames[column]) != 0)
            ++column;
        if (column == kUserColumnCount) return "The header row names an unknown column: " + cells[i];
        if (file->hasColumn[column]) return "The header row names the column " + cells[i] + " twice";
        file->hasColumn[column] = true;
        order[i] = column;
    }
    if (!file->hasColumn[kColMail]) return "The header row has no column mail";
    const std::size_t width = cells.size();
    while ((read = reader.Next(&cells)) == 1) {
        if (file->rows.size() >= kMaxImportRows)
            return "The file has more than " + std::to_string(kMaxImportRows) + " rows";
        // A short row (a cut last line, a hand edit) would empty the columns it lacks.
        if (cells.size() != width)
            return AtLine(reader.Line(), cells.size() > width ? "more cells than the header row names"
                                                              : "fewer cells than the header row names");
        std::string sorted[kUserColumnCount];
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].find('\0') != std::string::npos)
                return AtLine(reader.Line(), "a cell holds a NUL byte");
            if (!IsUtf8(cells[i].c_str())) return AtLine(reader.Line(), "a cell is not UTF-8");
            sorted[order[i]] = UnguardCell(cells[i]);
        }
        std::string packed;
        for (int column = 0; column < kUserColumnCount; ++column)
            packed.append(sorted[column]).push_back('\0');
        packed.shrink_to_fit();
        file->rows.push_back(std::move(packed));
        file->lines.push_back(reader.Line());
    }
    if (ferror(in.get())) return kUnreadable;
    if (read < 0) return AtLine(reader.Line(), reader.Error());
    if (file->rows.empty()) return "The file has no user rows";
    return "";
}

ImportRow UnpackRow(const ImportFile& file, std::size_t index) {
    ImportRow row;
    const std::string& packed = file.rows[index];
    std::size_t at = 0;
    for (int column = 0; column < kUserColumnCount; ++column) {
        const std::size_t end = packed.find('\0', at);
        row.cells[column] = packed.substr(at, end - at);
        at = end + 1;
    }
    return row;
}

std::string_view PackedCell(const std::string& packed, int column) {
    std::size_t at = 0;
    for (int i = 0; i < column; ++i) at = packed.find('\0', at) + 1;
    return std::string_view(packed).substr(at, packed.find('\0', at) - at);
}

std::vector<std::string> SplitValues(const std::string& cell) {
    std::vector<std::string> values;
    ScanValues(cell, [&](const std::string& value) { values.push_back(value); });
    return values;
}

std::size_t CountValues(std::string_view cell) {
    std::size_t count = 0;
    ScanValues(cell, [&](const std::string&) { ++count; });
    return count;
}
