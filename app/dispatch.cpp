// Command dispatch: fills the process-wide form entry list once, looks up
// "Command" (value compared without regard to case) in the command table and
// calls that row's handler with the form fields it reads, as text (null for
// an absent field). Unknown commands get the "Internal error" page.
#include "app/dispatch.h"

#include <strings.h>

#include "aliastable/alias_table_pages.h"
#include "cgi/form_entries.h"
#include "html/page_frame.h"
#include "pages/aliases/alias_pages.h"
#include "pages/connectors/connector_pages.h"
#include "pages/domains/domain_pages.h"
#include "pages/users/user_pages.h"

FormEntryList FormEntries = {nullptr};

namespace {

const char* Field(const char* name) { return FormValue(FormEntries.head, name); }

struct CommandRow {
    const char* command;
    void (*call)();
};

// In the order of testing; the first match decides.
const CommandRow kCommandTable[] = {
    {"FindUserMenu", [] { FindUserMenu(); }},
    {"NewUser", nullptr},  // row 2: decided by the Submit field, see DispatchCommand
    {"ListUsers", [] { ListUsers(Field("FirstName"), Field("LastName"), Field("Mail"), Field("Special")); }},
    {"FindUser", [] { FindUser(Field("Mail"), nullptr); }},
    {"EditUser", [] { EditUser(Field("Mail")); }},
    {"DeleteUser", [] { DeleteUser(Field("Mail")); }},
    {"UpdateUser", [] {
         UpdateUser(Field("MailNdx"), Field("FirstName"), Field("LastName"), Field("TelNo"),
                    Field("Address"), Field("Mail"));
     }},
    {"VerifyDeleteUser", [] { VerifyDeleteUser(Field("Mail")); }},
    {"NewUserMenu", [] { NewUserMenu(); }},
    {"NewAlias", [] { NewAlias(Field("Mail")); }},
    {"ViewAlias", [] { ViewAlias(Field("Mail"), Field("MailAlias")); }},
    {"EditAlias", [] { EditAlias(Field("Mail"), Field("MailAlias")); }},
    {"DeleteAlias", [] { DeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"ConfirmDeleteAlias", [] { ConfirmDeleteAlias(Field("Mail"), Field("MailAlias")); }},
    {"UpdateAlias", [] { UpdateAlias(Field("Mail"), Field("MailAlias"), Field("OldMailAlias")); }},
    {"AliasTable", [] { AliasTableMenu(); }},
    {"BuildAliasTable", [] { BuildAliasTable(); }},
    {"ViewConn", [] { ViewConn(Field("Mail")); }},
    {"NewConn", [] { NewConn(Field("Mail")); }},
    {"ClickConn", [] { ClickConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"EditConn", [] { EditConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"UpdateConn", [] {
         UpdateConn(Field("Mail"), Field("Othermailbox"), Field("Identifier"), Field("Permission"));
     }},
    {"DeleteConn", [] { DeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"VerifyDeleteConn", [] { VerifyDeleteConn(Field("Mail"), Field("Othermailbox"), Field("Permission")); }},
    {"AddChannel", [] {
         AddChannel(Field("Mail"), Field("Channel"), Field("Identifier"), Field("Permission"));
     }},
    {"ListConnMenu", [] { ListConnMenu(); }},
    {"ListConn", [] { ListConn(Field("Channel"), Field("Identifier")); }},
    {"ListConnUser", [] { ViewConn(Field("Mail")); }},
    {"BrowseDomainMenu", [] { BrowseDomain(""); }},
    {"ViewSubDomain", [] { BrowseDomain(Field("Domain")); }},
    {"ViewUsersDomain", [] { ViewUsersDomain(Field("Domain")); }},
};
constexpr std::size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];
constexpr std::size_t kNewUserRow = 1;

// Calls the first row from `first` on whose name matches; false when none does.
bool DispatchFrom(std::size_t first, const char* command) {
    for (std::size_t i = first; i < kCommandCount; ++i) {
        if (strcasecmp(kCommandTable[i].command, command) == 0) {
            kCommandTable[i].call();
            return true;
        }
    }
    return false;
}

}  // namespace

void PrintInvalidRequestPage() { PrintErrorPage("Internal error", "Invalid CGI values!"); }

void DispatchCommand() {
    if (ReadFormEntries(FormEntries) == -1) {
        PrintInvalidRequestPage();
        return;
    }
    const char* command = Field("Command");
    if (command == nullptr) return;

    for (std::size_t i = 0; i < kCommandCount; ++i) {
        if (strcasecmp(kCommandTable[i].command, command) != 0) continue;
        if (i != kNewUserRow) {
            kCommandTable[i].call();
            return;
        }
        // "NewUser": the Submit button decides. "Create User" creates; any
        // other value stands for the command among the rows after this one.
        const char* submit = Field("Submit");
        if (submit == nullptr) return;
        if (strcasecmp(submit, "Create User") == 0) {
            NewUser(Field("FirstName"), Field("LastName"), Field("TelNo"), Field("Address"), Field("Mail"));
            return;
        }
        if (!DispatchFrom(kNewUserRow + 1, submit)) PrintInvalidRequestPage();
        return;
    }
    PrintInvalidRequestPage();
}
