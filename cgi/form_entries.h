// The decoded CGI request: an ordered list of name/value entries (duplicates
// kept), the decoders that fill it (GET, POST, multipart, interactive,
// cookies) and the lookups on it.
#ifndef LDAPCGI_CGI_FORM_ENTRIES_H
#define LDAPCGI_CGI_FORM_ENTRIES_H

#include <cstddef>

struct FormEntry {
    char* name;
    char* value;  // never null, possibly empty
    FormEntry* next;
};

struct FormEntryList {
    FormEntry* head;
};

// Results of the decoders besides an entry count (0 or more).
constexpr int kFormMalformed = -1;   // answered with the invalid-request page
constexpr int kFormInputFatal = -2;  // diagnostic written to standard error; exit status 1

// Request reading: the entry count, kFormMalformed or kFormInputFatal. A POST
// body must be url-encoded (CONTENT_TYPE application/x-www-form-urlencoded,
// or none) or multipart/form-data; any other type is malformed.
int ReadFormEntries(FormEntryList& list);
// The raw encoded input, or null after a fatal input error (diagnostic written).
char* ReadPostBody();
char* ReadQueryString();
char* ReadInteractiveInput();
// Entry count, or kFormMalformed: a field without "=" (unless only a final
// "&" follows it), or an escape that decodes to a NUL byte.
int ParseUrlEncoded(FormEntryList& list, const char* text);
// Entry count, kFormMalformed (a NUL byte in a name or value) or kFormInputFatal.
int ParseMultipart(FormEntryList& list);
int ParseCookies(FormEntryList& list);
// Decodes the escapes in place; false when one of them gave a NUL byte (the
// text then ends there).
bool UnescapeUrl(char* text);
char HexPairToChar(const char* pair);
std::size_t ReadBodyLine(char* buffer, std::size_t max);

// Lookups, by exact, case-sensitive comparison.
const char* FormValue(const FormEntry* list, const char* name);
const char** FormValues(const FormEntry* list, const char* name);
const char* FormNameOf(const FormEntry* list, const char* value);
const char** FormNamesOf(const FormEntry* list, const char* value);
bool FormFieldPresent(const FormEntry* list, const char* name);
bool FormFieldAbsentOrEmpty(const FormEntry* list, const char* name);
bool FormAllValuesEmpty(const FormEntry* list);

// List operations.
void FormEntryListInit(FormEntryList& list);
// The new entry, or null when memory is short or `after` is null in a
// non-empty list (nothing is inserted then).
FormEntry* FormEntryListInsertAfter(FormEntryList& list, FormEntry* after, const char* name,
                                    const char* value);
FormEntry* FormEntryListNext(const FormEntry* entry);
bool FormEntryListContains(const FormEntryList& list, const FormEntry* entry);
void FormEntryListForEach(const FormEntryList& list, void (*function)(const char* name, const char* value));
void FormEntryListClear(FormEntryList& list);
char* CopyString(const char* text);
char* LowerCaseInPlace(char* text);

#endif
