// What the connector page tests share: requests to the real executable, the
// seeded sandbox directory and its channel configuration, and the expected
// pages written out from their templates.
#ifndef LDAPCGI_TESTS_PAGES_CONNECTORS_CONNECTOR_TEST_SUPPORT_H
#define LDAPCGI_TESTS_PAGES_CONNECTORS_CONNECTOR_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

namespace conntest {

using std::string;
using Fields = std::vector<std::pair<string, string>>;

DirectorySandbox& Dir();

// All but letters, digits, "-" and ".": as character references.
string Esc(const string& text);
// The text of the first `name="..." value="..."` field of `page` from `from` on, references decoded.
string FieldValue(const string& page, const string& name, std::size_t from = 0);

// A POST of the fields (in this order) to the executable.
ProcessResult Post(const Fields& fields);
// Command with Mail, Othermailbox and Permission.
ProcessResult Conn(const string& command, const string& mail, const string& value, const string& permission);
void ExpectPage(const ProcessResult& r, const string& page, const string& trace = "", int status = 0);

// The channels the tests configure: SMTPC, local (lower case), DL, BSMTPOUT,
// FAX and X400 offered; PAGER (not enabled) and SMS (no connectors) not.
extern const char kChannels[];
// Ann (alias ann.alias@example.com) with SMTPC$john, a value without "$",
// SMTPC$a$b, FAX$12 & 34% x (no permission), LOCAL$ann and LOCAL$ann2
// (stored as local$Send), X400$ann (X400$Receive); Bob without connectors;
// Cy with SMTPC$joanna, DL$cy and X400$x(y)\z. The configuration as kChannels.
bool Seed();
// The othermailbox and x-permission values of a user, as ldapsearch prints them.
string Values(const string& mail);
string State();  // every entry and value

// Pieces of the pages.
string UserRow(const string& first, const string& last, const string& tel, const string& mail);
extern const string kAnnRow;  // Ann's user row for "ann@example.com"
// One row of the connector list.
string ListRow(const string& mail, const string& channel, const string& identifier, const string& permission);
string ViewPage(const string& userRow, const string& mail, const string& rows);
string ClickPage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                 const string& permission);
// The permission select: the options in order, `selected` (or none) selected.
string Select(const std::vector<string>& options, const string& selected);
string EditPage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                const string& select);
string DeletePage(const string& userRow, const string& mail, const string& channel, const string& identifier,
                  const string& permission);
// "<option>" lines of the channel select.
string Options(const std::vector<string>& channels);
string NewConnPage(const string& mail, const string& options);
string MenuPage(const string& options);
// The user table of "List Users" with rows of (first name, last name, telephone, mail).
string UsersPage(const std::vector<std::vector<string>>& users);
// A result page followed by the Go back form.
string GoBackPage(const string& title, const string& message);
string Missing(const string& field);  // message of a request that lacks the field
extern const char kTooLong[];
extern const char kPermissionTooLong[];

}  // namespace conntest

#endif
