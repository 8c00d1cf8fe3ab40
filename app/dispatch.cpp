// Command dispatch: fills the process-wide form entry list once, looks up
// "Command" (value compared without regard to case) in the command table of
// app/commands.h and calls that row's handler with the values of the form
// fields it reads (null for an absent field). Unknown commands get the
// "Internal error" page, and so do commands that change the directory or
// build the alias table when the request was not posted from our own pages
// (an audit line says so). With an [Administrators] section, a login that
// it does not name gets that page for every command, and a login limited
// to some domains for the alias table; the login's scope is set for the
// pages before the handler runs. The user file's commands exist only while
// [Users] Transfer offers them.
#include "app/dispatch.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "app/commands.h"
#include "base/audit.h"
#include "cgi/form_entries.h"
#include "cgi/request_origin.h"
#include "directory/administrators.h"
#include "directory/directory_session.h"
#include "directory/user_transfer_setting.h"
#include "html/page_frame.h"

FormEntryList FormEntries = {nullptr};

namespace {

const char* Field(const char* name) { return FormValue(FormEntries.head, name); }

// Prints the invalid-request page for a refused request, with its audit line.
int Refuse(const std::string& reason) {
    LogAudit("request", "refused (" + reason + ")");
    PrintInvalidRequestPage();
    return 0;
}

// Runs a row's handler; a login that may not run it, or a changing command
// sent from elsewhere than our own pages, gets the invalid-request page
// instead, and an audit line. The command is recorded for the audit lines
// of the changes it makes.
int Run(const Command& row) {
    if (row.userTransfer && !UserTransferEnabled()) {  // as a command the table lacks
        PrintInvalidRequestPage();
        return 0;
    }
    SetAuditCommand(row.name);
    AdminScope scope;
    const Admission admission = AdmitLogin(getenv("REMOTE_USER"), &scope);
    if (admission == Admission::kRefused || (row.everyDomainOnly && !scope.everything))
        return Refuse("not an administrator");
    SetRequestScope(scope);
    SetChangingRequest(row.changes);
    if (row.changes) {
        const char* reason = ForgedRequestReason();
        if (reason != nullptr) return Refuse(reason);
    }
    const char* values[kMaxCommandFields] = {};
    for (std::size_t i = 0; i < kMaxCommandFields && row.fields[i] != nullptr; ++i)
        values[i] = Field(row.fields[i]);
    return row.handler(values);
}

// Runs the first row from `first` on whose name matches and sets *status to
// its exit status; false when none does.
bool DispatchFrom(std::size_t first, const char* command, int* status) {
    for (std::size_t i = first; i < kCommandCount; ++i) {
        if (strcasecmp(kCommands[i].name, command) == 0) {
            *status = Run(kCommands[i]);
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
        if (strcasecmp(kCommands[i].name, command) != 0) continue;
        if (strcmp(kCommands[i].name, "NewUser") != 0) return Run(kCommands[i]);
        // "NewUser": the Submit button decides. "Create User" creates; any
        // other value stands for the command among the rows after this one.
        const char* submit = Field("Submit");
        if (submit == nullptr) return 0;
        if (strcasecmp(submit, "Create User") == 0) return Run(kCommands[i]);
        int status = 0;
        if (!DispatchFrom(i + 1, submit, &status)) PrintInvalidRequestPage();
        return status;
    }
    PrintInvalidRequestPage();
    return 0;
}
