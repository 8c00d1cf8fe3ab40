// The pages of the user table, with [Ldap] PageSize set: the page asked for
// is read from the directory sorted and cut there (by last name, then first
// name), so that only its rows travel; a server that cannot sort gives the
// whole list, sorted and cut here; one busy with other sorts is asked again
// a few times first. Below the table, the navigation bar: its links and its
// "Go to last name" box are GET requests of the same command with the
// search's own fields.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/mail_holders.h"
#include "directory/primary_address.h"
#include "directory/sorted_window.h"
#include "html/text_helpers.h"
#include "pages/users/user_links.h"
#include "pages/users/user_table_rows.h"

namespace {

constexpr char kSortKeys[] = "sn firstname";
constexpr char kFirstSortKey[] = "sn";
const char* const kNoAttributes[] = {"1.1", nullptr};

// The Position field: a place from 1; anything else (absent, not a number,
// 0) asks for the first page, and a number too large for the directory's
// counters for the last one.
int AskedPosition(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return 1;
    char* end = nullptr;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (*end != '\0' || value < 1) return 1;
    return errno == ERANGE || value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// ForEachSortedEntry, asked again a few times while the server answers that
// other sorts take all it allows (LDAP_BUSY): they end with their requests.
int SortedSearch(ldapClient& client, const char* base, int scope, const char* filter,
                 const char* const* attributes, const char* sortKeys, const SortedWindow& window,
                 SortedWindowAnswer* answer, const EntryCallback& visit) {
    int code = ForEachSortedEntry(client, base, scope, filter, attributes, sortKeys, window, answer, visit);
    for (int tries = 1; code == LDAP_BUSY && tries < kSortBusyTries; ++tries) {
        usleep(kSortBusyWaitMs * 1000);
        code = ForEachSortedEntry(client, base, scope, filter, attributes, sortKeys, window, answer, visit);
    }
    return code;
}

bool HasGoTo(const UserTableRequest& request) { return request.goTo != nullptr && request.goTo[0] != '\0'; }

// The place of the last page's first row.
int LastPageStart(int count, int pageSize) { return count > pageSize ? count - pageSize + 1 : 1; }

// The address of the page whose first row is at `position`, HTML-escaped
// ("&amp;" between the fields).
std::string PageLink(const UserTableRequest& request, int position) {
    std::string link = std::string(SCRIPT_PATH) + "?Command=" + LinkValue(request.command);
    for (const auto& field : request.fields)
        if (field.second != nullptr) link += "&amp;" + LinkValue(field.first) + "=" + LinkValue(field.second);
    return link + "&amp;Position=" + std::to_string(position);
}

// One cell of the bar: a link, or the bare label where it would lead nowhere.
void PrintBarCell(const char* label, bool linked, const UserTableRequest& request, int position) {
    if (linked)
        printf("\t\t<td><a href=\"%s\">%s</a></td>\n", PageLink(request, position).c_str(), label);
    else
        printf("\t\t<td>%s</td>\n", label);
}

// The addresses of the rows among the first `count` of `rows` whose entry's
// last name equals `name` by the server's own matching rule (which folds
// letter case and normalises Unicode as no rule here could), in *same. The
// search's result code.
int RowsOfName(ldapClient& client, const char* filter, const char* base, int scope, const char* name,
               const UserRows& rows, std::size_t count, std::vector<std::string>* same) {
    std::string asked = std::string("(&") + filter + "(sn=" + EscapeFilterValue(name) + ")(|";
    for (std::size_t i = 0; i < count; ++i) asked += "(mail=" + EscapeFilterValue(RowMail(rows[i])) + ")";
    asked += "))";
    // Not cut by RecordLimit, as the sorted pages are not: the rows asked bound it.
    return ForEachEntryWithControls(
        client, base, scope, asked.c_str(), kNoAttributes, "The search for the users of a name", nullptr, 0,
        nullptr, [same](StreamedEntry& entry) {
            std::string primary;
            const berval& dn = entry.Dn();
            if (PrimaryAddressFromDn(std::string(dn.bv_val, dn.bv_len).c_str(), &primary))
                same->push_back(primary);
            return true;
        });
}

// Puts the page read for GoTo (the target with up to a page's worth of
// entries before it) at the first user of the last name typed: OpenLDAP
// places the target after the entries whose last name equals GoTo, and they
// lie just before it (the trailing rows of the look-back whose last name the
// server finds equal to it). When they fill the whole look-back, more of them
// may come earlier: the place is then counted by the server, as the entries
// with a last name below GoTo by its ordering rule, and the page read from
// there.
int StartAtName(ldapClient& client, const char* filter, const char* base, int scope, const char* name,
                int pageSize, const EntryCallback& collect, UserRows* rows, SortedWindowAnswer* answer) {
    const std::size_t before = std::min(
        {rows->size(), static_cast<std::size_t>(pageSize), static_cast<std::size_t>(answer->first - 1)});
    std::vector<std::string> same;
    if (before > 0) {
        const int code = RowsOfName(client, filter, base, scope, name, *rows, before, &same);
        if (code != LDAP_SUCCESS && code != LDAP_SIZELIMIT_EXCEEDED) return code;
    }
    auto ofName = [&same](const char* row) {
        return std::any_of(same.begin(), same.end(), [row](const std::string& mail) {
            return strcasecmp(mail.c_str(), RowMail(row)) == 0;
        });
    };
    std::size_t first = before;
    while (first > 0 && ofName((*rows)[first - 1])) --first;
    if (first > 0 || before < static_cast<std::size_t>(pageSize) || answer->first - 1 <= pageSize) {
        rows->erase(rows->begin(), rows->begin() + first);
        if (rows->size() > static_cast<std::size_t>(pageSize)) rows->resize(pageSize);
        answer->first -= static_cast<int>(before - first);
        return LDAP_SUCCESS;
    }
    rows->clear();
    const std::string below = std::string("(&") + filter + "(sn=*)(!(sn>=" + EscapeFilterValue(name) + ")))";
    SortedWindowAnswer counted;
    int code = SortedSearch(client, base, scope, below.c_str(), kNoAttributes, kFirstSortKey,
                            SortedWindow{1, nullptr, 1}, &counted, [](StreamedEntry&) {});
    if (code != LDAP_SUCCESS && code != LDAP_VLV_ERROR) return code;
    return SortedSearch(client, base, scope, filter, kUserRowAttributes, kSortKeys,
                        SortedWindow{counted.count + 1, nullptr, pageSize}, answer, collect);
}

}  // namespace

bool ReadSortedPage(ldapClient& client, const char* filter, const char* base, int scope,
                    const UserTableRequest& request, int pageSize, RowArena* arena, UserRows* rows,
                    TablePage* page, bool* stopped, int* wholeLimit) {
    *stopped = false;
    *wholeLimit = pageSize + 1;  // a list the server counted within one page, and one row to see it grew
    const bool goTo = HasGoTo(request);
    SortedWindow window{goTo ? 0 : AskedPosition(request.position), request.goTo, pageSize,
                        goTo ? pageSize : 0};
    SortedWindowAnswer answer;
    const EntryCallback collect = [&](StreamedEntry& entry) { rows->push_back(ReadUserRow(entry, arena)); };
    int code =
        SortedSearch(client, base, scope, filter, kUserRowAttributes, kSortKeys, window, &answer, collect);
    if (code == LDAP_SUCCESS && goTo && answer.first >= 1 && answer.first <= answer.count + 1)
        code = StartAtName(client, filter, base, scope, request.goTo, pageSize, collect, rows, &answer);
    // A place past the end, or a name after every one: the last page.
    if ((code == LDAP_VLV_ERROR && answer.count > 0) ||
        (code == LDAP_SUCCESS && answer.first > answer.count)) {
        rows->clear();
        if (answer.count <= pageSize) return false;
        window = SortedWindow{LastPageStart(answer.count, pageSize), nullptr, pageSize};
        code = SortedSearch(client, base, scope, filter, kUserRowAttributes, kSortKeys, window, &answer,
                            collect);
    }
    if (IsConnectionFailure(code)) {
        LogLdapError(client.ld, code, "The search for a page of the user table");
        rows->clear();
        *stopped = true;
        return true;
    }
    if (code != LDAP_SUCCESS) {
        LogLdapError(client.ld, code, "The sorted page of the user table (read from the whole list instead)");
        rows->clear();
        *wholeLimit = -1;
        return false;
    }
    if (answer.count <= pageSize) {  // one page: printed as without pages, in the table's own order
        rows->clear();
        return false;
    }
    *page = TablePage{answer.first, answer.first + static_cast<int>(rows->size()) - 1, answer.count};
    return true;
}

void CutToPage(const UserTableRequest& request, int pageSize, UserRows* rows, TablePage* page) {
    const int count = static_cast<int>(rows->size());
    if (count <= pageSize) return;
    int first = HasGoTo(request) ? static_cast<int>(FirstRowFrom(*rows, request.goTo)) + 1
                                 : AskedPosition(request.position);
    if (first > count) first = LastPageStart(count, pageSize);
    const int last = first - 1 < count - pageSize ? first - 1 + pageSize : count;
    rows->erase(rows->begin() + last, rows->end());
    rows->erase(rows->begin(), rows->begin() + (first - 1));
    *page = TablePage{first, last, count};
}

void PrintPageBar(const UserTableRequest& request, int pageSize, const TablePage& page) {
    const bool atFirst = page.first <= 1, atLast = page.last >= page.count;
    // The table's form ends here, so that the box below is a form of its own.
    printf("</form>\n");
    printf("<center>\n");
    printf("<table border=\"0\">\n");
    printf("\t<tr>\n");
    printf("\t\t<td>Users %d to %d of %d</td>\n", page.first, page.last, page.count);
    PrintBarCell("First", !atFirst, request, 1);
    PrintBarCell("Previous", !atFirst, request, page.first > pageSize ? page.first - pageSize : 1);
    PrintBarCell("Next", !atLast, request, page.last + 1);
    PrintBarCell("Last", !atLast, request, LastPageStart(page.count, pageSize));
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("<form METHOD=\"GET\" ACTION=\"%s\">\n", SCRIPT_PATH);
    printf("<input type=\"hidden\" name=\"Command\" value=\"%s\">\n", HtmlEscape(request.command).c_str());
    for (const auto& field : request.fields) {
        if (field.second == nullptr) continue;
        printf("<input type=\"hidden\" name=\"%s\" value=\"%s\">\n", HtmlEscape(field.first).c_str(),
               HtmlEscape(field.second).c_str());
    }
    printf("Go to last name: <input type=\"text\" name=\"GoTo\" value=\"\">\n");
    printf("<input type=\"submit\" value=\"Go\">\n");
    printf("</form>\n");
    printf("</center>\n");
}
