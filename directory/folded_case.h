// Texts compared as the directory compares mail addresses and connectors
// (caseIgnoreMatch): every character lower-cased by its Unicode case
// mapping, not only the ASCII letters, so that "MÜLLER@x" and "müller@x"
// count as one address. Pure text work; bytes that are no UTF-8 stay as
// they are.
#ifndef LDAPCGI_DIRECTORY_FOLDED_CASE_H
#define LDAPCGI_DIRECTORY_FOLDED_CASE_H

#include <string>

std::string FoldedCase(const std::string& text);

#endif
