// Escaping of user and directory texts for pages and links.
#ifndef LDAPCGI_HTML_TEXT_HELPERS_H
#define LDAPCGI_HTML_TEXT_HELPERS_H

#include <string>

// Numeric character references for every byte but ASCII letters, digits,
// "-" and "."; "" for null.
std::string HtmlEscape(const char* text);
// Whether every byte of the text is ASCII or part of a well-formed UTF-8
// sequence, as the directory's strings must be.
bool IsUtf8(const char* text);
// Percent-encodes "%?+&#="; newly allocated, release with free(); null when
// memory is short.
char* UrlEncode(const char* text);

#endif
