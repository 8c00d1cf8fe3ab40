// The import's words (see import_text.h).
#include "transfer/import_text.h"

const char* const kRowKindNames[kRowKinds] = {
    "Rows to add:", "Rows to update:", "Rows unchanged:", "Rows refused:"};

const char kImportRules[] =
    "The file is checked whole first; nothing is written while any row is refused. Each row states the "
    "whole user for every column the file has: names, telephone and address take its values, and "
    "aliases, connectors and permissions that it does not list are removed. A column the file lacks is "
    "left as it is. Running a file again writes only what is missing.";

std::string ImportOutcome(const ImportReport& check, bool write, const ImportReport& written) {
    if (!check.failure.empty()) return "Nothing was written: " + check.failure;
    if (check.counts[kRowRefused] > 0) return "Nothing was written: the file has refused rows.";
    if (!write) return "The file was checked; nothing was written.";
    const std::string count = std::to_string(written.written) + " rows written";
    if (written.failure.empty()) return "All rows were written (" + count + ").";
    const std::string line = std::to_string(written.stoppedAt);
    if (written.unanswered)
        return "Writing stopped. " + written.failure + ". " + count + ", all before line " + line +
               "; whether line " + line +
               " was written is not known, the lines after it were not. Running the file again completes it.";
    return "Writing stopped. " + written.failure + ". " + count + ", all before line " + line + "; line " +
           line + " and the lines after it were not written.";
}
