// Renaming a user. The new address must be held by no other entry, as
// primary address or alias: the holders are searched before and again after
// the rename, and a rename that another request raced to is taken back. The
// entry moves in one directory operation (its old primary address goes,
// every other value stays), then its five form attributes change; a failed
// change takes the move back, which keeps the new address when it was one of
// the user's aliases. No step leaves a value on no entry: a server lost
// between the two leaves the user under its new address with its old form
// values, and the page says that the server did not answer. The signals that
// end a request wait from the first change to the end: a browser gone
// meanwhile parts no move from its check or its values.
#include "pages/users/user_rename.h"

#include <strings.h>

#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"
#include "html/text_helpers.h"
#include "pages/users/user_changes.h"
#include "pages/users/user_identity.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

const char kExists[] = "Cannot Update entry, the new email address already exists.";
const char kNotAdded[] = "Could not add modified User";
const char kNotConnected[] = "Error connecting to LDAP server";
const char kNoAnswer[] =
    "The LDAP server did not answer: the user may have been renamed without the new values";

// The refusal when another entry holds the new address: it names that entry
// when that entry is one of the login's users.
std::string HeldBy(const std::string& holder) {
    if (!UserDnInScope(RequestScope(), holder.c_str())) return kExists;
    std::string text =
        "Cannot Update entry, the new email address is already used by another entry with DN: <br>\"";
    return text.append(HtmlEscape(holder.c_str())).append("\"");
}

// Takes a rename back: the entry returns to its old DN, keeping the new
// address as a value when it held it before (`wasAlias`). False when it stays.
bool MoveBack(ldapClient& client, const std::string& newDn, const std::string& oldDn, bool wasAlias) {
    if (DirectoryRename(client, newDn.c_str(), oldDn.c_str(), !wasAlias) == LDAP_SUCCESS) return true;
    LogPrintf(kLogError, "UpdateUser: %s could not be moved back to %s", newDn.c_str(), oldDn.c_str());
    return false;
}

}  // namespace

std::string RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                       const char* lastName, const char* telNo, const char* address) {
    bool failed = false;
    if (SearchResult(client, FindUserByMail(client, newMail, &failed))) return kExists;
    if (failed) return kNotConnected;
    const std::string oldDn = old->dn, newDn = client.CreateDNFromMail(newMail);
    // The user's own alias may become its primary address.
    MailHolders before = FindMailHolders(client, newMail);
    std::string other = OtherHolder(client, &before, {oldDn.c_str()});
    if (!before.answered) return kNotConnected;
    if (!other.empty()) return HeldBy(other);
    const bool wasAlias = !before.dns.empty();  // held by no other entry: the user's own alias
    // The browser gone (SIGTERM) must not part the move from its check and values.
    TerminationHeld held;
    if (!CreateMailDomainTree(client, newMail)) return "Failed to create domain tree";

    int status = DirectoryRename(client, oldDn.c_str(), newDn.c_str());
    if (status < 0) return kNoAnswer;  // the rename may have been made
    if (status != LDAP_SUCCESS) {
        if (status == LDAP_CONSTRAINT_VIOLATION || status == LDAP_ALREADY_EXISTS) {
            MailHolders now = FindMailHolders(client, newMail);
            other = OtherHolder(client, &now, {oldDn.c_str(), newDn.c_str()});
        }
        return other.empty() ? kNotAdded : HeldBy(other);
    }
    MailHolders after = FindMailHolders(client, newMail);
    other = OtherHolder(client, &after, {oldDn.c_str(), newDn.c_str()});
    if (!after.answered || !other.empty()) {
        bool back = MoveBack(client, newDn, oldDn, wasAlias);
        return !other.empty() ? HeldBy(other) : back ? kNotConnected : kNoAnswer;
    }
    AttrList changes;
    BuildUserChanges(old, &changes.head, firstName, lastName, telNo, address);
    if (changes.head == nullptr) return "";
    AddAttrEnd(&changes.head);
    int modified = DirectoryModify(client, newDn.c_str(), changes.head);
    if (modified == LDAP_SUCCESS) return "";
    // Only a refusal is taken back: a change whose answer was lost (the
    // client's own negative codes) may still be carried out, and a move
    // back behind it would leave the new values under the old address.
    bool back = modified > 0 && MoveBack(client, newDn, oldDn, wasAlias);
    return back ? kNotAdded : kNoAnswer;
}
