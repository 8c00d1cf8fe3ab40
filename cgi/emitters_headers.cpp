// CGI response header printers. Texts are printed unescaped to standard output.
#include <cstdio>

#include "cgi/emitters.h"
#include "cgi/printable.h"

void PrintMimeHeader(const char* type) { printf("Content-type: %s\n\n", Printable(type)); }

void PrintNphHeader(const char* status) {
    printf("HTTP/1.0 %s\n", Printable(status));
    fputs("Server: CGI using ldapcgi\n", stdout);
}

void PrintLocation(const char* url) { printf("Location: %s\n\n", Printable(url)); }

void PrintStatus(const char* status) { printf("Status: %s\n", Printable(status)); }

void PrintPragma(const char* text) { printf("Pragma: %s\n", Printable(text)); }

void PrintSetCookie(const char* name, const char* value, const char* expires, const char* path,
                    const char* domain, int secure) {
    printf("Set-Cookie: %s=%s;", Printable(name), Printable(value));
    if (expires) printf(" EXPIRES=%s;", expires);
    if (path) printf(" PATH=%s;", path);
    if (domain) printf(" DOMAIN=%s;", domain);
    if (secure) fputs(" SECURE", stdout);
    fputc('\n', stdout);
}
