// The sorted user table shared by the user list, the users of a connector and
// the users of a domain. Streams one search on the client's session handle
// (ForEachEntryWithControls), keeps four attributes per user and prints the rows sorted by last name,
// then first name (ASCII case ignored, absent = empty; equal keys in the
// reverse of their arrival). Rows are collected (packed, about the size of
// their texts) and sorted once, so the cost stays O(n log n) whatever order
// the directory returns them in. With [Ldap] PageSize set, a list longer
// than a page shows one page of it (user_table_page.cpp). The search is
// narrowed to the domains of the request's login.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/admin_scope.h"
#include "directory/directory_session.h"
#include "directory/entry_stream.h"
#include "directory/primary_address.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_links.h"
#include "pages/users/user_pages.h"
#include "pages/users/user_table_rows.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr std::size_t kRowChunkSize = 1 << 20;
enum RowField { kSn, kFirstname, kTelephonenumber, kMail, kRowFields };

// The field after `field` in a packed row.
const char* NextField(const char* field) { return field + strlen(field) + 1; }

// A value up to its first NUL.
std::size_t TextLength(const berval& value) {
    return value.bv_val == nullptr ? 0 : strnlen(value.bv_val, value.bv_len);
}

}  // namespace

char* RowArena::Allocate(std::size_t size) {
    if (size > kRowChunkSize) {
        chunks_.emplace_back(new char[size]);
        return chunks_.back().get();
    }
    if (chunks_.empty() || used_ + size > kRowChunkSize) {
        chunks_.emplace_back(new char[kRowChunkSize]);
        used_ = 0;
    }
    char* room = chunks_.back().get() + used_;
    used_ += size;
    return room;
}

const char* ReadUserRow(StreamedEntry& entry, RowArena* arena) {
    const berval& dn = entry.Dn();
    std::string primary;
    bool hasMail = PrimaryAddressFromDn(std::string(dn.bv_val, dn.bv_len).c_str(), &primary);
    berval texts[kRowFields] = {};
    bool seen[kRowFields] = {false, false, false, hasMail};
    if (hasMail) texts[kMail] = berval{primary.size(), &primary[0]};
    berval name{};
    berval* values = nullptr;
    while (entry.NextAttribute(&name, &values)) {
        int field = BervalIs(name, "mail")              ? kMail
                    : BervalIs(name, "firstname")       ? kFirstname
                    : BervalIs(name, "sn")              ? kSn
                    : BervalIs(name, "telephonenumber") ? kTelephonenumber
                                                        : -1;
        if (field < 0 || seen[field] || values == nullptr || values[0].bv_val == nullptr) continue;
        texts[field] = values[0];
        seen[field] = true;
    }
    std::size_t size = 0;
    for (const berval& text : texts) size += TextLength(text) + 1;
    char* row = arena->Allocate(size);
    char* at = row;
    for (const berval& text : texts) {
        std::size_t length = TextLength(text);
        if (length > 0) memcpy(at, text.bv_val, length);
        at[length] = '\0';
        at += length + 1;
    }
    return row;
}

