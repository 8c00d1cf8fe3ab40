// The parsed settings of one INI file: values by section and key, both names
// folded to lower case, and each section's keys in file order as written.
// Parsing only; no file access.
#ifndef LDAPCGI_PLATFORM_CONFIG_INI_DOCUMENT_H
#define LDAPCGI_PLATFORM_CONFIG_INI_DOCUMENT_H

#include <string>
#include <unordered_map>
#include <vector>

struct IniDocument {
    // Key: lower-case section, '\n', lower-case key.
    std::unordered_map<std::string, std::string> values;
    // Key: lower-case section. The keys of the section as the file spells
    // them, in file order, each once (the one whose value counts); a
    // section whose heading the file has but no keys holds none.
    std::unordered_map<std::string, std::vector<std::string>> keyOrder;
};

// Fills `document` from the file text. Lines starting with ";" or "#" are
// comments; names and values are trimmed; the first of repeated keys in a
// section counts. A line too long for the parser is skipped whole.
void IniParseText(const std::string& text, IniDocument& document);

// The value of `key` in `section` (letter case ignored), or null. `scratch`
// is working space, reused to spare an allocation per call.
const std::string* IniFind(const IniDocument& document, const char* section, const char* key,
                           std::string& scratch);

// The keys of `section` (letter case ignored) in file order, or null when the
// file has no heading of that section.
const std::vector<std::string>* IniSectionKeys(const IniDocument& document, const char* section,
                                               std::string& scratch);

#endif
