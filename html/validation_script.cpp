// The client-side e-mail check that forms with a mail field embed: the form
// is not sent unless the named field looks like name@domain.tld. The field
// name is printed as given (callers pass fixed field names).
#include "html/page_frame.h"

#include <cstdio>

void PrintEmailValidationScript(const char* field) {
    const char* name = field ? field : "";
    printf("\n<script>\n");
    printf("<!--\n");
    printf("function emailvalidation(entered, alertbox)\n");
    printf("{\n");
    printf("// Accepts a value whose first \"@\" has something before it,\n");
    printf("// whose last \".\" stands at least two places after that \"@\",\n");
    printf("// and which ends in two or three characters after that \".\".\n");
    printf("with (entered)\n");
    printf("{\n");
    printf("apos=value.indexOf(\"@\");\n");
    printf("dotpos=value.lastIndexOf(\".\");\n");
    printf("lastpos=value.length-1;\n");
    printf("if (apos<1 || dotpos-apos<2 || lastpos-dotpos>3 || lastpos-dotpos<2) \n");
    printf("{if (alertbox) {alert(alertbox);} return false;}\n");
    printf("else {return true;}\n");
    printf("}\n");
    printf("}\n");
    printf("function formvalidation(thisform)\n");
    printf("{\n");
    printf("with (thisform)\n");
    printf("{\n");
    printf("if (emailvalidation(%s,\"Illegal E-mail Format\")==false) {%s.focus(); return false;};\n", name,
           name);
    printf("}\n");
    printf("}\n");
    printf("//-->\n");
    printf("</script>\n");
}
