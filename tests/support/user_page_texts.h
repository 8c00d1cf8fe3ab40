// Expected texts of the user pages that other pages end on or embed (the
// details page, its attribute table and alias links, the user table),
// written out from their templates, and the request helpers of page tests.
#ifndef LDAPCGI_TESTS_SUPPORT_USER_PAGE_TEXTS_H
#define LDAPCGI_TESTS_SUPPORT_USER_PAGE_TEXTS_H

#include <string>
#include <utility>
#include <vector>

#include "tests/support/run_cgi.h"

namespace usertexts {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Every byte but ASCII letters, digits, "-" and "." as a numeric character
// reference (as HtmlEscape prints it), or with `form` as %XX for a request body.
std::string Encode(const std::string& text, bool form = false);
// POST of the fields, url-encoded, against the configuration in `configDir`.
ProcessResult PostFields(const Fields& fields, const std::string& configDir);

struct Person {
    std::string first, last, tel, address, mail;
};

// A Person value standing for one too long for the client: the pages show kTooLongMark.
extern const std::string kTooLong, kTooLongMark;

// The attribute table with the alias column, read-only or as form fields.
std::string DetailTable(const Person& person, bool readOnly, const std::string& aliasRows);
// One alias link; `link` is the alias as it stands in the URL (default: as is).
std::string AliasRow(const std::string& primaryLink, const std::string& alias, const std::string& link = "");
// The user details page, with the message below the buttons when given.
std::string DetailsPage(const Person& person, const std::string& aliasRows, const char* message);
// One row of the user table; `url` is the mail as it stands in the link.
std::string ListRow(const std::string& first, const std::string& last, const std::string& tel,
                    const std::string& mail, const std::string& url = "");
// The user table from the form through its help block (no page header or end).
std::string UserTable(const std::string& rows);

}  // namespace usertexts

#endif
