// The user attribute table shared by the details page, the edit form, the
// delete confirmation and the alias pages: rows of attributes (as text or as
// form fields) beside a column of the user's alias links. Prints only.
#ifndef LDAPCGI_PAGES_USERS_USER_DETAILS_H
#define LDAPCGI_PAGES_USERS_USER_DETAILS_H

#include <string>

class ldapClient;
struct SearchReq;

// Stands in the attribute table for a value too long for the client's node.
constexpr char kValueTooLongToShow[] = "(value too long to show)";
// Stands in a one-line form field for a value holding a line break, which a
// browser would strip from the field before sending it back.
constexpr char kValueWithLineBreak[] = "(value holds a line break)";

// Whether `value` holds a CR or LF.
bool HasLineBreak(const char* value);
// `text` with each line break (CRLF, CR or LF) as one LF: a form's value
// compared with the stored one, as a browser sends every line break as CRLF.
std::string OneLineBreak(const char* text);

// Attribute table and alias column of the first entry of `result`. The Mail
// row holds the user's primary address. A row or alias whose value was too
// long for the client shows kValueTooLongToShow, and a one-line form field
// whose value holds a line break kValueWithLineBreak; in a form such a field
// is sent empty and hidden, which UpdateUser takes for "leave it as it is".
void PrintUserDetailTable(SearchReq* result, bool readOnly);
// One row: the label, then the escaped value as text or as a text field.
void PrintDetailRow(bool readOnly, const char* label, const char* fieldName, const char* value);
// One row whose value is a four-line text area (read-only or editable).
void PrintDetailTextArea(bool readOnly, const char* label, const char* fieldName, const char* value);
// Links to the aliases of the first entry: its mail values other than the
// primary address (letter case ignored).
void PrintAliasRows(SearchReq* result);
// Opens the directory and finds the user that the edit form or the delete
// confirmation shows. Without a connection or an answer it ends the page and
// sets *status to 1, the page's exit status; without the user it ends the
// page (status 0); both yield null.
SearchReq* FindUserForForm(ldapClient& client, const char* mail, int* status);

#endif
