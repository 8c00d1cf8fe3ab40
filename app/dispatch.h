// Command dispatch: decodes the request and calls the one page handler that
// the form field "Command" names.
#ifndef LDAPCGI_APP_DISPATCH_H
#define LDAPCGI_APP_DISPATCH_H

struct FormEntryList;

extern FormEntryList FormEntries;

void DispatchCommand();
// The complete "Internal error" page answering a request the table does not know.
void PrintInvalidRequestPage();

#endif
