// NewUserMenu, the empty form for a new user, and NewUser, which screens the
// typed values, creates the user's entry (and missing domain entries) unless
// another entry holds the address already or it lies outside the login's
// domains, and shows the new user's details page.
#include <cstdio>
#include <string>

#include "base/limits.h"
#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/entry_stream.h"
#include "directory/mail_address.h"
#include "directory/mail_holders.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_entry.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

void PrintFieldRow(const char* label, const char* field) {
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">%s</td>\n", label);
    printf("\t\t\t\t<td>%s</td>\n", field);
    printf("\t\t\t</tr>\n");
}

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

const char kMayBeCreated[] = "The LDAP server did not answer: the user may have been created";

std::string AddFailed(const char* mail) {
    std::string text = "Adding New User (";
    return text.append(HtmlEscape(mail)).append(") Failed");
}

// The refusal when another entry holds the address: it names that entry
// when that entry is one of the login's users.
std::string HeldBy(const char* mail, const std::string& holder) {
    std::string text = AddFailed(mail);
    if (!UserDnInScope(RequestScope(), holder.c_str()))
        return text.append(", the address is already in use.");
    text.append(", the address is already used by another entry with DN: <br>\"");
    return text.append(HtmlEscape(holder.c_str())).append("\"");
}

// Creates the user when no entry holds its address as a mail value: the
// holders are searched before the add, and again after it, since a request
// beside this one may have stored the address meanwhile; then the new entry
// is taken back (both may refuse; never are both kept). The directory's own
// uniqueness guard, where it has one, is reported alike. The refusal's text,
// or empty when created.
std::string CreateUniqueUser(ldapClient& client, const char* firstName, const char* lastName,
                             const char* telNo, const char* address, const char* mail) {
    const std::string dn = client.CreateDNFromMail(mail);
    // A user whose primary address it is, is left to the add, which fails.
    MailHolders before = FindMailHolders(client, mail);
    std::string other = OtherHolder(client, &before, {dn.c_str()});
    if (!before.answered || !other.empty()) return other.empty() ? AddFailed(mail) : HeldBy(mail, other);
    TerminationHeld held;  // the add and the check that may take it back go together
    int status = CreateUserEntry(client, firstName, lastName, telNo, address, mail);
    if (IsConnectionFailure(status)) return kMayBeCreated;
    if (status != 0) {
        if (status == LDAP_CONSTRAINT_VIOLATION) {
            MailHolders now = FindMailHolders(client, mail);
            other = OtherHolder(client, &now, {dn.c_str()});
        }
        return other.empty() ? AddFailed(mail) : HeldBy(mail, other);
    }
    MailHolders after = FindMailHolders(client, mail);
    other = OtherHolder(client, &after, {dn.c_str()});
    if (after.answered && other.empty()) return "";
    if (DirectoryDelete(client, dn.c_str()) != LDAP_SUCCESS) {
        LogPrintf(kLogError, "NewUser: the new entry %s could not be taken back", dn.c_str());
        return kMayBeCreated;  // it may stand, so no "Failed"
    }
    return other.empty() ? AddFailed(mail) : HeldBy(mail, other);
}

// Screens the form and creates the user, whose screened address lands in
// *screenedMail: the refusal's text, or empty when created. The session
// ends on return: the details page opens one of its own.
std::string AddUser(const char* firstName, const char* lastName, const char* telNo, const char* address,
                    const char* mail, std::string* screenedMail) {
    if (IsEmpty(mail) || (IsEmpty(firstName) && IsEmpty(lastName))) return "Incomplete data input";
    const char* screened = ValidateMailAddress(mail);
    if (screened == nullptr) return "Invalid mail address";
    *screenedMail = screened;  // the screen's buffer is shared
    if (!AddressInScope(RequestScope(), screened)) return kOutsideDomains;
    const char* overflow = UserFieldOverflow(firstName, lastName, telNo, address);
    if (overflow != nullptr) return overflow;
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return "Error connecting to LDAP server";
    return CreateUniqueUser(client, firstName, lastName, telNo, address, screenedMail->c_str());
}

}  // namespace

int NewUserMenu() {
    PrintPageHeader("New User");
    PrintEmailValidationScript("Mail");
    printf("<form  METHOD=\"POST\" ACTION=\"%s\" onSubmit=\"return formvalidation(this)\" >\n", SCRIPT_PATH);
    printf("<input type=\"hidden\" name=\"Command\" value=\"NewUser\">\n");
    PrintLayoutStart();
    printf("\t\t\t<center>\n<table border=\"1\">\n");
    PrintFieldRow("First Name :", "<input type=\"text\" name=\"FirstName\">");
    PrintFieldRow("Last Name :", "<input type=\"text\" name=\"LastName\">");
    PrintFieldRow("Telephone Number :", "<input type=\"text\" name=\"TelNo\">");
    PrintFieldRow("Address :", "<textarea name=\"Address\" rows=\"4\" ></textarea>");
    PrintFieldRow("Mail", "<input type=\"text\" name=\"Mail\" >");
    printf("\t\t\t</table></center>\n");
    PrintPageFooter();
    PrintButtonBarStart("valign=top");
    PrintCommandCell({}, "Submit", "Create User", nullptr);
    PrintResetCell();
    PrintButtonBarEnd("align=right", HelpIn::kPageForm, "newuser");
    PrintLayoutEnd();
    printf("</form>\n");
    printf("</body>\n");
    printf("</html>\n");
    return 0;
}

int NewUser(const char* firstName, const char* lastName, const char* telNo, const char* address,
            const char* mail) {
    std::string screenedMail;
    std::string refusal = AddUser(firstName, lastName, telNo, address, mail, &screenedMail);
    if (!refusal.empty()) {
        PrintErrorPage("New User", "%s", refusal.c_str());
        return 0;
    }
    return FindUser(screenedMail.c_str(), "User created Succesfully");
}
