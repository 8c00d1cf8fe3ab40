// The hostile-input suite's tables: every command of the command table with
// a working value for each field it reads, the hostile payloads, the
// requests generated from them (commands x fields x payloads, each field
// also absent and doubled), and the change each changing command is
// expected to make when it reports success.
#ifndef LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H
#define LDAPCGI_TESTS_HOSTILE_HOSTILE_CASES_H

#include <string>
#include <utility>
#include <vector>

#include "tests/hostile/directory_dump.h"

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
