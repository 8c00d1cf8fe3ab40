// Command dispatch: decodes the request and calls the one page handler that
// the form field "Command" names.
#ifndef LDAPCGI_APP_DISPATCH_H
#define LDAPCGI_APP_DISPATCH_H

struct FormEntryList;

extern FormEntryList FormEntries;

// Returns the process's exit status: the handler's, 0 when none ran.
int DispatchCommand();

#endif
