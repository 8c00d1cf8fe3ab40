// Texts lower-cased letter by letter by glibc's Unicode case mapping, not
// only the ASCII letters, so that "MÜLLER@x" and "müller@x" compare equal.
// It comes close to the directory's caseIgnoreMatch but is not it (the
// directory normalises, and knows fewer case pairs: "ẞ" is no "ß" to it):
// use it only where a wrong answer costs nothing, never to decide alone
// whether the directory holds an address. Pure text work; bytes that are no
// UTF-8 stay as they are.
#ifndef LDAPCGI_DIRECTORY_FOLDED_CASE_H
#define LDAPCGI_DIRECTORY_FOLDED_CASE_H

#include <string>

std::string FoldedCase(const std::string& text);
// Whether FoldedCase makes the two texts equal (ASCII texts are compared
// without it).
bool SameFoldedCase(const std::string& a, const std::string& b);

#endif
