// EditUser: the user's attributes as an editable form whose submission
// reaches UpdateUser. The form remembers the user by its primary address.
#include <cstdio>
#include <string>

#include "base/limits.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
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
    PrintLayoutStart();
    PrintUserDetailTable(result, false);
    PrintPageFooter();
    PrintButtonBarStart("");
    PrintGoBackCell(false);
    PrintCommandCell({{"MailNdx", identity.c_str()}, {"Command", "UpdateUser"}}, "UpdateUser", "Update",
                     nullptr);
    PrintResetCell();
    PrintButtonBarEnd("align=right", HelpIn::kPageForm, "edituser");
    PrintLayoutEnd();
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}
