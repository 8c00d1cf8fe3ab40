// The sorted user table shared by the user list, the users of a connector and
// the users of a domain. Streams one search on the client's session handle
// (ForEachEntry), keeps four attributes per user and prints the rows sorted by last name,
// then first name (ASCII case ignored, absent = empty; equal keys in the
// reverse of their arrival). Rows are collected (packed, about the size of
// their texts) and sorted once, so the cost stays O(n log n) whatever order
// the directory returns them in.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/limits.h"
#include "directory/entry_stream.h"
#include "directory/primary_address.h"
#include "html/form_buttons.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_links.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// Rows are held compactly, as the table may list a million users: each
// row is one packed record in a chunked arena, its four texts back to back,
// each ending in a NUL (the sort key first): sn, firstname, telephonenumber,
// mail. An absent field is the empty text, which prints and sorts the same.
// Values are read up to their first NUL, as a C string would be.
constexpr std::size_t kRowChunkSize = 1 << 20;
enum RowField { kSn, kFirstname, kTelephonenumber, kMail, kRowFields };

class RowArena {
public:
    // Room for `size` bytes that stay in place until the arena is gone.
    char* Allocate(std::size_t size) {
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

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t used_ = 0;
};

// The field after `field` in a packed row.
const char* NextField(const char* field) { return field + strlen(field) + 1; }

bool NameIs(const berval& name, const char* wanted, std::size_t length) {
    return name.bv_len == length && strncasecmp(name.bv_val, wanted, length) == 0;
}

// A value up to its first NUL.
std::size_t TextLength(const berval& value) {
    return value.bv_val == nullptr ? 0 : strnlen(value.bv_val, value.bv_len);
}

// Reads the row of one entry into the arena: the primary address from the
// DN, then the first value of each of the four attributes not yet set.
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
        int field = NameIs(name, "mail", 4)               ? kMail
                    : NameIs(name, "firstname", 9)        ? kFirstname
                    : NameIs(name, "sn", 2)               ? kSn
                    : NameIs(name, "telephonenumber", 15) ? kTelephonenumber
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

const char* const kAttributes[] = {"firstname", "sn", "mail", "telephonenumber", nullptr};

// Table order of the rows: key ascending, and for equal keys the later
// arrival first (as an insertion tree that sends equal keys left prints them).
void SortRows(std::vector<const char*>* rows) {
    std::reverse(rows->begin(), rows->end());
    std::stable_sort(rows->begin(), rows->end(), RowBefore);
}

void PrintUserRow(const char* row) {
    const char* sn = row;
    const char* firstname = NextField(sn);
    const char* telephonenumber = NextField(firstname);
    const char* mail = NextField(telephonenumber);
    std::string link = LinkValue(mail);
    printf("\t\t<tr>\n");
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(firstname).c_str());
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(sn).c_str());
    printf("\t\t\t<td align=left>%s</td>\n", HtmlEscape(telephonenumber).c_str());
    printf("\t\t\t<td align=left><a href=%s?Command=FindUser&Mail=%s>%s</td>\n", SCRIPT_PATH, link.c_str(),
           HtmlEscape(mail).c_str());
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
    RowArena arena;
    std::vector<const char*> rows;
    int result = ForEachEntry(client, base, scope, filter, kAttributes, "The search for the user table",
                              [&](StreamedEntry& entry) { rows.push_back(ReadUserRow(entry, &arena)); });
    SortRows(&rows);
    for (const char* row : rows) PrintUserRow(row);

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
    PrintHelpButton("\t\t", "listuser");
    printf("\t\t</td>\n");
    printf("\t</tr>\n");
    printf("</table>\n");
    printf("<center>\n");
    printf("</form>\n");
    return !IsConnectionFailure(result);
}
