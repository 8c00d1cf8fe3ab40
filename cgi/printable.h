// Internal to the emitters: a null text prints as nothing rather than
// reaching printf's "%s" as a null pointer.
#ifndef LDAPCGI_CGI_PRINTABLE_H
#define LDAPCGI_CGI_PRINTABLE_H

inline const char* Printable(const char* text) { return text ? text : ""; }

#endif
