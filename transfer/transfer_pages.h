// Page handlers of the user file: the export as a download (CSV or LDIF),
// the import form, and the import's check and write.
#ifndef LDAPCGI_TRANSFER_TRANSFER_PAGES_H
#define LDAPCGI_TRANSFER_TRANSFER_PAGES_H

// The users that ListUsers would list for the same fields (or, with a
// domain, the users directly below its entry), as a download in `format`
// "csv" or "ldif", written as the directory sends them.
int ExportUsers(const char* firstName, const char* lastName, const char* mail, const char* special,
                const char* format, const char* domain);
int ImportUsersMenu();
// Checks the uploaded file `file` (the upload field's value) whole; with
// `apply` "yes" and no row refused, writes it.
int ImportUsers(const char* file, const char* apply);

#endif
