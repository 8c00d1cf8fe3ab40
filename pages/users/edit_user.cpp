// EditUser: the user's attributes as an editable form whose submission
// reaches UpdateUser. The form remembers the user by its primary address.
#include <cstdio>
#include <string>

#include "base/limits.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_details.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

int EditUser(const char* mail) {
    PrintPageHeader("Edit User");
    PrintEmailValidationScript("Mail");
    ldapClient client;
    int status;
    SearchResult found(client, FindUserForForm(client, mail, &status));
    if (!found) return status;
    SearchReq* result = found.get();
    std::string identity = UserIdentity(result);
    printf("<form  METHOD=\"POST\" ACTION=\"%s\" onSubmit=\"return formvalidation(this)\" >\n", SCRIPT_PATH);
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    PrintUserDetailTable(result, false);
    PrintPageFooter();
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td>\n");
    printf(
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"%s\">\n",
           HtmlEscape(identity.c_str()).c_str());
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateUser\">\n");
    printf("\t\t\t\t\t<input type=\"submit\" name=\"UpdateUser\" value=\"Update\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td align=right>\n");
    printf(
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/edituser.htm', 'LDAP', 400,400);\">\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
