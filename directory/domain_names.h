// dc= domain names: converting between a dotted domain name and its dc= DN,
// creating the missing domain entries above a new user, the labels of a dc=
// DN, and ASCII case changes in place.
#ifndef LDAPCGI_DIRECTORY_DOMAIN_NAMES_H
#define LDAPCGI_DIRECTORY_DOMAIN_NAMES_H

#include <string>
#include <vector>

#include "platform/ldapclient/ldapclient.h"

// True when the domain entry `dn` (a dc= DN as GetSuffix makes it) and every
// entry above it exist afterwards; missing ones are created top-down.
bool CreateDomainTree(ldapClient& client, const char* dn);
// CreateDomainTree for the domain of a mail address: the entries above the
// address's user DN. False for an address without a domain.
bool CreateMailDomainTree(ldapClient& client, const char* mail);

// "a.b.c" -> "dc=a,dc=b,dc=c" (labels DN-escaped, empty labels skipped). The
// caller's text is split in place. Null for null or more than 255
// characters; "" for a name without labels. Hold it in an OwnedText.
char* DomainToDn(char* domain);

// The dc= components of a DN as a dotted, lower-case name: "mail=a,DC=Ex,dc=com"
// -> "ex.com". The caller's DN is lower-cased and cut at the first comma in
// place. Null for null or a DN without dc= components. Hold it in an OwnedText.
char* DnToDomain(char* dn);

// The labels of `dn` when it is made of dc= components only, each of one
// value, unescaped, in order; false for any other text.
bool DcLabels(const char* dn, std::vector<std::string>* labels);
// Whether `dn` has dc= values and also components that are not one dc=
// value each (cn=n+dc=m,dc=org; cn=x,dc=org): a domain entry that no dotted
// name leads to.
bool IsMixedDomainDn(const char* dn);
// Whether a dotted name gives `labels` back as they are: none is empty or
// holds "." (which would split it) or "=" (which marks a DN).
bool LabelsSurviveDots(const std::vector<std::string>& labels);
// "dc=" and each label, DN-escaped, joined by ",".
std::string LabelsToDn(const std::vector<std::string>& labels);

char* StrToUpper(char* text);
char* StrToLower(char* text);
// A copy with the ASCII letters lower-cased, every byte looked at (NULs too).
std::string Lowered(std::string text);

#endif
