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

// Request reading. Fatal input errors end the process with status 1.
int ReadFormEntries(FormEntryList& list);
char* ReadPostBody();
char* ReadQueryString();
char* ReadInteractiveInput();
int ParseUrlEncoded(FormEntryList& list, const char* text);
int ParseMultipart(FormEntryList& list);
int ParseCookies(FormEntryList& list);
void UnescapeUrl(char* text);
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
FormEntry* FormEntryListInsertAfter(FormEntryList& list, FormEntry* after, const char* name,
                                    const char* value);
FormEntry* FormEntryListNext(const FormEntry* entry);
bool FormEntryListContains(const FormEntryList& list, const FormEntry* entry);
void FormEntryListForEach(const FormEntryList& list, void (*function)(const char* name, const char* value));
void FormEntryListClear(FormEntryList& list);
char* CopyString(const char* text);
char* LowerCaseInPlace(char* text);

#endif
