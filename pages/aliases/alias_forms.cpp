// The four alias forms: NewAlias (an empty alias input), ViewAlias (one alias
// with Edit and Delete), EditAlias (the alias in an input, with the old value
// kept hidden) and DeleteAlias (the confirmation). Each reads the user once
// and prints from that result; none changes the directory. Every value from
// the request or the directory is escaped where it is printed.
#include <cstdio>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "directory/owners.h"
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

void PrintHidden(const char* name, const char* value) {
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"%s\" value=\"%s\">\n", name, HtmlEscape(value).c_str());
}

void PrintGoBack(bool ownForm) {
    printf("\t\t\t\t<td>\n");
    if (ownForm) printf("\t\t\t\t<form>\n");
    printf(
        "\t\t\t\t\t<input type=\"button\" name=\"Cancel\" value=\"Go back\" onClick=\"history.go(-1)\">\n");
    if (ownForm) printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintReset() {
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t<input type=\"reset\" value=\"Reset\" name=\"Reset\">\n");
    printf("\t\t\t\t</td>\n");
}

// A cell with a form of its own that sends the user and the alias on to `command`.
void PrintAliasCommandCell(const char* mail, const char* alias, const char* command, const char* submit) {
    printf("\t\t\t\t<td>\n");
    printf("\t\t\t\t\t\t\t\t\t<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    PrintHidden("Mail", mail);
    PrintHidden("MailAlias", alias);
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", command);
    printf("\t\t\t\t\t%s\n", submit);
    printf("\t\t\t\t</form>\n");
    printf("\t\t\t\t</td>\n");
}

void PrintNewButtons(const char* mail, const char*) {
    PrintGoBack(false);
    printf("\t\t\t\t<td>\n");
    PrintHidden("Mail", mail);
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateAlias\">\n");
    printf("\t\t\t\t\t<input type=\"submit\" name=\"Update\" value=\"Add\">\n");
    printf("\t\t\t\t</td>\n");
    PrintReset();
}

void PrintViewButtons(const char* mail, const char* alias) {
    PrintGoBack(true);
    PrintAliasCommandCell(mail, alias, "EditAlias",
                          "<input type=\"submit\" name=\"EditConn\" value=\"Edit\">");
    PrintAliasCommandCell(mail, alias, "DeleteAlias",
                          "<input type=\"submit\" name=\"DeleteConn\" value=\"Delete\">");
}

void PrintEditButtons(const char* mail, const char* alias) {
    PrintGoBack(false);
    printf("\t\t\t\t<td>\n");
    PrintHidden("Mail", mail);
    PrintHidden("OldMailAlias", alias);
    printf("\t\t\t\t\t<input type=\"hidden\" name=\"Command\" value=\"UpdateAlias\">\n");
    printf("\t\t\t\t\t<input type=\"submit\" name=\"Update\" value=\"Update\">\n");
    printf("\t\t\t\t</td>\n");
    PrintReset();
}

void PrintDeleteButtons(const char* mail, const char* alias) {
    PrintGoBack(true);
    PrintAliasCommandCell(mail, alias, "ConfirmDeleteAlias",
                          "<input type=\"submit\" name=\"Confirm\" value=\"Confirm\">");
}

// The user's names and telephone number from the directory, and the address
// as the request gave it.
void PrintSummary(const SearchReq* user, const char* mail) {
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t\t<center><table border=\"0\">\n");
    printf("\t\t\t\t<tr>\n");
    for (const char* name : {"firstname", "sn", "telephoneNumber"})
        printf("\t\t\t\t\t<td>%s</td>\n", HtmlEscape(GetAttrValue(user, name)).c_str());
    printf("\t\t\t\t\t<td>%s</td>\n", HtmlEscape(mail).c_str());
    printf("\t\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
}

void PrintButtonBar(const AliasPage& page, const char* mail, const char* alias) {
    printf("<table border=\"0\" width=\"100%%\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t\t<table border=\"0\">\n");
    printf("\t\t\t<tr valign=top>\n");
    page.printButtons(mail, alias);
    printf("\t\t\t</tr>\n");
    printf("\t\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td valign=top align=right>\n");
    if (!page.editable) printf("\t\t<form>\n");
    printf(
        "\t\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/%s.htm', 'LDAP', 400,400);\">\n",
        page.help);
    if (!page.editable) printf("\t\t</form>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
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
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
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
