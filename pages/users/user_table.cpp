// The sorted user table shared by the user list, the users of a connector and
// the users of a domain. Streams one search on the client's session handle
// (ForEachEntry), keeps four attributes per user and prints the rows sorted by last name,
// then first name (ASCII case ignored, absent = empty; equal keys in the
// reverse of their arrival). Rows are collected and sorted once, so the cost
// stays O(n log n) whatever order the directory returns them in.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/entry_stream.h"
#include "directory/primary_address.h"
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

// Reads the row of one entry: the primary address from the DN, then the
// first value of each of the four attributes not yet set.
void ReadUserRow(StreamedEntry& entry, UserRow* row) {
    const berval& dn = entry.Dn();
    row->hasMail = PrimaryAddressFromDn(std::string(dn.bv_val, dn.bv_len).c_str(), &row->mail);
    berval name{};
    berval* values = nullptr;
    while (entry.NextAttribute(&name, &values)) {
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
    }
    AppendFolded(&row->key, row->sn);
    row->key.push_back('\0');
    AppendFolded(&row->key, row->firstname);
}

const char* const kAttributes[] = {"firstname", "sn", "mail", "telephonenumber", nullptr};

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

bool PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope) {
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

    // Rows arrive until the search ends; whatever ended it, those received
    // are printed.
    std::vector<UserRow> rows;
    int result = ForEachEntry(client, base, scope, filter, kAttributes, "The search for the user table",
                              [&rows](StreamedEntry& entry) { ReadUserRow(entry, &rows.emplace_back()); });
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
    return !IsConnectionFailure(result);
}
