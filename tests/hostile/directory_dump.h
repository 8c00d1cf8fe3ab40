// The whole directory as a set of (DN, attribute, value) triples, read with
// libldap over one session, for before/after comparisons of the hostile-input
// suite; and the changes that a successful changing command is expected to
// make, written on such a set. DNs are kept in one normal form (parsed and
// printed again by libldap, lower-cased), attribute names lower-cased,
// values as the server holds them.
#ifndef LDAPCGI_TESTS_HOSTILE_DIRECTORY_DUMP_H
#define LDAPCGI_TESTS_HOSTILE_DIRECTORY_DUMP_H

#include <set>
#include <string>
#include <tuple>

using Triple = std::tuple<std::string, std::string, std::string>;
using Dump = std::set<Triple>;

typedef struct ldap LDAP;

// One session with the server, as its root account.
class DirectoryConnection {
public:
    DirectoryConnection(const std::string& uri, const std::string& bindDn, const std::string& password);
    ~DirectoryConnection();
    DirectoryConnection(const DirectoryConnection&) = delete;
    DirectoryConnection& operator=(const DirectoryConnection&) = delete;

    // Every entry below the empty DN; false when the server could not be read.
    bool Read(Dump* dump);
    // Turns the directory from `now` into `target`: every entry that differs
    // is deleted (deepest first) and added again as `target` holds it.
    bool Restore(const Dump& now, const Dump& target);

private:
    LDAP* ld_ = nullptr;
};
// The normal form of a DN ("" for one libldap cannot parse: its lower-cased text).
std::string NormalDn(const std::string& dn);
// The DN the program gives a user's entry: "mail=" address under the dc= names of its domain.
std::string MailDn(const std::string& mail);
// The differences, one line per triple ("- " missing, "+ " unexpected), at most `limit` lines.
std::string Difference(const Dump& expected, const Dump& actual, std::size_t limit = 12);

// Value comparison as the directory's caseIgnoreMatch does it for ASCII:
// letter case, leading and trailing blanks and repeated blanks do not count.
bool SameValue(const std::string& a, const std::string& b);
// The first value of an attribute of an entry that begins with `prefix`
// (letter case ignored); null when none does.
const std::string* FindValue(const Dump& dump, const std::string& dn, const std::string& attr,
                             const std::string& prefix = "");
void RemoveValue(Dump* dump, const std::string& dn, const std::string& attr, const std::string& value);
void AddValue(Dump* dump, const std::string& dn, const std::string& attr, const std::string& value);
void RemoveAttribute(Dump* dump, const std::string& dn, const std::string& attr);
void RemoveEntry(Dump* dump, const std::string& dn);
// The number of values of an attribute of an entry that begin with `prefix` (letter case ignored).
int CountValues(const Dump& dump, const std::string& dn, const std::string& attr, const std::string& prefix);
// Leaves out the entries below "cn=profiles" (the directory's profile strings).
Dump WithoutProfiles(const Dump& dump);

#endif
