// The four alias forms: NewAlias (an empty alias input), ViewAlias (one alias
// with Edit and Delete), EditAlias (the alias in an input, with the old value
// kept hidden) and DeleteAlias (the confirmation). Each reads the user once
// and prints from that result; none changes the directory. Every value from
// the request or the directory is escaped where it is printed.
#include <cstdio>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/aliases/alias_pages.h"
#include "pages/users/user_details.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// What sets one form apart from the others.
struct AliasPage {
    const char* title;
    bool editable;     // validation script, a form around an alias input; else read-only
    const char* help;  // help file below /vemo/help/ldap/sysadmin/
    void (*printButtons)(const char* mail, const char* alias);
};

// The view and delete forms post from cells of their own.
constexpr char kAliasFormIndent[] = "\t\t\t\t\t\t\t\t\t";

void PrintNewButtons(const char* mail, const char*) {
    PrintGoBackCell(false);
    PrintCommandCell({{"Mail", mail}, {"Command", "UpdateAlias"}}, "Update", "Add", nullptr);
    PrintResetCell();
}

void PrintViewButtons(const char* mail, const char* alias) {
    PrintGoBackCell(true);
    PrintCommandCell({{"Mail", mail}, {"MailAlias", alias}, {"Command", "EditAlias"}}, "EditConn", "Edit",
                     kAliasFormIndent);
    PrintCommandCell({{"Mail", mail}, {"MailAlias", alias}, {"Command", "DeleteAlias"}}, "DeleteConn",
                     "Delete", kAliasFormIndent);
}

void PrintEditButtons(const char* mail, const char* alias) {
    PrintGoBackCell(false);
    PrintCommandCell({{"Mail", mail}, {"OldMailAlias", alias}, {"Command", "UpdateAlias"}}, "Update",
                     "Update", nullptr);
    PrintResetCell();
}

void PrintDeleteButtons(const char* mail, const char* alias) {
    PrintGoBackCell(true);
    PrintCommandCell({{"Mail", mail}, {"MailAlias", alias}, {"Command", "ConfirmDeleteAlias"}}, "Confirm",
                     "Confirm", kAliasFormIndent);
}

// The user's names and telephone number from the directory, and the address
// as the request gave it.
void PrintSummary(const SearchReq* user, const char* mail) {
    PrintLayoutStart();
    printf("\t\t\t<center><table border=\"0\">\n");
    printf("\t\t\t\t<tr>\n");
    for (const char* name : {"firstname", "sn", "telephoneNumber"})
        printf("\t\t\t\t\t<td>%s</td>\n", HtmlEscape(GetAttrValue(user, name)).c_str());
    printf("\t\t\t\t\t<td>%s</td>\n", HtmlEscape(mail).c_str());
    printf("\t\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
}

void PrintButtonBar(const AliasPage& page, const char* mail, const char* alias) {
    PrintButtonBarStart("valign=top");
    page.printButtons(mail, alias);
    PrintButtonBarEnd("valign=top align=right", page.editable ? HelpIn::kPageForm : HelpIn::kOwnForm,
                      page.help);
}

int PrintAliasPage(const AliasPage& page, const char* mail, const char* alias) {
    PrintPageHeader(page.title);
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        return 1;
    }
    bool failed = false;
    SearchResult found(client, FindUserByMail(client, mail, &failed));
    const SearchReq* user = found.get();
    if (user == nullptr) {
        PrintResultPageAndEnd(failed ? "Error connecting to LDAP port on server"
                                     : "User not found, no Aliases can be displayed");
        return failed ? 1 : 0;
    }
    if (page.editable) PrintEmailValidationScript("MailAlias");
    PrintSummary(user, mail);
    if (page.editable) {
        printf("\t\t\t<form  METHOD=\"POST\" ACTION=\"%s\" onSubmit=\"return formvalidation(this)\" >\n",
               SCRIPT_PATH);
    }
    printf("\t\t\t<table border=\"1\">\n");
    PrintDetailRow(!page.editable, "Mail Alias", "MailAlias", alias);
    printf("\t\t\t</table></center>\n");
    PrintPageFooter();
    PrintButtonBar(page, mail, alias);
    if (page.editable) printf("\t\t\t</form>\n");
    PrintLayoutEnd();
    PrintPageEnd();
    return 0;
}

}  // namespace

int NewAlias(const char* mail) {
    return PrintAliasPage({"New Alias", true, "newalias", PrintNewButtons}, mail, "");
}

int ViewAlias(const char* mail, const char* mailAlias) {
    return PrintAliasPage({"View Alias", false, "viewalias", PrintViewButtons}, mail, mailAlias);
}

int EditAlias(const char* mail, const char* mailAlias) {
    return PrintAliasPage({"Edit Alias", true, "editalias", PrintEditButtons}, mail, mailAlias);
}

int DeleteAlias(const char* mail, const char* mailAlias) {
    return PrintAliasPage({"Delete Alias", false, "delalias", PrintDeleteButtons}, mail, mailAlias);
}
