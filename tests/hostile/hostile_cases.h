// The hostile-input suite's tables: every command of the command table with
// a working value for each field it reads, the hostile payloads, the
// requests generated from them (commands x fields x payloads, each field
// also absent and doubled), and the change each changing command is
// expected to make when it reports success.
#ifndef LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H
#define LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/hostile/directory_dump.h"
#include "tests/support/directory_sandbox.h"
#include "tests/support/run_cgi.h"

// One field of a request: the bytes sent and the value the program decodes from them.
struct SentField {
    std::string name, wire, value;
};

enum class Transport { kUrlEncoded, kMultipart };

struct CommandModel;

// The effective (first) value of each field the model reads; null when absent.
struct Request {
    const std::vector<SentField>* fields;
    const char* Value(const std::string& name) const;
};

struct CommandModel {
    std::string command;
    std::vector<std::pair<std::string, std::string>> fields;  // read by the handler, with working values
    bool changes;
    std::string success;  // text of the page when the change was made ("" for reading commands)
    // The directory after a successful change, from the directory before.
    Dump (*expect)(const Dump& before, const Request& request);
};

struct Case {
    const CommandModel* model;  // null: a hostile "Command" value
    std::string what;           // for failure messages
    std::vector<SentField> fields;
    Transport transport;
    bool hostile;  // false for the working request itself
};

// A directory server of its own, seeded, with the program's configuration
// and a session for dumps.
struct Lane {
    DirectorySandbox server;
    std::unique_ptr<DirectoryConnection> connection;
    Dump seed;
    bool Open();
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
// The directory every case starts from, as LDIF.
std::string SeedLdif();
bool Contains(const std::vector<SentField>& fields, char byte);
// What keeps `out` from being one whole page (its header once, "</html>" once at the end); "" when nothing.
std::string PageShapeFaults(const std::string& out);

#endif
