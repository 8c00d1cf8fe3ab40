// Command dispatch: fills the process-wide form entry list once, looks up
// "Command" (value compared without regard to case) in the command table and
// calls that row's handler with the form fields it reads, as text (null for
// an absent field). Unknown commands get the "Internal error" page, and so do
// commands that change the directory or build the alias table when the
// request was not posted from our own pages (an audit line says so).
#include "app/dispatch.h"

#include <strings.h>

#include <string>

#include "base/audit.h"
#include "cgi/form_entries.h"
#include "cgi/request_origin.h"
#include "html/page_frame.h"
#include "pages/aliases/alias_pages.h"
#include "pages/aliastable/alias_table_pages.h"
#include "pages/connectors/connector_pages.h"
#include "pages/domains/domain_pages.h"
#include "pages/users/user_pages.h"

FormEntryList FormEntries = {nullptr};

namespace {

const char* Field(const char* name) { return FormValue(FormEntries.head, name); }

// Whether a command changes the directory or builds the alias table: such a
// command runs only for a request posted from our own pages.
constexpr bool kChanges = true;
constexpr bool kReads = false;

struct CommandRow {
    const char* command;
    bool changes;   // kChanges or kReads
    int (*call)();  // the handler, returning the exit status
};

// In the order of testing; the first match decides.
const CommandRow kCommandTable[] = {
    {"FindUserMenu", kReads, [] { return FindUserMenu(); }},
    // Row 2 creates a user when Submit is "Create User"; any other Submit
    // stands for a later row (see DispatchCommand).
    {"NewUser", kChanges,
     [] {
         return NewUser(Field("FirstName"), Field("LastName"), Field("TelNo"), Field("Address"),
                        Field("Mail"));
     }},
    {"ListUsers", kReads,
     [] { return ListUsers(Field("FirstName"), Field("LastName"), Field("Mail"), Field("Special")); }},
    {"FindUser", kReads, [] { return FindUser(Field("Mail"), nullptr); }},
    {"EditUser", kReads, [] { return EditUser(Field("Mail")); }},
    {"DeleteUser", kReads, [] { return DeleteUser(Field("Mail")); }},
    {"UpdateUser", kChanges,
     [] {
         return UpdateUser(Field("MailNdx"), Field("FirstName"), Field("LastName"), Field("TelNo"),
                           Field("Address"), Field("Mail"));
     }},
    {"VerifyDeleteUser", kChanges, [] { return VerifyDeleteUser(Field("Mail")); }},
    {"NewUserMenu", kReads, [] { return NewUserMenu(); }},
    {"NewAlias", kReads, [] { return NewAlias(Field("Mail")); }},
    {"ViewAlias", kReads, [] { return ViewAlias(Field("Mail"), Field("MailAlias")); }},
    {"EditAlias", kReads, [] { return EditAlias(Field("Mail"), Field("MailAlias")); }},
    {"DeleteAlias", kReads, [] { return DeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"ConfirmDeleteAlias", kChanges, [] { return ConfirmDeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"UpdateAlias", kChanges,
     [] { return UpdateAlias(Field("Mail"), Field("MailAlias"), Field("OldMailAlias")); }},
    {"AliasTable", kReads, [] { return AliasTableMenu(); }},
    {"BuildAliasTable", kChanges, [] { return BuildAliasTable(); }},
    {"ViewConn", kReads, [] { return ViewConn(Field("Mail")); }},
    {"NewConn", kReads, [] { return NewConn(Field("Mail")); }},
    {"ClickConn", kReads,
     [] { return ClickConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"EditConn", kReads, [] { return EditConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"UpdateConn", kChanges,
     [] {
         return UpdateConn(Field("Mail"), Field("Othermailbox"), Field("Identifier"), Field("Permission"));
     }},
    {"DeleteConn", kReads,
     [] { return DeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"VerifyDeleteConn", kChanges,
     [] { return VerifyDeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"AddChannel", kChanges,
     [] { return AddChannel(Field("Mail"), Field("Channel"), Field("Identifier"), Field("Permission")); }},
    {"ListConnMenu", kReads, [] { return ListConnMenu(); }},
    {"ListConn", kReads, [] { return ListConn(Field("Channel"), Field("Identifier")); }},
    {"ListConnUser", kReads, [] { return ViewConn(Field("Mail")); }},
    {"BrowseDomainMenu", kReads, [] { return BrowseDomain(""); }},
    {"ViewSubDomain", kReads, [] { return BrowseDomain(Field("Domain")); }},
    {"ViewUsersDomain", kReads, [] { return ViewUsersDomain(Field("Domain")); }},
};
constexpr std::size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];
constexpr std::size_t kNewUserRow = 1;

// Runs a row's handler; a changing command sent from elsewhere than our own
// pages gets the invalid-request page instead, and an audit line. The
// command is recorded for the audit lines of the changes it makes.
int Run(const CommandRow& row) {
    SetAuditCommand(row.command);
    if (row.changes) {
        const char* reason = ForgedRequestReason();
        if (reason != nullptr) {
            LogAudit("request", std::string("refused (") + reason + ")");
            PrintInvalidRequestPage();
            return 0;
        }
    }
    return row.call();
}

// Runs the first row from `first` on whose name matches and sets *status to
// its exit status; false when none does.
bool DispatchFrom(std::size_t first, const char* command, int* status) {
    for (std::size_t i = first; i < kCommandCount; ++i) {
        if (strcasecmp(kCommandTable[i].command, command) == 0) {
            *status = Run(kCommandTable[i]);
            return true;
        }
    }
    return false;
}

}  // namespace

int DispatchCommand() {
    const int read = ReadFormEntries(FormEntries);
    if (read == kFormInputFatal) return 1;  // the decoder has written why, on standard error
    if (read == kFormMalformed) {
        PrintInvalidRequestPage();
        return 0;
    }
    const char* command = Field("Command");
    if (command == nullptr) return 0;

    for (std::size_t i = 0; i < kCommandCount; ++i) {
        if (strcasecmp(kCommandTable[i].command, command) != 0) continue;
        if (i != kNewUserRow) return Run(kCommandTable[i]);
        // "NewUser": the Submit button decides. "Create User" creates; any
        // other value stands for the command among the rows after this one.
        const char* submit = Field("Submit");
        if (submit == nullptr) return 0;
        if (strcasecmp(submit, "Create User") == 0) return Run(kCommandTable[i]);
        int status = 0;
        if (!DispatchFrom(kNewUserRow + 1, submit, &status)) PrintInvalidRequestPage();
        return status;
    }
    PrintInvalidRequestPage();
    return 0;
}
