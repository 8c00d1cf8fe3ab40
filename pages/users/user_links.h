// Values for the query strings of the user pages' links, which stand in
// unquoted href attributes. Pure text work.
#ifndef LDAPCGI_PAGES_USERS_USER_LINKS_H
#define LDAPCGI_PAGES_USERS_USER_LINKS_H

#include <string>

// UrlEncode of `text` (null counts as empty), with the bytes that would end
// or break an unquoted attribute (blanks, controls, quotes, "<", ">", "`")
// percent-encoded as well. Ordinary addresses come out as UrlEncode gives them.
std::string LinkValue(const char* text);

#endif
