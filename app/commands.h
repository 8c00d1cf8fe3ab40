// The command table: every value of the form field "Command" that the
// program answers, in the order of testing (the first match decides), with
// the form fields its handler reads, in the order of the handler's
// arguments, whether it changes the directory or builds the alias table,
// and whether it is for logins that manage every domain only. It is plain
// data, so that the tests walk every command from it.
#ifndef LDAPCGI_APP_COMMANDS_H
#define LDAPCGI_APP_COMMANDS_H

#include <cstddef>

constexpr std::size_t kMaxCommandFields = 6;

struct Command {
    const char* name;
    // The form fields the handler reads, in argument order; the rest null.
    const char* fields[kMaxCommandFields];
    // A changing command runs only for a request posted from our own pages.
    bool changes;
    // The handler, given the values of `fields` (null for an absent field);
    // returns the process's exit status.
    int (*handler)(const char* const values[]);
    // Only for a login that manages everything (the alias table spans
    // every domain); a login limited to some domains is refused it.
    bool everyDomainOnly = false;
    // Offered only when XOMTA.INI [Users] Transfer says so; otherwise the
    // command is answered as one the table does not hold.
    bool userTransfer = false;
};

extern const Command kCommands[];
extern const std::size_t kCommandCount;

#endif
