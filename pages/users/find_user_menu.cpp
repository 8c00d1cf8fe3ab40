// FindUserMenu: the search form of the user list (first name, last name,
// mail, distribution-list switch). Prints only.
#include <cstdio>

#include "base/limits.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "pages/users/user_pages.h"
#include "pages/users/user_transfer_links.h"

namespace {

void PrintFieldRow(const char* label, const char* field) {
    printf("\t\t\t\t<tr>\n");
    printf("\t\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">%s</td>\n", label);
    printf("\t\t\t\t\t<td>%s</td>\n", field);
    printf("\t\t\t\t</tr>\n");
}

}  // namespace

int FindUserMenu() {
    PrintPageHeader("Find User Menu");
    printf("<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    PrintLayoutStart();
    printf("\t\t\t<center>\n");
    printf("\t\t\t<table border=\"1\">\n");
    PrintFieldRow("First Name:", "<input type=\"text\" name=\"FirstName\" value=\"*\">");
    PrintFieldRow("Last Name:", "<input type=\"text\" name=\"LastName\" value=\"*\">");
    PrintFieldRow("Mail:", "<input type=\"text\" name=\"Mail\" value=\"*\">");
    PrintFieldRow(" Include Distribution List Entries ",
                  "<center><input type=\"checkbox\" name=\"Special\" value=\"yes\"></center>");
    printf("\t\t\t</table>\n");
    printf("\t\t\t</center>\n");
    PrintLayoutEnd();
    PrintPageFooter();
    PrintLayoutStart();
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t\t<tr>\n");
    printf("\t\t\t\t\t<td>\n");
    printf("\t\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"ListUsers\">\n");
    printf("\t\t\t\t\t\t<input type=\"submit\" name=\"ListUsers\" value=\"Find\">\n");
    printf("\t\t\t\t\t</td>\n");
    printf("\t\t\t\t\t<td>\n");
    printf("\t\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n");
    printf("\t\t\t\t\t</td>\n");
    printf("\t\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td align=right>\n");
    PrintHelpButton("\t\t\t", "finduser");
    PrintLayoutEnd();
    PrintUserTransferLinks(nullptr);
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
