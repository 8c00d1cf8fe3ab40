// HTML form element printers. Texts are printed unescaped to standard output;
// a negative size stands for the default of 21.
#include <cstdio>

#include "cgi/emitters.h"
#include "cgi/printable.h"

namespace {
constexpr int kDefaultInputSize = 21;
int InputSize(int size) { return size < 0 ? kDefaultInputSize : size; }
}  // namespace

void PrintFormStart(const char* action, const char* method, const char* encodingType) {
    if (encodingType)
        printf("<FORM  ACTION=\"%s\" METHOD=\"%s\" ENCTYPE=\"%s\">\n", Printable(action), Printable(method),
               encodingType);
    else
        printf("<FORM  ACTION=\"%s\" METHOD=\"%s\">\n", Printable(action), Printable(method));
}

void PrintFormEnd() { fputs("</FORM>\n", stdout); }

void PrintTextInput(const char* name, const char* value, int maxLength, int size) {
    name = Printable(name);
    size = InputSize(size);
    if (maxLength >= 1 && value)
        printf("<INPUT NAME=\"%s\" VALUE=\"%s\" TYPE=text MAXLENGTH=\"%d\" SIZE=\"%d\">\n", name, value,
               maxLength, size);
    else if (maxLength >= 1)
        printf("<INPUT NAME=\"%s\" TYPE=text MAXLENGTH=\"%d\" SIZE=\"%d\">\n", name, maxLength, size);
    else if (value)
        printf("<INPUT NAME=\"%s\" VALUE=\"%s\" TYPE=text SIZE=\"%d\">\n", name, value, size);
    else
        printf("<INPUT NAME=\"%s\" TYPE=text SIZE=\"%d\">\n", name, size);
}

void PrintPasswordInput(const char* name, const char* value, int maxLength, int size) {
    if (maxLength >= 1)
        printf("<INPUT NAME=\"%s\" VALUE=\"%s\" TYPE=password MAXLENGTH=\"%d\" SIZE=\"%d\">\n",
               Printable(name), Printable(value), maxLength, InputSize(size));
    else
        printf("<INPUT NAME=\"%s\" VALUE=\"%s\" TYPE=password SIZE=\"%d\">\n", Printable(name),
               Printable(value), InputSize(size));
}

void PrintHiddenInput(const char* name, const char* value) {
    printf("<INPUT TYPE=HIDDEN NAME=\"%s\" VALUE=\"%s\">\n", Printable(name), Printable(value));
}

void PrintRadioButton(const char* name, const char* value, int checked) {
    printf("<INPUT TYPE=RADIO NAME=\"%s\" VALUE=\"%s\"%s>\n", Printable(name), Printable(value),
           checked ? " CHECKED" : "");
}

void PrintCheckbox(const char* name, const char* value, int checked) {
    printf("<INPUT TYPE=CHECKBOX NAME=\"%s\" VALUE=\"YES\"%s>\n", Printable(name), checked ? " CHECKED" : "");
}

void PrintSelectStart(const char* name, int size, int multiple) {
    printf("<SELECT NAME=\"%s\" SIZE=\"%d\"%s>\n", Printable(name), size, multiple ? " MULTIPLE" : "");
}

void PrintOption(const char* value, const char* label, int selected) {
    label = Printable(label);
    if (selected && value)
        printf("<OPTION VALUE=%s SELECTED> %s\n", value, label);
    else if (selected)
        printf("<OPTION SELECTED> %s\n", label);
    else if (value)
        printf("<OPTION VALUE=%s> %s\n", value, label);
    else
        printf("<OPTION> %s\n", label);
}

void PrintSelectEnd() { fputs("</SELECT>\n", stdout); }

void PrintSubmitButton(const char* name, const char* value) {
    printf("<INPUT TYPE=submit NAME=\"%s\" VALUE=\"%s\">\n", Printable(name), Printable(value));
}

void PrintResetButton(const char* label) { printf("<INPUT TYPE=reset VALUE=\"%s\">\n", Printable(label)); }
