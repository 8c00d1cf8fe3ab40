// The pages of the user table, with [Ldap] PageSize set: the page asked for
// is read from the directory sorted and cut there (by last name, then first
// name), so that only its rows travel; a server that cannot sort gives the
// whole list, sorted and cut here. Below the table, the navigation bar: its
// links and its "Go to last name" box are GET requests of the same command
// with the search's own fields.
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

#include "base/limits.h"
#include "directory/mail_holders.h"
#include "directory/sorted_window.h"
#include "html/text_helpers.h"
#include "pages/users/user_links.h"
#include "pages/users/user_table_rows.h"

namespace {

constexpr char kSortKeys[] = "sn firstname";
constexpr char kFirstSortKey[] = "sn";

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

// A last name as the server's matching rule compares it, near enough: letter
// case folded beyond ASCII (UTF-8 read as such; a byte that is no character
// stands for itself), blanks around and repeated left out.
std::wstring FoldedName(const char* text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    const locale_t previous = utf8 != static_cast<locale_t>(0) ? uselocale(utf8) : static_cast<locale_t>(0);
    std::wstring folded;
    std::mbstate_t state{};
    bool blank = false;
    const char* const end = text + strlen(text);
    for (const char* p = text; p < end;) {
        wchar_t c = 0;
        std::size_t n = std::mbrtowc(&c, p, static_cast<std::size_t>(end - p), &state);
        if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            c = static_cast<wchar_t>(static_cast<unsigned char>(*p));
            n = 1;
            state = std::mbstate_t{};
        }
        p += n;
        if (std::iswspace(static_cast<wint_t>(c))) {
            blank = !folded.empty();
            continue;
        }
        if (blank) folded += L' ';
        blank = false;
        folded += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    if (previous != static_cast<locale_t>(0)) uselocale(previous);
    return folded;
}

// Puts the page read for GoTo (the target with up to a page's worth of
// entries before it) at the first user of the last name typed: OpenLDAP
// places the target after the entries whose last name equals GoTo, and they
// lie just before it (the trailing rows of the look-back whose last name
// equals it). When they fill the whole look-back, more of them may come
// earlier: the place is then counted by the server, as the entries with a
// last name below GoTo by its ordering rule, and the page read from there.
int StartAtName(ldapClient& client, const char* filter, const char* base, int scope, const char* name,
                int pageSize, const EntryCallback& collect, UserRows* rows, SortedWindowAnswer* answer) {
    const std::size_t before = std::min(
        {rows->size(), static_cast<std::size_t>(pageSize), static_cast<std::size_t>(answer->first - 1)});
    const std::wstring typed = FoldedName(name);
    std::size_t first = before;
    while (first > 0 && FoldedName((*rows)[first - 1]) == typed) --first;  // a row begins with its sn
    if (first > 0 || before < static_cast<std::size_t>(pageSize) || answer->first - 1 <= pageSize) {
        rows->erase(rows->begin(), rows->begin() + first);
        if (rows->size() > static_cast<std::size_t>(pageSize)) rows->resize(pageSize);
        answer->first -= static_cast<int>(before - first);
        return LDAP_SUCCESS;
    }
    rows->clear();
    static const char* const kNoAttributes[] = {"1.1", nullptr};
    const std::string below = std::string("(&") + filter + "(sn=*)(!(sn>=" + EscapeFilterValue(name) + ")))";
    SortedWindowAnswer counted;
    int code = ForEachSortedEntry(client, base, scope, below.c_str(), kNoAttributes, kFirstSortKey,
                                  SortedWindow{1, nullptr, 1}, &counted, [](StreamedEntry&) {});
    if (code != LDAP_SUCCESS && code != LDAP_VLV_ERROR) return code;
    return ForEachSortedEntry(client, base, scope, filter, kUserRowAttributes, kSortKeys,
                              SortedWindow{counted.count + 1, nullptr, pageSize}, answer, collect);
}

}  // namespace

bool ReadSortedPage(ldapClient& client, const char* filter, const char* base, int scope,
                    const UserTableRequest& request, int pageSize, RowArena* arena, UserRows* rows,
                    TablePage* page, bool* stopped) {
    *stopped = false;
    const bool goTo = HasGoTo(request);
    SortedWindow window{goTo ? 0 : AskedPosition(request.position), request.goTo, pageSize,
                        goTo ? pageSize : 0};
    SortedWindowAnswer answer;
    const EntryCallback collect = [&](StreamedEntry& entry) { rows->push_back(ReadUserRow(entry, arena)); };
    int code = ForEachSortedEntry(client, base, scope, filter, kUserRowAttributes, kSortKeys, window, &answer,
                                  collect);
    if (code == LDAP_SUCCESS && goTo && answer.first >= 1 && answer.first <= answer.count + 1)
        code = StartAtName(client, filter, base, scope, request.goTo, pageSize, collect, rows, &answer);
    // A place past the end, or a name after every one: the last page.
    if ((code == LDAP_VLV_ERROR && answer.count > 0) ||
        (code == LDAP_SUCCESS && answer.first > answer.count)) {
        rows->clear();
        if (answer.count <= pageSize) return false;
        window = SortedWindow{LastPageStart(answer.count, pageSize), nullptr, pageSize};
        code = ForEachSortedEntry(client, base, scope, filter, kUserRowAttributes, kSortKeys, window, &answer,
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
