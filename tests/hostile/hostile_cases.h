// The hostile-input suite's tables: every command of the command table with
// a working value for each field it reads, the hostile payloads, the
// requests generated from them (commands x fields x payloads, each field
// also absent and doubled), and the change each changing command is
// expected to make when it reports success, written on the directory as a
// set of (DN, attribute, value) triples: DNs in one normal form (parsed and
// printed again by libldap, lower-cased), attribute names lower-cased.
#ifndef LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H
#define LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

using Triple = std::tuple<std::string, std::string, std::string>;
using Dump = std::set<Triple>;

std::string Lower(std::string text);  // ASCII letters
// Every entry of the directory at `uri`; false when it could not be read.
bool ReadDirectory(const std::string& uri, Dump* dump);
// The normal form of a DN ("" for one libldap cannot parse: its lower-cased text).
std::string NormalDn(const std::string& dn);
// The DN the program gives a user's entry: "mail=" address under the dc= names of its domain.
std::string MailDn(const std::string& mail);
// The differences, one line per triple ("- " missing, "+ " unexpected), at most 12 lines.
std::string Difference(const Dump& expected, const Dump& actual);
// Value comparison as the directory's caseIgnoreMatch does it for ASCII:
// letter case, leading and trailing blanks and repeated blanks do not count.
bool SameValue(const std::string& a, const std::string& b);
// The values of an attribute of an entry that begin with `prefix` (letter case ignored).
std::vector<std::string> Values(const Dump& dump, const std::string& dn, const std::string& attr,
                                const std::string& prefix = "");
// Takes out an entry, or only its attribute `attr`, or only the values of it that are the same as `value`.
void Erase(Dump* dump, const std::string& dn, const std::string& attr = "", const char* value = nullptr);

// One field of a request: the bytes sent and the value the program decodes from them.
struct SentField {
    std::string name, wire, value;
};

enum class Transport { kUrlEncoded, kMultipart };

using SentFields = std::vector<SentField>;
// The effective (first) value of a field; null when absent.
const char* Value(const SentFields& fields, const std::string& name);

struct CommandModel {
    std::string command;
    std::vector<std::pair<std::string, std::string>> fields;  // read by the handler, with working values
    bool changes;
    std::string success;  // text of the page when the change was made ("" for reading commands)
    // Turns the directory before a successful change into the directory after it.
    void (*expect)(Dump* directory, const SentFields& request);
    Dump After(const Dump& before, const SentFields& sent) const {
        Dump after = before;
        expect(&after, sent);
        return after;
    }
};

struct Case {
    const CommandModel* model;  // null: a hostile "Command" value
    std::string what;           // for failure messages
    SentFields fields;
    Transport transport;
    bool hostile;  // false for the working request itself
};

// A directory server of its own, seeded, with the program's configuration.
struct Lane {
    DirectorySandbox server;
    Dump seed;
    bool Open();
    bool Read(Dump* dump) const { return ReadDirectory(server.Uri(), dump); }
    bool Restore();  // the directory every case starts from again: tests/hostile/seed.ldif
    // XOMTA.INI: `ldap` (keys of [Ldap]), the queue folder and the channels.
    bool Configure(const std::string& ldap = "");
};

// Browser headers of a form on our own pages.
extern const Environment kOwnPage;
// The case sent with `headers` added (a GET sends the body as its query string).
ProcessResult Send(const Lane& lane, const Case& c, const Environment& headers = kOwnPage);

const std::vector<CommandModel>& Commands();
// Every request of the suite for one command, or (null) for the "Command" field itself.
std::vector<Case> CasesFor(const CommandModel* model);
// The request body and its CONTENT_TYPE.
std::pair<std::string, std::string> Body(const Case& c);
// What keeps `out` from being one whole page (its header once, "</html>" once at the end); "" when nothing.
std::string PageShapeFaults(const std::string& out);

#endif
