// EditUser: the user's attributes as an editable form whose submission
// reaches UpdateUser. The form remembers the user by its primary address.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/limits.h"
#include "directory/directory_session.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_details.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient.h"

void EditUser(const char* mail) {
    PrintPageHeader("Edit User");
    PrintEmailValidationScript("Mail");
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPage("Error connecting to LDAP port on server");
        PrintPageEnd();
        client.ldapClientUnbind();
        exit(1);
    }
    SearchReq* result = FindUserByMail(client, mail);
    if (result == nullptr) {
        client.ldapClientUnbind();
        PrintResultPage("User not found");
        PrintPageEnd();
        return;
    }
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
    printf("\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"MailNdx\" value=\"%s\">\n", HtmlEscape(identity.c_str()));
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
    printf("\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
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
    client.srch_free(result);
    client.ldapClientUnbind();
}
