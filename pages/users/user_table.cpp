// The sorted user table shared by the user list, the users of a connector and
// the users of a domain. Runs one search on the client's session handle,
// keeps four attributes per user and prints the rows sorted by last name,
// then first name (ASCII case ignored, absent = empty; equal keys in the
// reverse of their arrival). Rows are collected and sorted once, so the cost
// stays O(n log n) whatever order the directory returns them in.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/limits.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_links.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient.h"

namespace {

// One user of the table; each field holds the first value seen for it.
struct UserRow {
    std::string mail, firstname, sn, telephonenumber;
    bool hasMail = false, hasFirstname = false, hasSn = false, hasTelephonenumber = false;
    std::size_t arrival = 0;
};

int CompareIgnoringCase(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Table order: key ascending; for equal keys the later arrival first.
bool RowBefore(const UserRow& a, const UserRow& b) {
    int c = CompareIgnoringCase(a.sn, b.sn);
    if (c == 0) c = CompareIgnoringCase(a.firstname, b.firstname);
    if (c != 0) return c < 0;
    return a.arrival > b.arrival;
}

void KeepFirst(std::string* field, bool* has, const berval* value) {
    if (*has) return;
    field->assign(value->bv_val, value->bv_len);
    std::size_t nul = field->find('\0');
    if (nul != std::string::npos) field->resize(nul);
    *has = true;
}

// Reads the row of a search-entry message (the last entry's, one in practice).
bool ReadUserRow(LDAP* ld, LDAPMessage* message, UserRow* row) {
    bool found = false;
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        found = true;
        *row = UserRow();
        char* dn = ldap_get_dn(ld, entry);
        if (dn != nullptr) {
            row->hasMail = PrimaryAddressFromDn(dn, &row->mail);
            ldap_memfree(dn);
        }
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld, entry, ber)) {
            berval** values = ldap_get_values_len(ld, entry, name);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i) {
                if (strcasecmp(name, "mail") == 0) KeepFirst(&row->mail, &row->hasMail, values[i]);
                else if (strcasecmp(name, "firstname") == 0) KeepFirst(&row->firstname, &row->hasFirstname, values[i]);
                else if (strcasecmp(name, "sn") == 0) KeepFirst(&row->sn, &row->hasSn, values[i]);
                else if (strcasecmp(name, "telephonenumber") == 0)
                    KeepFirst(&row->telephonenumber, &row->hasTelephonenumber, values[i]);
            }
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        if (ber != nullptr) ber_free(ber, 0);
    }
    return found;
}

// Collects the rows of one search; an entry message without an entry ends
// the search with no rows at all.
std::vector<UserRow> SearchRows(ldapClient& client, const char* filter, const char* base, int scope) {
    std::vector<UserRow> rows;
    LDAP* ld = client.ld;
    if (ld == nullptr) return rows;
    char attrFirstname[] = "firstname", attrSn[] = "sn", attrMail[] = "mail",
         attrTelephone[] = "telephonenumber";
    char* attributes[] = {attrFirstname, attrSn, attrMail, attrTelephone, nullptr};
    int messageId = -1;
    // A size limit of -1 takes the one OpenDirectory set on the handle.
    if (ldap_search_ext(ld, base, scope, filter, attributes, 0, nullptr, nullptr, nullptr, -1,
                        &messageId) != LDAP_SUCCESS) {
        return rows;
    }
    for (;;) {
        LDAPMessage* message = nullptr;
        int type = ldap_result(ld, messageId, LDAP_MSG_ONE, nullptr, &message);
        if (type != LDAP_RES_SEARCH_ENTRY) {
            if (message != nullptr) ldap_msgfree(message);
            break;
        }
        UserRow row;
        bool ok = ReadUserRow(ld, message, &row);
        ldap_msgfree(message);
        if (!ok) {
            ldap_abandon_ext(ld, messageId, nullptr, nullptr);
            rows.clear();
            break;
        }
        row.arrival = rows.size();
        rows.push_back(std::move(row));
    }
    return rows;
}

void PrintUserRow(const UserRow& row) {
    std::string link = LinkValue(row.mail.c_str());
    printf("\t\t<tr>\n");
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(row.firstname.c_str()));
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(row.sn.c_str()));
    printf("\t\t\t<td align=left>%s</td>\n", HtmlEscape(row.telephonenumber.c_str()));
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(row.mail.c_str()));
    printf("\t\t</tr>\n");
}

const char* const kHeadings[] = {"First Name", "Last Name", "Telephone Number", "Mail"};

}  // namespace

void PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope) {
    printf("<form  METHOD=\"POST\" ACTION=\"%s\">\n", SCRIPT_PATH);
    printf("<center>\n");
    printf("<table border=\"0\">\n");
    printf("\t<tr>\n");
    printf("        <td><table border=\"0\">\n");
    printf("\t\t\t<tr>\n");
    printf("\t\t\t  <td><table border=\"0\">\n");
    printf("\t\t\t\t<tr>\n");
    for (const char* heading : kHeadings) {
        printf("                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>%s</center></td>\n", heading);
    }
    printf("\t\t\t    </tr>\n");
    printf("\t\t\t    <tr>\n");

    std::vector<UserRow> rows = SearchRows(client, filter, base, scope);
    std::sort(rows.begin(), rows.end(), RowBefore);
    for (const UserRow& row : rows) PrintUserRow(row);
    rows.clear();

    printf("\t\t        </table>\n");
    printf("\t\t      </td>\n");
    printf("\t\t\t</tr>\n");
    printf("\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    PrintPageFooter();
    printf("<form>\n");
    printf("<table border=\"0\" align=\"right\">\n");
    printf("\t<tr>\n");
    printf("        <td>\n");
    printf("\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
           "onClick=\"popup('/vemo/help/ldap/sysadmin/listuser.htm', 'LDAP', 400,400);\">\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("<center>\n");
    printf("</form>\n");
}
