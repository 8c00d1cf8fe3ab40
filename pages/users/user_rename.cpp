// Renaming a user. The new address must be held by no other entry, as
// primary address or alias: the holders are searched before and again after
// the rename, and a rename that another request raced to is taken back. The
// entry moves in one directory operation (its old primary address goes,
// every other value stays), then its five form attributes change; a failed
// change takes the move back. No step leaves a value on no entry: a server
// lost between the two leaves the user under its new address with its old
// form values.
#include "pages/users/user_rename.h"

#include <strings.h>

#include "base/log.h"
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

std::string HeldBy(const std::string& holder) {
    std::string text =
        "Cannot Update entry, the new email address is already used by another entry with DN: <br>\"";
    return text.append(HtmlEscape(holder.c_str())).append("\"");
}

// Takes a rename back: the entry returns to its old DN.
void MoveBack(ldapClient& client, const std::string& newDn, const std::string& oldDn) {
    if (DirectoryRename(client, newDn.c_str(), oldDn.c_str()) != LDAP_SUCCESS)
        LogPrintf(kLogError, "UpdateUser: %s could not be moved back to %s", newDn.c_str(), oldDn.c_str());
}

}  // namespace

bool RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                const char* lastName, const char* telNo, const char* address, std::string* message) {
    if (SearchResult(client, FindUserByMail(client, newMail))) return *message = kExists, false;
    const std::string oldDn = old->dn, newDn = client.CreateDNFromMail(newMail);
    // The user's own alias may become its primary address.
    MailHolders before = FindMailHolders(client, newMail);
    std::string other = OtherHolder(before, {oldDn.c_str()});
    if (!before.answered) return *message = kNotAdded, false;
    if (!other.empty()) return *message = HeldBy(other), false;

    char* suffix = client.GetSuffix(newMail);
    bool treeOk = suffix != nullptr && CreateDomainTree(client, suffix);
    if (suffix != nullptr) client.free(suffix);
    if (!treeOk) return *message = "Failed to create domain tree", false;

    int status = DirectoryRename(client, oldDn.c_str(), newDn.c_str());
    if (status != LDAP_SUCCESS) {
        if (status == LDAP_CONSTRAINT_VIOLATION || status == LDAP_ALREADY_EXISTS)
            other = OtherHolder(FindMailHolders(client, newMail), {oldDn.c_str(), newDn.c_str()});
        *message = other.empty() ? kNotAdded : HeldBy(other);
        return false;
    }
    MailHolders after = FindMailHolders(client, newMail);
    other = OtherHolder(after, {oldDn.c_str(), newDn.c_str()});
    if (!after.answered || !other.empty()) {
        MoveBack(client, newDn, oldDn);
        *message = other.empty() ? kNotAdded : HeldBy(other);
        return false;
    }
    AttrList changes;
    BuildUserChanges(old, &changes.head, firstName, lastName, telNo, address);
    if (changes.head != nullptr) {
        AddAttrEnd(&changes.head);
        int modified = DirectoryModify(client, newDn.c_str(), changes.head);
        if (modified != LDAP_SUCCESS) {
            // Only a refusal is taken back: a change whose answer was lost (the
            // client's own negative codes) may still be carried out, and a move
            // back behind it would leave the new values under the old address.
            if (modified > 0) MoveBack(client, newDn, oldDn);
            return *message = kNotAdded, false;
        }
    }
    *message = "Successfully Updated User";
    return true;
}
