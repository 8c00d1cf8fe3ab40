// The command table's rows. Each handler call passes the row's field values
// in order; FindUser's message and the domain menu's empty domain are fixed.
#include "app/commands.h"

#include "pages/aliases/alias_pages.h"
#include "pages/aliastable/alias_table_pages.h"
#include "pages/connectors/connector_pages.h"
#include "pages/domains/domain_pages.h"
#include "pages/users/user_pages.h"
#include "transfer/transfer_pages.h"

namespace {

constexpr bool kChanges = true;
constexpr bool kReads = false;
constexpr bool kEveryDomainOnly = true;
constexpr bool kAnyDomain = false;
constexpr bool kUserTransfer = true;

using Values = const char* const*;

}  // namespace

const Command kCommands[] = {
    {"FindUserMenu", {}, kReads, [](Values) { return FindUserMenu(); }},
    // Row 2 creates a user when Submit is "Create User"; any other Submit
    // stands for a later row (see DispatchCommand).
    {"NewUser",
     {"FirstName", "LastName", "TelNo", "Address", "Mail"},
     kChanges,
     [](Values v) { return NewUser(v[0], v[1], v[2], v[3], v[4]); }},
    {"ListUsers",
     {"FirstName", "LastName", "Mail", "Special", "Position", "GoTo"},
     kReads,
     [](Values v) { return ListUsers(v[0], v[1], v[2], v[3], v[4], v[5]); }},
    {"FindUser", {"Mail"}, kReads, [](Values v) { return FindUser(v[0], nullptr); }},
    {"EditUser", {"Mail"}, kReads, [](Values v) { return EditUser(v[0]); }},
    {"DeleteUser", {"Mail"}, kReads, [](Values v) { return DeleteUser(v[0]); }},
    {"UpdateUser",
     {"MailNdx", "FirstName", "LastName", "TelNo", "Address", "Mail"},
     kChanges,
     [](Values v) { return UpdateUser(v[0], v[1], v[2], v[3], v[4], v[5]); }},
    {"VerifyDeleteUser", {"Mail"}, kChanges, [](Values v) { return VerifyDeleteUser(v[0]); }},
    {"NewUserMenu", {}, kReads, [](Values) { return NewUserMenu(); }},
    {"NewAlias", {"Mail"}, kReads, [](Values v) { return NewAlias(v[0]); }},
    {"ViewAlias", {"Mail", "MailAlias"}, kReads, [](Values v) { return ViewAlias(v[0], v[1]); }},
    {"EditAlias", {"Mail", "MailAlias"}, kReads, [](Values v) { return EditAlias(v[0], v[1]); }},
    {"DeleteAlias", {"Mail", "MailAlias"}, kReads, [](Values v) { return DeleteAlias(v[0], v[1]); }},
    {"ConfirmDeleteAlias",
     {"Mail", "MailAlias"},
     kChanges,
     [](Values v) { return ConfirmDeleteAlias(v[0], v[1]); }},
    {"UpdateAlias",
     {"Mail", "MailAlias", "OldMailAlias"},
     kChanges,
     [](Values v) { return UpdateAlias(v[0], v[1], v[2]); }},
    {"AliasTable", {}, kReads, [](Values) { return AliasTableMenu(); }, kEveryDomainOnly},
    {"BuildAliasTable", {}, kChanges, [](Values) { return BuildAliasTable(); }, kEveryDomainOnly},
    {"ViewConn", {"Mail"}, kReads, [](Values v) { return ViewConn(v[0]); }},
    {"NewConn", {"Mail"}, kReads, [](Values v) { return NewConn(v[0]); }},
    {"ClickConn",
     {"Mail", "Othermailbox", "Permission"},
     kReads,
     [](Values v) { return ClickConn(v[0], v[1], v[2]); }},
    {"EditConn",
     {"Mail", "Othermailbox", "Permission"},
     kReads,
     [](Values v) { return EditConn(v[0], v[1], v[2]); }},
    {"UpdateConn",
     {"Mail", "Othermailbox", "Identifier", "Permission"},
     kChanges,
     [](Values v) { return UpdateConn(v[0], v[1], v[2], v[3]); }},
    {"DeleteConn",
     {"Mail", "Othermailbox", "Permission"},
     kReads,
     [](Values v) { return DeleteConn(v[0], v[1], v[2]); }},
    {"VerifyDeleteConn",
     {"Mail", "Othermailbox", "Permission"},
     kChanges,
     [](Values v) { return VerifyDeleteConn(v[0], v[1], v[2]); }},
    {"AddChannel",
     {"Mail", "Channel", "Identifier", "Permission"},
     kChanges,
     [](Values v) { return AddChannel(v[0], v[1], v[2], v[3]); }},
    {"ListConnMenu", {}, kReads, [](Values) { return ListConnMenu(); }},
    {"ListConn",
     {"Channel", "Identifier", "Position", "GoTo"},
     kReads,
     [](Values v) { return ListConn(v[0], v[1], v[2], v[3]); }},
    {"ListConnUser", {"Mail"}, kReads, [](Values v) { return ViewConn(v[0]); }},
    {"BrowseDomainMenu", {}, kReads, [](Values) { return BrowseDomain(""); }},
    {"ViewSubDomain", {"Domain"}, kReads, [](Values v) { return BrowseDomain(v[0]); }},
    {"ViewUsersDomain",
     {"Domain", "Position", "GoTo"},
     kReads,
     [](Values v) { return ViewUsersDomain(v[0], v[1], v[2]); }},
    {"ExportUsers",
     {"FirstName", "LastName", "Mail", "Special", "Format", "Domain"},
     kReads,
     [](Values v) { return ExportUsers(v[0], v[1], v[2], v[3], v[4], v[5]); },
     kAnyDomain,
     kUserTransfer},
    {"ImportUsersMenu", {}, kReads, [](Values) { return ImportUsersMenu(); }, kAnyDomain, kUserTransfer},
    {"ImportUsers",
     {"File", "Apply"},
     kChanges,
     [](Values v) { return ImportUsers(v[0], v[1]); },
     kAnyDomain,
     kUserTransfer},
};
const std::size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];
