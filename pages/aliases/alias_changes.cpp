// The alias changes: UpdateAlias adds an alias or replaces one by another in
// one modify, ConfirmDeleteAlias removes one; both then show the user details
// page with a message. They change only the entry whose primary address is
// the "Mail" given, a user of the login's domains; an alias added, replaced
// or deleted must lie in them too. A new alias is refused while any entry
// holds it; since that check and the modify are separate requests, the
// holders are searched again after the modify, and a change that another
// entry raced to is taken back (both racers may refuse; never both keep it).
// Values that do not fit an attribute node are refused, never cut.
#include <strings.h>

#include <cstring>
#include <string>

#include "base/limits.h"
#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/folded_case.h"
#include "directory/mail_address.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "html/page_frame.h"
#include "html/text_helpers.h"
#include "pages/aliases/alias_pages.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

constexpr std::size_t kMaxAliasLength = kAttrValueSize - 1;  // what an attribute node holds

const char kUpdateTitle[] = "Update Alias";
const char kDeleteTitle[] = "Delete Alias";  // the delete's own failures
const char kAliasTooLong[] = "Error: alias field overflow";
const char kNoUser[] = "User not found, Mail Alias can not be updated";
const char kUpdateFailed[] = "Update Operation Failed";
const char kNotConnected[] = "Error connecting to LDAP server";
// A change whose answer was lost: the server may have carried it out.
const char kNoAnswer[] = "The LDAP server did not answer: the alias may have been changed";
const char kNoAnswerDelete[] = "The LDAP server did not answer: the alias may have been deleted";

int Report(const char* title, const std::string& message) {
    PrintPageHeader(title);
    PrintResultPageAndEnd(message.c_str());
    return 0;
}

bool IsGiven(const char* value) { return value != nullptr && value[0] != '\0'; }

// `value` escaped between two pieces of the message's own text.
std::string Quoted(const char* before, const char* value, const char* after) {
    std::string text = before;
    text.append(HtmlEscape(value));
    return text.append(after);
}

// Names the entry that holds the alias when it is one of the login's users.
std::string DuplicateMessage(const std::string& alias, const std::string& holderDn) {
    if (!UserDnInScope(RequestScope(), holderDn.c_str()))
        return Quoted("Sorry, duplicated alias is not allowed.<br> The alias (", alias.c_str(),
                      ") is already in use.");
    return Quoted("Sorry, duplicated alias is not allowed.<br> The alias (", alias.c_str(),
                  ") has already been used by another user with DN: <br>\"") +
           Quoted("", holderDn.c_str(), "\"");
}

// The DN of the user's own entry when `mail` is its primary address; "" when
// the address names no user (an alias, "*", an absent field) and when the
// directory did not answer (*failed).
std::string UserDn(ldapClient& client, const char* mail, bool* failed) {
    SearchResult user(client, FindUserByMail(client, mail, failed));
    return user && IsUserIdentity(user.get(), mail) ? user.get()->dn : "";
}

// One modify of the user's mail values: remove `remove` (when given), add `add` (when given).
int ModifyMail(ldapClient& client, const std::string& dn, const char* remove, const char* add) {
    AttrList list;
    bool built = (remove == nullptr || AddAttrValue(&list.head, kAttrDelete, "mail", "%s", remove)) &&
                 (add == nullptr || AddAttrValue(&list.head, kAttrAdd, "mail", "%s", add)) &&
                 AddAttrEnd(&list.head);
    return built ? DirectoryModify(client, dn.c_str(), list.head) : LDAP_NO_MEMORY;
}

// After a modify that stored `alias` in the user's entry: true when no other
// entry holds it too. Otherwise the change is taken back and *refusal says why.
bool KeepsAlias(ldapClient& client, const std::string& dn, const std::string& alias, const char* oldAlias,
                std::string* refusal) {
    MailHolders after = FindMailHolders(client, alias.c_str());
    const std::string other = OtherHolder(client, &after, {dn.c_str()});
    if (after.answered && other.empty()) return true;
    const int back = ModifyMail(client, dn, alias.c_str(), oldAlias);
    if (back != 0)
        LogPrintf(kLogError, "UpdateAlias: alias %s of %s could not be taken back", alias.c_str(),
                  dn.c_str());
    *refusal = back < 0 ? kNoAnswer : after.answered ? DuplicateMessage(alias, other) : kUpdateFailed;
    return false;
}

}  // namespace

