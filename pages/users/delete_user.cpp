// DeleteUser, the read-only confirmation page, and VerifyDeleteUser, which
// deletes the user's own entry (the domain entries above it stay).
#include <strings.h>

#include <cstdio>

#include "base/limits.h"
#include "directory/admin_scope.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
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
    PrintLayoutStart();
    PrintUserDetailTable(result, true);
    PrintPageFooter();
    PrintLayoutStart();
    printf("\t\t<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr>\n");
    PrintGoBackCell(false);
    PrintCommandCell({{"Command", "VerifyDeleteUser"}, {"Mail", mail}}, "VerifyDeleteUser", "Confirm",
                     nullptr);
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</form>\n");
    printf("\t\t</td>\n");
    PrintHelpCell("valign=\"top\" align=\"right\" ", HelpIn::kOwnForm, "deluser");
    PrintLayoutEnd();
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
    // The entry's aliases go with it: none of a domain the login does not
    // manage (nor one too long to read and so to tell).
    for (const attrval* node = result.get()->attrs; node != nullptr && node->next != nullptr;
         node = node->next)
        if (strcasecmp(node->name, "mail") == 0 && !AddressInScope(RequestScope(), node->value))
            return kOutsideDomains;
    if (!RequestScope().everything && HasTooLongValue(result.get(), "mail")) return kOutsideDomains;
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
