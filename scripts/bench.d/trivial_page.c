/* The start-up benchmark's reference: the least a CGI program can be, a C
   program that prints a fixed page. Run exactly as ldapcgi.cgi is. */
#include <stdio.h>

int main(void) {
    fputs("Content-type: text/html\n\n<html><body>Find User Menu</body></html>\n", stdout);
    return 0;
}
