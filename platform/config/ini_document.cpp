// INI parsing through libinih, fed from text already in memory so that the
// caller decides how and when the file is read. Lines and values are kept
// whole: the parser's line buffer is as long as the text.
#include "platform/config/ini_document.h"

#include <ini.h>

#include <algorithm>
#include <cstring>

#include "platform/config/config_limits.h"

namespace {

struct TextStream {
    const char* next;
    const char* end;
    IniDocument* document;
};

void AppendLower(std::string& out, const char* text);

// A section heading as the parser reads it ("[", after leading blanks, the
// name up to the first "]") is noted in the document, so that a section
// without keys is still known to be there.
void NoteSection(const char* line, IniDocument* document) {
    if (strncmp(line, "\xEF\xBB\xBF", 3) == 0) line += 3;  // a byte order mark, which the parser skips
    while (*line == ' ' || *line == '\t') ++line;
    const char* close = *line == '[' ? strchr(line, ']') : nullptr;
    if (close == nullptr) return;
    std::string name;
    AppendLower(name, std::string(line + 1, close).c_str());
    document->keyOrder[name];
}

// fgets-style reader over the text. A line that does not fit in `size` is
// handed on as an empty line, so that its tail is never read as a line of
// its own.
char* ReadLine(char* line, int size, void* stream) {
    TextStream* text = static_cast<TextStream*>(stream);
    if (text->next >= text->end || size < 2) return nullptr;
    const char* newline = static_cast<const char*>(memchr(text->next, '\n', text->end - text->next));
    const char* stop = newline ? newline + 1 : text->end;
    std::size_t length = stop - text->next;
    if (length > static_cast<std::size_t>(size) - 1) {
        line[0] = '\n';
        line[1] = '\0';
    } else {
        memcpy(line, text->next, length);
        line[length] = '\0';
        NoteSection(line, text->document);
    }
    text->next = stop;
    return line;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Appends `text` trimmed, as it stands or in lower case ("[ Gateway ]" names "gateway").
void AppendTrimmed(std::string& out, const char* text, bool lower = false) {
    while (IsBlank(*text)) ++text;
    const char* end = text + strlen(text);
    while (end > text && IsBlank(end[-1])) --end;
    for (const char* p = text; p < end; ++p) {
        char c = *p;
        out.push_back(lower && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
}

void AppendLower(std::string& out, const char* text) { AppendTrimmed(out, text, true); }

void MakeKey(std::string& out, const char* section, const char* key) {
    out.clear();
    AppendLower(out, section);
    out.push_back('\n');
    AppendLower(out, key);
}

int StoreValue(void* user, const char* section, const char* name, const char* value) {
    IniDocument* document = static_cast<IniDocument*>(user);
    std::string key;
    MakeKey(key, section, name);
    if (!document->values.emplace(std::move(key), value).second) return 1;
    std::string folded;
    AppendLower(folded, section);
    std::string spelled;
    AppendTrimmed(spelled, name);
    document->keyOrder[folded].push_back(std::move(spelled));
    return 1;
}

// Whole lines, no continuation lines (an indented key is a key), and no
// inline comments (a ";" inside a value, say in a password, is kept).
void ConfigureParser(std::size_t textSize) {
    static char commentStarts[] = ";#";
    ini_start_comment_prefixes = commentStarts;
    ini_allow_no_value = false;
    ini_use_stack = false;
    ini_allow_realloc = false;
    // No line can be longer than the text (a file of at most kConfigMaxFileSize).
    ini_max_line = ini_initial_alloc = static_cast<int>(std::max(kConfigMaxLineSize, textSize + 2));
    ini_allow_multiline = false;
    ini_allow_inline_comments = false;
    ini_allow_bom = true;
    ini_stop_on_first_error = false;
}

}  // namespace

void IniParseText(const std::string& text, IniDocument& document) {
    document.values.clear();
    document.keyOrder.clear();
    ConfigureParser(text.size());
    TextStream stream{text.data(), text.data() + text.size(), &document};
    // Lines in error are reported by line number; the settings around them
    // still count, so the result is not needed.
    ini_parse_stream(ReadLine, &stream, StoreValue, &document);
}

const std::string* IniFind(const IniDocument& document, const char* section, const char* key,
                           std::string& scratch) {
    MakeKey(scratch, section, key);
    auto found = document.values.find(scratch);
    return found == document.values.end() ? nullptr : &found->second;
}

const std::vector<std::string>* IniSectionKeys(const IniDocument& document, const char* section,
                                               std::string& scratch) {
    scratch.clear();
    AppendLower(scratch, section);
    auto found = document.keyOrder.find(scratch);
    return found == document.keyOrder.end() ? nullptr : &found->second;
}
