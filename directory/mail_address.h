// Screening of a typed mail address before it names a user or an alias.
#ifndef LDAPCGI_DIRECTORY_MAIL_ADDRESS_H
#define LDAPCGI_DIRECTORY_MAIL_ADDRESS_H

// The address in canonical form, in one process-wide buffer that the next
// call overwrites; null when refused: null, longer than 255 characters,
// holding one of the characters " \/:*?<>|"" (logged), or not exactly one
// recipient to the recipient parser.
char* ValidateMailAddress(const char* address);

#endif
