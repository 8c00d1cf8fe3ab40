// The attribute table and alias column of one user, as text or as form
// fields. Reads a search result; prints only. Every value is escaped here;
// a value too long for the client's node is marked, never shown cut.
#include "pages/users/user_details.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/limits.h"
#include "directory/directory_session.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_links.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

void PrintRowStart(const char* label) {
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td align=right bgcolor=2166ab style=\"color:#FFFFFF\">%s :</td>\n", label);
    printf("\t\t\t\t<td>\n");
}

void PrintRowEnd() {
    printf("\t\t\t\t</td>\n");
    printf("\t\t\t</tr>\n");
}

// A row whose value a page cannot carry: the mark in its place. A form
// sends the field empty and hidden, which UpdateUser takes for "leave the
// value as it is".
void PrintMarkedRow(bool readOnly, bool textArea, const char* label, const char* fieldName,
                    const char* mark) {
    PrintRowStart(label);
    if (readOnly && textArea) {
        printf("\t\t\t\t\t<textarea readonly name=\"%s\" rows=\"4\" >%s</textarea>\n", fieldName, mark);
    } else if (readOnly) {
        printf("%s\n", mark);
    } else {
        printf("\t\t\t\t\t%s\n", mark);
        printf("\t\t\t\t\t<input type=\"hidden\" name=\"%s\" value=\"\">\n", fieldName);
    }
    PrintRowEnd();
}

// One of the rows of the attribute table, from attribute `attribute`.
void PrintAttributeRow(SearchReq* result, bool readOnly, bool textArea, const char* label,
                       const char* fieldName, const char* attribute) {
    if (HasTooLongValue(result, attribute))
        PrintMarkedRow(readOnly, textArea, label, fieldName, kValueTooLongToShow);
    else if (!readOnly && !textArea && HasLineBreak(GetAttrValue(result, attribute)))
        PrintMarkedRow(readOnly, textArea, label, fieldName, kValueWithLineBreak);
    else if (textArea)
        PrintDetailTextArea(readOnly, label, fieldName, GetAttrValue(result, attribute));
    else
        PrintDetailRow(readOnly, label, fieldName, GetAttrValue(result, attribute));
}

}  // namespace

void PrintDetailRow(bool readOnly, const char* label, const char* fieldName, const char* value) {
    PrintRowStart(label);
    if (readOnly) {
        printf("%s\n", HtmlEscape(value).c_str());
    } else {
        printf("\t\t\t\t\t<input type=\"text\" name=\"%s\" value=\"%s\">\n", fieldName,
               HtmlEscape(value).c_str());
    }
    PrintRowEnd();
}

bool HasLineBreak(const char* value) { return value != nullptr && strpbrk(value, "\r\n") != nullptr; }

std::string OneLineBreak(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '\r' && p[1] == '\n') ++p;
        out.push_back(*p == '\r' ? '\n' : *p);
    }
    return out;
}

void PrintDetailTextArea(bool readOnly, const char* label, const char* fieldName, const char* value) {
    PrintRowStart(label);
    // A browser drops one line feed right after the start tag: a value that
    // begins with one gets a further one, so that it comes back whole.
    printf("\t\t\t\t\t<textarea %s name=\"%s\" rows=\"4\" >%s%s</textarea>\n", readOnly ? "readonly" : "",
           fieldName, value != nullptr && value[0] == '\n' ? "\n" : "", HtmlEscape(value).c_str());
    PrintRowEnd();
}

void PrintAliasRows(SearchReq* result) {
    std::string primary;
    if (result == nullptr || result->next == nullptr || !PrimaryAddressFromDn(result->dn, &primary)) return;
    std::string primaryLink = LinkValue(primary.c_str());
    for (attrval* node = result->attrs; node != nullptr && node->next != nullptr; node = node->next) {
        if (strcasecmp(node->name, "mail") != 0) continue;
        if (node->op == kAttrTooLong) {
            printf("\t\t\t<tr>\n");
            printf("<td>%s</td>\n", kValueTooLongToShow);
            printf("\t\t\t<tr>\n");
            continue;
        }
        if (strcasecmp(node->value, primary.c_str()) == 0) continue;
        printf("\t\t\t<tr>\n");
        printf("<td><a href=%s?Command=ViewAlias&Mail=%s&MailAlias=%s>%s</td>\n", SCRIPT_PATH,
               primaryLink.c_str(), LinkValue(node->value).c_str(), HtmlEscape(node->value).c_str());
        printf("\t\t\t<tr>\n");
    }
}

void PrintUserDetailTable(SearchReq* result, bool readOnly) {
    printf("\t\t<table  align=\"center\" valign=\"top\" border=\"0\">\n");
    printf("\t\t<tr>\n");
    printf("\t\t<td>\n");
    printf("\t\t\t<table  cellpadding=\"4\" valign=\"top\" border=\"1\">\n");
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Item</td>\n");
    printf("\t\t\t\t<td align=center bgcolor=2166ab style=\"color:#FFFFFF\">Value</td>\n");
    printf("\t\t\t</tr>\n");
    PrintAttributeRow(result, readOnly, false, "First Name", "FirstName", "firstname");
    PrintAttributeRow(result, readOnly, false, "Last Name", "LastName", "sn");
    PrintAttributeRow(result, readOnly, false, "Telephone Number", "TelNo", "telephonenumber");
    PrintAttributeRow(result, readOnly, true, "Address", "Address", "streetaddress");
    PrintDetailRow(readOnly, "Mail", "Mail", UserIdentity(result).c_str());
    printf("\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<td valign=\"top\">\n");
    printf("\t\t\t<table cellpadding=\"4\" valign=\"top\" border=\"1\">\n");
    printf("\t\t\t<tr>\n");
    printf("\t\t\t\t<td align=\"center\" bgcolor=2166ab style=\"color:#FFFFFF\">Email Aliases</td>\n");
    printf("\t\t\t</tr>\n");
    PrintAliasRows(result);
    printf("\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t\t<tr>\n");
    printf("\t\t</table>\n");
}

SearchReq* FindUserForForm(ldapClient& client, const char* mail, int* status) {
    *status = 0;
    if (OpenDirectory(client) == nullptr) {
        PrintResultPageAndEnd("Error connecting to LDAP port on server");
        *status = 1;
        return nullptr;
    }
    bool failed = false;
    SearchReq* result = FindUserByMail(client, mail, &failed);
    if (result == nullptr)
        PrintResultPageAndEnd(failed ? "Error connecting to LDAP port on server" : "User not found");
    if (failed) *status = 1;
    return result;
}
