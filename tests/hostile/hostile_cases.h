// What the hostile-input suite and the fault suite share: every command of
// the command table with a working value for each field it reads and, for a
// changing one, the text of the page that reports its change; the requests
// built from them; a directory server per lane; the directory read as
// (DN, attribute, value) triples, DNs in libldap's normal form and names in
// lower case, and the change a command is expected to make on it.
#ifndef LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H
#define LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H

#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

using Triple = std::tuple<std::string, std::string, std::string>;
using Dump = std::set<Triple>;

// A field as the program decodes it; `wire`, when set, is sent in a
// url-encoded body in place of the value's own encoding.
struct SentField {
    std::string name, value, wire = "";
};
using SentFields = std::vector<SentField>;

struct CommandModel {
    std::string command;
    bool changes;
    std::string success;  // a text of the page that reports the change
    SentFields fields;    // the fields read by the handler, with working values
};

struct Case {
    const CommandModel* model;  // null: a hostile "Command" value
    std::string what;           // for failure messages
    SentFields fields;
    bool multipart = false;
    bool mustChange = false;  // a changing command's request that must be carried out
};

const std::vector<CommandModel>& Commands();
// Every request for one command, its working request first; for null, those
// for the "Command" field itself.
std::vector<Case> CasesFor(const CommandModel* model);
// The directory after a successful change of the case's command.
Dump Expected(const Dump& before, const Case& c);
// The effective (first) value of a field; null when absent.
const char* Value(const SentFields& fields, const std::string& name);
// The differences, one line per triple ("- " missing, "+ " unexpected), at most 12 lines.
std::string Difference(const Dump& expected, const Dump& actual);
// What keeps `out` from being one whole page (its header once, "</html>" once at the end); "" when nothing.
std::string PageShapeFaults(const std::string& out);
// Runs job 0, 1, ... count-1 on `workers` threads, each job given to the next free worker.
void Share(int workers, std::size_t count, const std::function<void(int worker, std::size_t job)>& run);

// A directory server of its own, seeded from tests/hostile/seed.ldif, with the
// program's configuration.
struct Lane {
    DirectorySandbox server;
    Dump seed;
    bool Open();
    bool Read(Dump* dump) const;  // false when the directory could not be read
    bool Restore();
    // XOMTA.INI: `ldap` (keys of [Ldap]), the queue folder and the channels.
    bool Configure(const std::string& ldap = "");
};

// Browser headers of a form on our own pages.
extern const Environment kOwnPage;
// The case's request (POST) with `headers` added: a GET sends the body as its
// query string, an empty CONTENT_TYPE is none.
ProcessResult Send(const Lane& lane, const Case& c, const Environment& headers = kOwnPage);
// The request body, url-encoded or multipart.
std::string Body(const Case& c);

#endif
