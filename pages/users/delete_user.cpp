// DeleteUser, the read-only confirmation page, and VerifyDeleteUser, which
// deletes the user's own entry (the domain entries above it stay).
#include <cstdio>

#include "base/limits.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_details.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

int DeleteUser(const char* mail) {
    PrintPageHeader("Delete User");
    ldapClient client;
    int status;
    SearchResult found(client, FindUserForForm(client, mail, &status));
    if (!found) return status;
    SearchReq* result = found.get();
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    PrintUserDetailTable(result, true);
    PrintPageFooter();
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td>\n");
    printf(
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"VerifyDeleteUser\">\n");
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"%s\">\n", HtmlEscape(mail));
    printf("\t\t\t\t\t<input type=\"submit\" name=\"VerifyDeleteUser\" value=\"Confirm\">\n");
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</form>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td valign=\"top\" align=\"right\" >\n");
    printf("\t\t<form>\n");
    printf(
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/deluser.htm', 'LDAP', 400,400);\">\n");
    printf("\t\t</form>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}

int VerifyDeleteUser(const char* mail) {
    PrintPageHeader("Delete User");
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 0;
    }
    // Only the user the address names: a wildcard or an absent field finds
    // other entries, which must not be taken for it.
    bool failed = false;
    SearchResult result(client, FindUserByMail(client, mail, &failed));
    if (failed) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 0;
    }
    if (!result || !IsUserIdentity(result.get(), mail)) {
        PrintResultPageAndEnd("Cant find user,Delete User Operation Failed");
        return 0;
    }
    if (DirectoryDelete(client, client.CreateDNFromMail(mail)) == -1) {
        PrintResultPageAndEnd("Could not delete, operation Failed");
    } else {
        PrintResultPage("Successfully Deleted User");
        printf("</body>\n");
        printf("</html>\n");
    }
    return 0;
}
