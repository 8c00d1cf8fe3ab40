// Escaping of user and directory texts for pages and links.
#ifndef LDAPCGI_HTML_TEXT_HELPERS_H
#define LDAPCGI_HTML_TEXT_HELPERS_H

#include <cstddef>

// Numeric character references for every byte but ASCII letters, digits,
// "-" and "."; the result lives in one static buffer until the next call.
const char* HtmlEscape(const char* text);
// Percent-encodes "%?+&#="; newly allocated, release with free(); null when
// memory is short.
char* UrlEncode(const char* text);

char* PlusToBlank(const char* text);
char* BlankToPlus(const char* text);
int PrintWithEncodedNewlines(const char* text);
void* AllocateMemory(std::size_t size);
void ReleaseMemory(void* pointer);

#endif