namespace {

unsigned char Folded(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// Sort order: sn, then firstname, ASCII case ignored, compared as the bytes
// "sn NUL firstname" (a shorter text first).
bool RowBefore(const char* a, const char* b) {
    for (int nuls = 0;; ++a, ++b) {
        unsigned char x = Folded(*a), y = Folded(*b);
        if (x != y) return x < y;
        if (x == 0 && ++nuls == 2) return false;
    }
}

// Whether the sn of `row` sorts before `name`.
bool SnBefore(const char* row, const char* name) {
    for (;; ++row, ++name) {
        unsigned char x = Folded(*row), y = Folded(*name);
        if (x != y || x == 0) return x < y;
    }
}

const char* const kHeadings[] = {"First Name", "Last Name", "Telephone Number", "Mail"};

}  // namespace

const char* const kUserRowAttributes[] = {"firstname", "sn", "mail", "telephonenumber", nullptr};

// Key ascending, and for equal keys the later arrival first (as an insertion
// tree that sends equal keys left prints them).
void SortRows(UserRows* rows) {
    std::reverse(rows->begin(), rows->end());
    std::stable_sort(rows->begin(), rows->end(), RowBefore);
}

std::size_t FirstRowFrom(const UserRows& rows, const char* lastName) {
    return static_cast<std::size_t>(
        std::partition_point(rows.begin(), rows.end(),
                             [lastName](const char* row) { return SnBefore(row, lastName); }) -
        rows.begin());
}

const char* RowMail(const char* row) { return NextField(NextField(NextField(row))); }

void PrintUserRow(const char* row) {
    const char* sn = row;
    const char* firstname = NextField(sn);
    const char* telephonenumber = NextField(firstname);
    const char* mail = NextField(telephonenumber);
    // The row in one piece, one write: a list prints a hundred thousand of them.
    const std::string link = std::string("\t\t\t<td align=left><a href=") + SCRIPT_PATH +
                             "?Command=FindUser&Mail=" + LinkValue(mail) + ">";
    std::string out = "\t\t<tr>\n";
    out += link + HtmlEscape(firstname) + "</td>\n";
    out += link + HtmlEscape(sn) + "</td>\n";
    out += "\t\t\t<td align=left>" + HtmlEscape(telephonenumber) + "</td>\n";
    out += link + HtmlEscape(mail) + "</td>\n";
    out += "\t\t</tr>\n";
    fwrite(out.data(), 1, out.size(), stdout);
}

bool PrintUserTable(ldapClient& client, const char* filter, const char* base, int scope,
                    const UserTableRequest& request) {
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

    // Only the users of the login's domains: the search itself is narrowed.
    const std::string scoped = ScopedFilter(RequestScope(), filter);
    filter = scoped.c_str();
    RowArena arena;
    UserRows rows;
    TablePage page;
    const int pageSize = ListPageSize();
    bool stopped = false;
    int limit = -1;  // the handle's: RecordLimit
    if (pageSize == 0 || !ReadSortedPage(client, filter, base, scope, request, pageSize, &arena, &rows, &page,
                                         &stopped, &limit)) {
        // Rows arrive until the search ends; whatever ended it, those received
        // are printed.
        auto readWhole = [&](int sizeLimit) {
            rows.clear();
            return ForEachEntryWithControls(client, base, scope, filter, kUserRowAttributes,
                                            "The search for the user table", nullptr, sizeLimit, nullptr,
                                            [&](StreamedEntry& entry) {
                                                rows.push_back(ReadUserRow(entry, &arena));
                                                return true;
                                            });
        };
        int result = readWhole(limit);
        // A list counted within one page that has grown past it since: read
        // again whole (it was one page a moment ago; RecordLimit would cut it
        // where the count did not) and cut to its page, with its page bar.
        if (limit > 0 &&
            (result == LDAP_SIZELIMIT_EXCEEDED || rows.size() > static_cast<std::size_t>(pageSize)))
            result = readWhole(0);
        stopped = IsConnectionFailure(result);
        SortRows(&rows);
        if (pageSize > 0) CutToPage(request, pageSize, &rows, &page);
    }
    // An entry placed below the login's domains under an address outside
    // them (made elsewhere than on these pages) is left out as well.
    for (const char* row : rows)
        if (AddressInScope(RequestScope(), RowMail(row))) PrintUserRow(row);

    printf("\t\t        </table>\n");
    printf("\t\t      </td>\n");
    printf("\t\t\t</tr>\n");
    printf("\t\t</table>\n");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    if (page.count > 0) PrintPageBar(request, pageSize, page);
    PrintPageFooter();
    printf("<form>\n");
    printf("<table border=\"0\" align=\"right\">\n");
    printf("\t<tr>\n");
    printf("        <td>\n");
    PrintHelpButton("\t\t", "listuser");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("<center>\n");
    printf("</form>\n");
    return !stopped;
}
