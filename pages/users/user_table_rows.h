// The rows of the user table, shared by the table (user_table.cpp) and its
// pages (user_table_page.cpp): each row one packed record in a chunked arena,
// read from a streamed entry, sorted and printed here.
#ifndef LDAPCGI_PAGES_USERS_USER_TABLE_ROWS_H
#define LDAPCGI_PAGES_USERS_USER_TABLE_ROWS_H

#include <cstddef>
#include <memory>
#include <vector>

#include "directory/entry_stream.h"
#include "pages/users/user_pages.h"

// Rows are held compactly, as the table may list a million users: each
// row is one packed record in a chunked arena, its four texts back to back,
// each ending in a NUL (the sort key first): sn, firstname, telephonenumber,
// mail. An absent field is the empty text, which prints and sorts the same.
class RowArena {
public:
    // Room for `size` bytes that stay in place until the arena is gone.
    char* Allocate(std::size_t size);

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t used_ = 0;
};

using UserRows = std::vector<const char*>;

// The attributes a row is read from, null-terminated.
extern const char* const kUserRowAttributes[];

// Reads the row of one entry into the arena: the primary address from the
// DN, then the first value of each of the four attributes not yet set.
const char* ReadUserRow(StreamedEntry& entry, RowArena* arena);

// Table order: sn, then firstname, ASCII case ignored, and for equal keys
// the later arrival first.
void SortRows(UserRows* rows);

// The index of the first row of sorted `rows` whose sn is not below
// `lastName` (ASCII case ignored); rows.size() when every one is.
std::size_t FirstRowFrom(const UserRows& rows, const char* lastName);

void PrintUserRow(const char* row);
// The row's address (its entry's primary address).
const char* RowMail(const char* row);

// Where the rows shown stand in the whole sorted list: rows `first` to
// `last` of `count` (from 1). A count of 0: the whole list is shown.
struct TablePage {
    int first = 0;
    int last = 0;
    int count = 0;
};

// Reads the page that `request` asks for, sorted and cut by the directory,
// into `rows` and `page`; true then, and also when the directory stopped
// answering (*stopped set, logged; no rows). False when the whole list is
// to be read instead, with the size limit *wholeLimit (as ldap_search_ext
// takes it): it fits one page, counted by the server (then it prints as it
// would without pages, and RecordLimit does not cut it: the page size and
// one more row, to see that it has grown past the page since),
// or the server gave no sorted page (a log line says why; -1, the handle's
// RecordLimit).
bool ReadSortedPage(ldapClient& client, const char* filter, const char* base, int scope,
                    const UserTableRequest& request, int pageSize, RowArena* arena, UserRows* rows,
                    TablePage* page, bool* stopped, int* wholeLimit);

// Cuts the sorted whole list to the page that `request` asks for, when it
// is longer than one page.
void CutToPage(const UserTableRequest& request, int pageSize, UserRows* rows, TablePage* page);

// The navigation bar below a page's table: where the page stands, links to
// the first, previous, next and last page, and the "Go to last name" box.
void PrintPageBar(const UserTableRequest& request, int pageSize, const TablePage& page);

#endif
