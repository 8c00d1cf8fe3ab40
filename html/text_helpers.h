// Escaping of user and directory texts for pages, links and terminals.
#ifndef LDAPCGI_HTML_TEXT_HELPERS_H
#define LDAPCGI_HTML_TEXT_HELPERS_H

#include <string>

// Numeric character references for every byte but ASCII letters, digits,
// "-" and "."; "" for null.
std::string HtmlEscape(const char* text);
// Text for a terminal: control bytes, DEL, the C1 controls
// (U+0080 to U+009F) and every byte of no well-formed UTF-8 sequence as
// \xHH; the rest, letters outside ASCII included, as it is.
std::string TerminalText(const std::string& text);
// Whether every byte of the text is ASCII or part of a well-formed UTF-8
// sequence, as the directory's strings must be.
bool IsUtf8(const char* text);
// Percent-encodes "%?+&#="; newly allocated, release with free(); null when
// memory is short.
char* UrlEncode(const char* text);

#endif
