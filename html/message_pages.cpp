// The centred "Result" box and the complete stand-alone error page built on
// it. Prints to standard output only; the message is printed as given.
#include "html/page_frame.h"

#include <cstdarg>
#include <cstdio>

#include "html/emitters.h"

namespace {

// The box up to the cell that holds the message.
void PrintResultBoxStart() {
    printf("<CENTER>\n");
    for (int i = 0; i < 8; ++i) printf("<BR>\n");
    PrintTableStart(nullptr, 0, 0, 0, "500");
    printf("<TR>\n");
    printf("<TD BGColor=#FEDBCA>\n");
    printf("<CENTER> <STRONG>Result\n");
    printf("<BR>\n");
    printf("<BR>\n");
    printf("</TD>\n");
    printf("</TR>\n");
    printf("<TR>\n");
    printf("<TD BGColor=#BBCCBB>\n");
    printf("<CENTER>\n");
}

// The box after the message, which has no newline of its own.
void PrintResultBoxEnd() {
    printf("</TD>\n");
    printf("</TR>\n");
    PrintTableEnd();
}

}  // namespace

void PrintResultPage(const char* message) {
    PrintResultBoxStart();
    if (message) fputs(message, stdout);
    PrintResultBoxEnd();
}

void PrintResultPageAndEnd(const char* message) {
    PrintResultPage(message);
    PrintPageEnd();
}

int PrintErrorPage(const char* title, const char* format, ...) {
    PrintPageHeader(title);
    PrintResultBoxStart();
    int length = 0;
    if (format) {
        va_list args;
        va_start(args, format);
        length = vprintf(format, args);
        va_end(args);
    }
    PrintResultBoxEnd();
    PrintPageEnd();
    return length;
}
void PrintInvalidRequestPage() { PrintErrorPage("Internal error", "Invalid CGI values!"); }