int UpdateAlias(const char* mail, const char* mailAlias, const char* oldMailAlias) {
    const char* screened = ValidateMailAddress(mailAlias);
    if (screened == nullptr) return Report(kUpdateTitle, "Invalid mail address");
    const std::string alias = screened;  // the screen's buffer is shared
    // The alias table keys an alias by its first kMaxAliasKeyLength characters:
    // a longer one would share its key with others and reach the wrong user.
    if (alias.size() > kMaxAliasKeyLength)
        return Report(kUpdateTitle, "Sorry, an alias longer than " + std::to_string(kMaxAliasKeyLength) +
                                        " characters is not allowed.");
    // An empty old value names no alias: the change is an add.
    const char* oldAlias = IsGiven(oldMailAlias) ? oldMailAlias : nullptr;
    if (oldAlias != nullptr && strlen(oldAlias) > kMaxAliasLength) return Report(kUpdateTitle, kAliasTooLong);

    ldapClient client;
    if (OpenDirectory(client) == nullptr) return Report(kUpdateTitle, kNotConnected);
    bool failed = false;
    const std::string dn = UserDn(client, mail, &failed);
    if (dn.empty()) return Report(kUpdateTitle, failed ? kNotConnected : kNoUser);
    // An alias in another domain would take that domain's mail; the old one,
    // replaced, would drop it.
    if (!AddressInScope(RequestScope(), alias.c_str()) ||
        (oldAlias != nullptr && !AddressInScope(RequestScope(), oldAlias)))
        return Report(kUpdateTitle, kOutsideDomains);

    MailHolders before = FindMailHolders(client, alias.c_str());
    // A new letter case of the user's own alias (outside ASCII too): the
    // user's entry holds it only as the old value. Not of the primary
    // address, which is no alias to change.
    std::string primary;
    const bool caseOnly = oldAlias != nullptr && SameFoldedCase(oldAlias, alias) &&
                          strcmp(oldAlias, alias.c_str()) != 0 &&
                          !(PrimaryAddressFromDn(dn.c_str(), &primary) && SameFoldedCase(primary, alias));
    const std::string holder =
        caseOnly ? OtherHolder(client, &before, {dn.c_str()}) : OtherHolder(client, &before, {});
    if (!before.answered) return Report(kUpdateTitle, kUpdateFailed);
    if (!holder.empty()) return Report(kUpdateTitle, DuplicateMessage(alias, holder));

    {
        TerminationHeld held;  // the modify and the check that may take it back go together
        int status = ModifyMail(client, dn, oldAlias, alias.c_str());
        if (status == LDAP_TYPE_OR_VALUE_EXISTS) return Report(kUpdateTitle, "The alias already exists");
        if (status == LDAP_CONSTRAINT_VIOLATION) {
            // The directory's own uniqueness guard: name the entry that holds the alias.
            MailHolders now = FindMailHolders(client, alias.c_str());
            const std::string other = OtherHolder(client, &now, {dn.c_str()});
            if (!other.empty()) return Report(kUpdateTitle, DuplicateMessage(alias, other));
        }
        if (status < 0) return Report(kUpdateTitle, kNoAnswer);
        if (status != 0) return Report(kUpdateTitle, kUpdateFailed);
        std::string refusal;
        if (!KeepsAlias(client, dn, alias, oldAlias, &refusal)) return Report(kUpdateTitle, refusal);
    }

    client.ldapClientUnbind();  // the details page opens a session of its own
    std::string message = oldAlias != nullptr
                              ? Quoted("Changed Mail alias \"", oldAlias, "\" to ") +
                                    Quoted("\"", alias.c_str(), "\" successfully")
                              : Quoted("Added Mail alias \"", alias.c_str(), "\" successfully");
    return FindUser(mail, message.c_str());
}

int ConfirmDeleteAlias(const char* mail, const char* mailAlias) {
    // An absent or empty alias names nothing to delete.
    const bool given = IsGiven(mailAlias);
    if (given && strlen(mailAlias) > kMaxAliasLength) return Report(kUpdateTitle, kAliasTooLong);
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return Report(kUpdateTitle, kNotConnected);
    bool failed = false;
    const std::string dn = UserDn(client, mail, &failed);
    if (dn.empty()) return Report(kUpdateTitle, failed ? kNotConnected : kNoUser);
    // Deleting an alias in another domain would drop that domain's mail.
    if (given && !AddressInScope(RequestScope(), mailAlias)) return Report(kUpdateTitle, kOutsideDomains);

    std::string message = "Nothing to do!";
    if (given) {
        int status = ModifyMail(client, dn, mailAlias, nullptr);
        if (status < 0) return Report(kDeleteTitle, kNoAnswerDelete);
        if (status != 0) return Report(kDeleteTitle, "Delete Operation Failed");
        message = Quoted("Mail Alias \"", mailAlias, "\" Deleted successfully");
    }
    // The details page opens a session of its own while this one is still open.
    return FindUser(mail, message.c_str());
}
