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

#include "base/limits.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_links.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// One user of the table; each field holds the first value seen for it.
struct UserRow {
    std::string mail, firstname, sn, telephonenumber;
    bool hasMail = false, hasFirstname = false, hasSn = false, hasTelephonenumber = false;
    std::string key;  // sn, NUL, firstname, folded to lower case
};

void AppendFolded(std::string* key, const std::string& text) {
    for (char c : text) key->push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
}

void KeepFirst(std::string* field, bool* has, const berval* value) {
    if (*has) return;
    field->assign(value->bv_val, value->bv_len);
    std::size_t nul = field->find('\0');
    if (nul != std::string::npos) field->resize(nul);
    *has = true;
}

bool NameIs(const berval& name, const char* wanted, std::size_t length) {
    return name.bv_len == length && strncasecmp(name.bv_val, wanted, length) == 0;
}

// Reads the row of a search-entry message (the last entry's, one in practice).
bool ReadUserRow(LDAP* ld, LDAPMessage* message, UserRow* row) {
    bool found = false;
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        found = true;
        *row = UserRow();
        BerElement* ber = nullptr;
        berval dn{};
        if (ldap_get_dn_ber(ld, entry, &ber, &dn) != LDAP_SUCCESS) {
            if (ber != nullptr) ber_free(ber, 0);
            continue;
        }
        row->hasMail = PrimaryAddressFromDn(std::string(dn.bv_val, dn.bv_len).c_str(), &row->mail);
        berval name{};
        berval* values = nullptr;
        while (ldap_get_attribute_ber(ld, entry, ber, &name, &values) == LDAP_SUCCESS &&
               name.bv_val != nullptr) {
            std::string* field = nullptr;
            bool* has = nullptr;
            if (NameIs(name, "mail", 4))
                field = &row->mail, has = &row->hasMail;
            else if (NameIs(name, "firstname", 9))
                field = &row->firstname, has = &row->hasFirstname;
            else if (NameIs(name, "sn", 2))
                field = &row->sn, has = &row->hasSn;
            else if (NameIs(name, "telephonenumber", 15))
                field = &row->telephonenumber, has = &row->hasTelephonenumber;
            if (field != nullptr && values != nullptr && values[0].bv_val != nullptr)
                KeepFirst(field, has, &values[0]);
            if (values != nullptr) ber_memfree(values);
            values = nullptr;
        }
        ber_free(ber, 0);
    }
    if (found) {
        AppendFolded(&row->key, row->sn);
        row->key.push_back('\0');
        AppendFolded(&row->key, row->firstname);
    }
    return found;
}

// Collects the rows of one search in arrival order; an entry message
// without an entry ends the search with no rows at all.
std::vector<UserRow> SearchRows(ldapClient& client, const char* filter, const char* base, int scope) {
    std::vector<UserRow> rows;
    LDAP* ld = client.ld;
    if (ld == nullptr) return rows;
    char attrFirstname[] = "firstname", attrSn[] = "sn", attrMail[] = "mail",
         attrTelephone[] = "telephonenumber";
    char* attributes[] = {attrFirstname, attrSn, attrMail, attrTelephone, nullptr};
    int messageId = -1;
    // A size limit of -1 takes the one OpenDirectory set on the handle.
    if (ldap_search_ext(ld, base, scope, filter, attributes, 0, nullptr, nullptr, nullptr, -1, &messageId) !=
        LDAP_SUCCESS) {
        return rows;
    }
    for (;;) {
        LDAPMessage* message = nullptr;
        int type = ldap_result(ld, messageId, LDAP_MSG_ONE, nullptr, &message);
        if (type != LDAP_RES_SEARCH_ENTRY) {
            if (message != nullptr) ldap_msgfree(message);
            break;
        }
        rows.emplace_back();
        bool ok = ReadUserRow(ld, message, &rows.back());
        ldap_msgfree(message);
        if (!ok) {
            ldap_abandon_ext(ld, messageId, nullptr, nullptr);
            rows.clear();
            break;
        }
    }
    return rows;
}

// Table order of the rows: key ascending, and for equal keys the later
// arrival first (as an insertion tree that sends equal keys left prints them).
std::vector<const UserRow*> SortedRows(const std::vector<UserRow>& rows) {
    std::vector<const UserRow*> order;
    order.reserve(rows.size());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) order.push_back(&*it);
    std::stable_sort(order.begin(), order.end(),
                     [](const UserRow* a, const UserRow* b) { return a->key < b->key; });
    return order;
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
        printf("                  <td bgcolor=2166ab style=\"color:#FFFFFF\"><center>%s</center></td>\n",
               heading);
    }
    printf("\t\t\t    </tr>\n");
    printf("\t\t\t    <tr>\n");

    std::vector<UserRow> rows = SearchRows(client, filter, base, scope);
    for (const UserRow* row : SortedRows(rows)) PrintUserRow(*row);

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
    printf(
        "\t\t<input type=\"button\" name=\"Help\" value=\"Help\" "
        "onClick=\"popup('/vemo/help/ldap/sysadmin/listuser.htm', 'LDAP', 400,400);\">\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("<center>\n");
    printf("</form>\n");
}
