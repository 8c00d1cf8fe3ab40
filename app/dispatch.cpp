// Command dispatch: fills the process-wide form entry list once, looks up
// "Command" (value compared without regard to case) in the command table and
// calls that row's handler with the form fields it reads, as text (null for
// an absent field). Unknown commands get the "Internal error" page.
#include "app/dispatch.h"

#include <strings.h>

#include "cgi/form_entries.h"
#include "html/page_frame.h"
#include "pages/aliases/alias_pages.h"
#include "pages/aliastable/alias_table_pages.h"
#include "pages/connectors/connector_pages.h"
#include "pages/domains/domain_pages.h"
#include "pages/users/user_pages.h"

FormEntryList FormEntries = {nullptr};

namespace {

const char* Field(const char* name) { return FormValue(FormEntries.head, name); }

struct CommandRow {
    const char* command;
    int (*call)();  // the handler, returning the exit status
};

// In the order of testing; the first match decides.
const CommandRow kCommandTable[] = {
    {"FindUserMenu", [] { return FindUserMenu(); }},
    {"NewUser", nullptr},  // row 2: decided by the Submit field, see DispatchCommand
    {"ListUsers",
     [] { return ListUsers(Field("FirstName"), Field("LastName"), Field("Mail"), Field("Special")); }},
    {"FindUser", [] { return FindUser(Field("Mail"), nullptr); }},
    {"EditUser", [] { return EditUser(Field("Mail")); }},
    {"DeleteUser", [] { return DeleteUser(Field("Mail")); }},
    {"UpdateUser",
     [] {
         return UpdateUser(Field("MailNdx"), Field("FirstName"), Field("LastName"), Field("TelNo"),
                           Field("Address"), Field("Mail"));
     }},
    {"VerifyDeleteUser", [] { return VerifyDeleteUser(Field("Mail")); }},
    {"NewUserMenu", [] { return NewUserMenu(); }},
    {"NewAlias", [] { return NewAlias(Field("Mail")); }},
    {"ViewAlias", [] { return ViewAlias(Field("Mail"), Field("MailAlias")); }},
    {"EditAlias", [] { return EditAlias(Field("Mail"), Field("MailAlias")); }},
    {"DeleteAlias", [] { return DeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"ConfirmDeleteAlias", [] { return ConfirmDeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"UpdateAlias", [] { return UpdateAlias(Field("Mail"), Field("MailAlias"), Field("OldMailAlias")); }},
    {"AliasTable", [] { return AliasTableMenu(); }},
    {"BuildAliasTable", [] { return BuildAliasTable(); }},
    {"ViewConn", [] { return ViewConn(Field("Mail")); }},
    {"NewConn", [] { return NewConn(Field("Mail")); }},
    {"ClickConn", [] { return ClickConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"EditConn", [] { return EditConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"UpdateConn",
     [] {
         return UpdateConn(Field("Mail"), Field("Othermailbox"), Field("Identifier"), Field("Permission"));
     }},
    {"DeleteConn", [] { return DeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"VerifyDeleteConn",
     [] { return VerifyDeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"AddChannel",
     [] { return AddChannel(Field("Mail"), Field("Channel"), Field("Identifier"), Field("Permission")); }},
    {"ListConnMenu", [] { return ListConnMenu(); }},
    {"ListConn", [] { return ListConn(Field("Channel"), Field("Identifier")); }},
    {"ListConnUser", [] { return ViewConn(Field("Mail")); }},
    {"BrowseDomainMenu", [] { return BrowseDomain(""); }},
    {"ViewSubDomain", [] { return BrowseDomain(Field("Domain")); }},
    {"ViewUsersDomain", [] { return ViewUsersDomain(Field("Domain")); }},
};
constexpr std::size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];
constexpr std::size_t kNewUserRow = 1;

// Calls the first row from `first` on whose name matches and sets *status to
// its exit status; false when none does.
bool DispatchFrom(std::size_t first, const char* command, int* status) {
    for (std::size_t i = first; i < kCommandCount; ++i) {
        if (strcasecmp(kCommandTable[i].command, command) == 0) {
            *status = kCommandTable[i].call();
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
        if (i != kNewUserRow) return kCommandTable[i].call();
        // "NewUser": the Submit button decides. "Create User" creates; any
        // other value stands for the command among the rows after this one.
        const char* submit = Field("Submit");
        if (submit == nullptr) return 0;
        if (strcasecmp(submit, "Create User") == 0)
            return NewUser(Field("FirstName"), Field("LastName"), Field("TelNo"), Field("Address"),
                           Field("Mail"));
        int status = 0;
        if (!DispatchFrom(kNewUserRow + 1, submit, &status)) PrintInvalidRequestPage();
        return status;
    }
    PrintInvalidRequestPage();
    return 0;
}
