// HTML document printers: head and body start, headings, a hidden field, the
// CGI environment and the decoded form entries. Texts are printed unescaped,
// except entry values, whose angle brackets are escaped.
#include <cstdio>
#include <cstdlib>

#include "cgi/emitters.h"
#include "cgi/form_entries.h"
#include "cgi/printable.h"

void PrintHtmlBegin(const char* title, const char* refresh, const char* colour) {
    fputs("<html> <head>\n", stdout);
    printf("<title>%s</title>\n", Printable(title));
    if (refresh) printf("<META HTTP-EQUIV=Refresh CONTENT=\"%s\">", refresh);
    fputs("</head>\n\n", stdout);
    printf("<body BGColor=#%s>\n", Printable(colour));
}

void PrintH1(const char* text) { printf("<h1>%s</h1>\n", Printable(text)); }
void PrintH2(const char* text) { printf("<h2>%s</h2>\n", Printable(text)); }
void PrintH3(const char* text) { printf("<h3>%s</h3>\n", Printable(text)); }
void PrintH4(const char* text) { printf("<h4>%s</h4>\n", Printable(text)); }
void PrintH5(const char* text) { printf("<h5>%s</h5>\n", Printable(text)); }
void PrintH6(const char* text) { printf("<h6>%s</h6>\n", Printable(text)); }

void PrintHiddenField(const char* name, const char* value) {
    printf("<input type=hidden name=\"%s\" value=\"%s\">\n", Printable(name), Printable(value));
}

void PrintCgiEnvironment() {
    struct Line {
        const char* variable;
        const char* before;
        const char* after;
    };
    static const Line kLines[] = {
        {"SERVER_SOFTWARE", "<p>", "<br>"}, {"SERVER_NAME", "", "<br>"},
        {"GATEWAY_INTERFACE", "", "<br>"},  {"SERVER_PROTOCOL", "", "<br>"},
        {"SERVER_PORT", "", "<br>"},        {"REQUEST_METHOD", "", "<br>"},
        {"PATH_INFO", "", "<br>"},          {"PATH_TRANSLATED", "", "<br>"},
        {"SCRIPT_NAME", "", "<br>"},        {"QUERY_STRING", "", "<br>"},
        {"REMOTE_HOST", "", "<br>"},        {"REMOTE_ADDR", "", "<br>"},
        {"AUTH_TYPE", "", "<br>"},          {"REMOTE_USER", "", "<br>"},
        {"REMOTE_IDENT", "", "<br>"},       {"CONTENT_TYPE", "", "<br>"},
        {"CONTENT_LENGTH", "", "<br></p>"}, {"HTTP_USER_AGENT", "", "<br></p>"},
    };
    for (const Line& line : kLines) {
        const char* value = getenv(line.variable);
        if (value) printf("%s%s = %s%s\n", line.before, line.variable, value, line.after);
    }
}

void PrintFormEntries(const FormEntryList& list) {
    fputs("<dl>\n", stdout);
    for (const FormEntry* e = list.head; e; e = e->next) {
        printf("  <dt> <b>%s</b>\n", e->name);
        char* escaped = EscapeAngleBrackets(e->value);
        printf("  <dd> %s\n", Printable(escaped));
        free(escaped);
    }
    fputs("</dl>\n", stdout);
}
