// The HTTP header and table printers the page frame uses. Their arguments
// are markup constants chosen by the caller (alignments, widths), never user
// or directory text, so they print them as they stand.
#ifndef LDAPCGI_HTML_EMITTERS_H
#define LDAPCGI_HTML_EMITTERS_H

void PrintContentType();
void PrintTableStart(const char* align, int border, int cellspacing, int cellpadding, const char* width);
void PrintTableEnd();

#endif
