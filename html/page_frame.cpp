// The frame every page shares: the CGI header and HTML head with the popup
// script, the title banner, the bottom banner, the section banner and the
// closing line. Prints to standard output only; texts are printed as given
// (callers escape what comes from users or the directory).
#include "html/page_frame.h"

#include <cstdio>

#include "html/emitters.h"

namespace {
const char* OrEmpty(const char* text) { return text ? text : ""; }
}  // namespace

void PrintPageHeader(const char* title) {
    PrintContentType();
    printf("<html>\n");
    printf("<head>\n");
    printf("<LINK REL=STYLESHEET HREF=\"/vemo/style/xomainstylesheet.css\">");
    printf("<title>%s</title>\n", OrEmpty(title));
    printf("</head>\n");
    printf("<script>\n");
    printf("function popup(url, name, width, height)\n");
    printf("{\n");
    printf(
        "settings=\"toolbar=no,location=no,directories=no,\"+"
        "\"status=no,menubar=no,scrollbars=yes,\"+"
        "\"resizable=yes,width=\"+width+\",height=\"+height;\n");
    printf("MyNewWindow=window.open(url,name,settings);\n");
    printf("}\n");
    printf("</script>\n");
    printf("<body>\n");
    PrintPageBanner(title);
}

void PrintPageBanner(const char* title) {
    printf("<table width=\"100%%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n");
    printf("<tr>\n");
    printf(
        "<td width=\"150\"><img src=\"../module-pictures/images/left-fade.gif\" "
        "width=\"150\" height=\"50\" border=\"0\"></td>\n");
    printf(
        "<td width=\"100%%\" nowrap background=\"../module-pictures/images/line.gif\" "
        "class=\"header\">%s</td>\n",
        OrEmpty(title));
    printf(
        "<td width=\"150\"><img src=\"../module-pictures/images/right-fade.gif\" "
        "width=\"150\" height=\"50\" border=\"0\"></td>\n");
    printf("</tr>\n");
    printf("</table>\n");
    printf("<br>\n");
}

// "heighth" in the table and cell tags is how the pages have always spelled it.
void PrintPageFooter() {
    printf("<table width=\"100%%\" heighth=\"10\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n");
    printf("<tr>\n");
    printf(
        "<td width=\"150\" heighth=\"10\"><img src=\"../module-pictures/images/bot-left-fade.gif\" "
        "width=\"150\" height=\"10\" border=\"0\"></td>\n");
    printf(
        "<td width=\"100%%\" heighth=\"10\" background=\"../module-pictures/images/bot-line.gif\">"
        "<img src=\"../module-pictures/images/bot-line.gif\" width=\"150\" height=\"10\"></td>\n");
    printf(
        "<td width=\"150\" heighth=\"10\"><img src=\"../module-pictures/images/bot-right-fade.gif\" "
        "width=\"150\" height=\"10\" border=\"0\"></td>\n");
    printf("</tr>\n");
    printf("</table>\n");
}

void PrintSectionBanner(const char* title) {
    PrintPageFooter();
    printf("<table width=\"100%%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n");
    printf("<tr>\n");
    printf("<td width=\"100%%\" nowrap class=\"header\">%s</td>\n", OrEmpty(title));
    printf("</tr>\n");
    printf("</table>\n");
    PrintPageFooter();
    printf("<BR>");
}

void PrintPageEnd() { printf("</body> </html>\n"); }
