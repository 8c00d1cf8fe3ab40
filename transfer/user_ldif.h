// LDIF (RFC 2849) lines of the user file: one attribute value (or a DN) as a
// line, base64 where the RFC requires it, folded at kLdifLineWidth columns.
// Pure text work.
#ifndef LDAPCGI_TRANSFER_USER_LDIF_H
#define LDAPCGI_TRANSFER_USER_LDIF_H

#include <cstddef>
#include <string>

constexpr std::size_t kLdifLineWidth = 76;

// Appends "name: value" (or "name:: base64" for a value that is not a safe
// string: NUL, line breaks, bytes above 127, a leading blank, ":" or "<",
// a trailing blank), folded, and a line feed.
void AppendLdifLine(std::string* out, const char* name, const char* value, std::size_t length);

#endif
