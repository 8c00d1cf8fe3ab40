// The shared buttons, their cells and the button bar.
#include "html/form_buttons.h"

#include <cstdio>
#include <string>

#include "base/limits.h"
#include "html/text_helpers.h"

void PrintLayoutStart() {
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
}

void PrintLayoutEnd() {
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
}

void PrintHelpButton(const char* indent, const char* topic) {
    printf(
        "%s<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/%s.htm', 'LDAP', 400,400);\">\n",
        indent, topic);
}

void PrintGoBackButton(const char* indent, bool newline) {
    printf("%s<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">%s", indent,
           newline ? "\n" : "");
}

void PrintGoBackCell(bool ownForm) {
    printf("\t\t\t\t<td>\n");
    if (ownForm) printf("\t\t\t\t<form>\n");
    PrintGoBackButton("\t\t\t\t\t");
    if (ownForm) printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintResetCell() {
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n");
    printf("\t\t\t\t</td>\n");
}

void PrintCommandCell(std::initializer_list<HiddenField> fields, const char* name, const char* label,
                      const char* formIndent) {
    printf("\t\t\t\t<td>\n");
    if (formIndent != nullptr) printf("%s<form  METHOD=\"POST\" ACTION=\"%s\">\n", formIndent, SCRIPT_PATH);
    for (const HiddenField& field : fields) {
        std::string line =
            std::string("\t\t\t\t\t<input type=\"hidden\" name=\"") + field.name + "\" value=\"";
        line += HtmlEscape(field.value);
        line += "\">\n";
        fputs(line.c_str(), stdout);
    }
    printf("\t\t\t\t\t<input type=\"submit\" name=\"%s\" value=\"%s\">\n", name, label);
    if (formIndent != nullptr) printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintButtonBarStart(const char* rowAttributes) {
    PrintLayoutStart();
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr%s%s>\n", rowAttributes[0] != '\0' ? " " : "", rowAttributes);
}

void PrintButtonBarEnd(const char* helpAttributes, HelpIn where, const char* topic) {
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    PrintHelpCell(helpAttributes, where, topic);
}

void PrintHelpCell(const char* attributes, HelpIn where, const char* topic) {
    printf("\t\t<td %s>\n", attributes);
    if (where == HelpIn::kOwnForm) printf("\t\t<form>\n");
    PrintHelpButton("\t\t\t", topic);
    if (where == HelpIn::kOwnForm) printf("\t\t</form>\n");
    PrintLayoutEnd();
}
