// Pieces of request reading shared by the url-encoded and the multipart
// readers: the body's type from CONTENT_TYPE and the CONTENT_LENGTH number.
// Internal to cgi/.
#ifndef LDAPCGI_CGI_REQUEST_BODY_H
#define LDAPCGI_CGI_REQUEST_BODY_H

enum class BodyType { kNone, kUrlEncoded, kMultipart, kOther };

// The media type of CONTENT_TYPE (parameters ignored, letter case too); kNone
// for null or an empty (blank) value, which some web servers set for none.
BodyType BodyTypeOf(const char* contentType);
// CONTENT_LENGTH as a decimal number: leading blanks and a sign allowed,
// reading stops at the first non-digit, no digits counts as 0. Saturates
// instead of overflowing.
long long ParseContentLength(const char* text);

#endif
