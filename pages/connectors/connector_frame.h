// Pieces the connector pages share: the user row, the rows of connector
// fields, hidden fields, and the refusals of incomplete or over-long
// requests. Prints only; every value from the directory or the request is
// escaped here.
#ifndef LDAPCGI_PAGES_CONNECTORS_CONNECTOR_FRAME_H
#define LDAPCGI_PAGES_CONNECTORS_CONNECTOR_FRAME_H

#include <initializer_list>
#include <string>

#include "directory/owners.h"

// A form field a page expects: its name and the request's value (null when absent).
struct ExpectedField {
    const char* name;
    const char* value;
};

// The refusal of a request that lacks one of `fields` or whose connector
// value `otherMailbox` (when not null) is too long; "" for a sound request.
std::string RequestFault(std::initializer_list<ExpectedField> fields, const char* otherMailbox = nullptr);

// Messages of values an attribute value node cannot hold.
extern const char kConnectorTooLong[];
extern const char kPermissionTooLong[];
// True when the connector value (a whole one, or channel, "$", identifier) fits a node.
bool ConnectorFits(const char* value);
bool ConnectorFits(const std::string& channel, const char* second);

// Opening tag of a form posting to the program.
void PrintFormStart(const char* indent);
// The user's row: first name, last name and telephone number of `result`,
// then the mail address as the request gave it.
void PrintUserRow(const SearchReq* result, const char* mail);
// One row of the connector field table: the heading cell and `cell`.
void PrintFieldRow(const char* label, const std::string& cell);
// `<input readonly type="text" ...>` holding `value`.
std::string ReadOnlyField(const char* name, const char* value);
// `<input type="submit" ...>` labelled `value`.
std::string SubmitButton(const char* name, const char* value);
void PrintHiddenField(const char* indent, const char* name, const char* value);

// A whole page: header, result box with `message`, the Go back form, page end.
void PrintGoBackRefusal(const char* title, const char* message);
// A button bar cell that sends one connector (Mail, Othermailbox,
// Permission) with `command`, its submit button named after the command.
void PrintConnectorCommandCell(const char* mail, const char* otherMailbox, const char* permission,
                               const char* command, const char* label);

// Opens `client` and finds the entry whose primary address is `mail`, as the
// changing pages require: a wildcard or an alias names no entry. Empty, with
// *connected telling why, when there is none (a search that the directory
// did not answer counts as no connection).
SearchResult FindUserToChange(ldapClient& client, const char* mail, bool* connected);

// What the pages showing one connector open with: the user found by its
// address and the connector value split at its "$".
struct ShownConnector {
    SearchResult user;
    std::string channel, identifier;
};
// The refusals in which those pages differ.
struct ShownConnectorRefusals {
    const char* notConnected;
    int notConnectedStatus;  // the exit status after it
    const char* notFound;
};
// Checks the request's three fields, opens `client`, finds the user and
// splits `otherMailbox` into *shown. On a refusal prints its result page and
// the page end, sets *status and returns false.
bool OpenShownConnector(ldapClient& client, const char* mail, const char* otherMailbox,
                        const char* permission, const ShownConnectorRefusals& refusals, ShownConnector* shown,
                        int* status);

#endif
