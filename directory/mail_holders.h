// Who holds an address as a mail value (as primary address or as alias), or
// a connector, anywhere in the directory: the search behind the rule that a
// user's address belongs to one entry only, run before a change and again
// after it. Reads the directory through the page's client; changes nothing.
#ifndef LDAPCGI_DIRECTORY_MAIL_HOLDERS_H
#define LDAPCGI_DIRECTORY_MAIL_HOLDERS_H

#include <initializer_list>
#include <string>
#include <vector>

class ldapClient;

// Outcome of one search over the whole tree for (mail=address).
struct MailHolders {
    bool answered = false;         // false: the search failed, nothing is known
    std::vector<std::string> dns;  // the entries found, in the server's order
};

// Searches the whole tree for entries with `address` among their values of
// `attribute` (the value escaped for the filter; compared as the schema does).
MailHolders FindMailHolders(ldapClient& client, const char* address, const char* attribute = "mail");

// The first holder that is none of the entries `own` names; empty when there
// is none. DNs equal as text (SameDnText) are one entry; otherwise the
// server is asked how it spells each own DN (StoredDn), since it compares
// DN values by its own rules and spells a new entry's parent as stored
// (dc=müller for a typed dc=MÜLLER). When that search fails, nothing is
// known: holders->answered turns false and "" is returned.
std::string OtherHolder(ldapClient& client, MailHolders* holders, std::initializer_list<const char*> own);

// Whether a value is printable ASCII without leading, trailing or doubled
// blanks: one the directory compares as we do, letter case of ASCII only.
bool IsPlain(const std::string& value);

// The aliases among the mail `values` of the entry `dn` whose naming value
// is `primary`: the values that are not `primary` to the directory (another
// tool may store "ws@x " or "MÜLLER@x" for the naming value, which is no
// alias). When all are plain, ASCII letter case is ignored; otherwise the
// directory decides, by one base search whose values return filter (RFC
// 3876) hands back the values equal to `primary` by its own rules (the
// ligature in "ﬁ@x" is "fi@x" to it, "ẞ@x" is not "ß@x"). False when that
// search failed: nothing is known.
bool AliasValues(ldapClient& client, const std::string& dn, const std::string& primary,
                 const std::vector<std::string>& values, std::vector<std::string>* aliases);

// Whether two DNs are equal as text: in their normal form, ASCII letter case ignored.
bool SameDnText(const std::string& a, const std::string& b);

// The DN of the entry that `dn` names, spelled as the server stores it, by
// one base search; "" when there is none or the search failed (*failed,
// when given, tells which).
std::string StoredDn(ldapClient& client, const char* dn, bool* failed = nullptr);

// The DN in libldap's normal string form; the text itself when it does not parse.
std::string NormalDn(const char* dn);

// `value` for an LDAP filter (RFC 4515): "*", "(", ")" and "\" as \2a, \28,
// \29, \5c, so that it can only ever be compared, never widen the filter.
std::string EscapeFilterValue(const char* value);

#endif
