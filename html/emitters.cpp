// The emitters the page frame uses: the Content-type header and the table
// start and end tags. Print to standard output only.
#include <cstdio>

#include "html/emitters.h"

void PrintContentType() { fputs("Content-type: text/html\n\n", stdout); }

void PrintTableStart(const char* align, int border, int cellspacing, int cellpadding, const char* width) {
    if (align && width)
        printf("<TABLE ALIGN=%s BORDER=%d CELLSPACING=%d CELLPADDING=%d WIDTH=%s>\n", align, border,
               cellspacing, cellpadding, width);
    else if (align)
        printf("<TABLE ALIGN=%s BORDER=%d CELLSPACING=%d CELLPADDING=%d>\n", align, border, cellspacing,
               cellpadding);
    else if (width)
        printf("<TABLE BORDER=%d CELLSPACING=%d CELLPADDING=%d WIDTH=%s>\n", border, cellspacing, cellpadding,
               width);
    else
        printf("<TABLE BORDER=%d CELLSPACING=%d CELLPADDING=%d>\n", border, cellspacing, cellpadding);
}

void PrintTableEnd() { fputs("</TABLE>\n", stdout); }
