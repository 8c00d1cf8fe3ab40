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
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Mail\" value=\"%s\">\n", HtmlEscape(mail).c_str());
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

namespace {

// Deletes the user that `mail` names: the refusal's text, or null when deleted.
const char* DeleteNamedUser(const char* mail) {
    const char* const noServer = "Error connecting to LDAP port on server";
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return noServer;
    // Only the user the address names: a wildcard or an absent field finds
    // other entries, which must not be taken for it.
    bool failed = false;
    SearchResult result(client, FindUserByMail(client, mail, &failed));
    if (failed) return noServer;
    if (!result || !IsUserIdentity(result.get(), mail)) return "Cant find user,Delete User Operation Failed";
    if (DirectoryDelete(client, client.CreateDNFromMail(mail)) != LDAP_SUCCESS)
        return "Could not delete, operation Failed";
    return nullptr;
}

}  // namespace

int VerifyDeleteUser(const char* mail) {
    PrintPageHeader("Delete User");
    const char* refusal = DeleteNamedUser(mail);
    if (refusal != nullptr) {
        PrintResultPageAndEnd(refusal);
        return 0;
    }
    PrintResultPage("Successfully Deleted User");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
