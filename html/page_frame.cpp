// PLACEHOLDER until the page frame lands.
#include "html/page_frame.h"

#include <cstdarg>
#include <cstdio>

int PrintErrorPage(const char* title, const char* format, ...) {
    printf("Content-type: text/html\n\n<title>%s</title>\n", title);
    va_list args;
    va_start(args, format);
    int n = vprintf(format, args);
    va_end(args);
    printf("\n</body> </html>\n");
    return n;
}
