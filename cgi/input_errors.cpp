// Fatal input errors of the request decoder. Touches standard error only;
// standard output is left untouched so a web server sees no partial page.
#include "cgi/input_errors.h"

#include <cstdio>

#include "cgi/form_entries.h"

int ReportInputError(const char* message) {
    fputs(message, stderr);
    fputc('\n', stderr);
    return kFormInputFatal;
}
