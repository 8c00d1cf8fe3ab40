// Renaming a user. The new address must be held by no other entry, as
// primary address or alias: the holders are searched before and again after
// the add, and a rename that another request raced to is taken back. The
// old entry's aliases move with the user; since a directory that keeps mail
// values unique (OpenLDAP's unique overlay) refuses an entry holding values
// that the old entry still holds, they leave the old entry just before the
// add and return to it when the add or the second search refuses.
#include "pages/users/user_rename.h"

#include <strings.h>

#include <vector>

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
const char kTooLongToCopy[] = "Cannot Update entry, a value of this user is too long to be copied";

std::string HeldBy(const std::string& holder) {
    std::string text =
        "Cannot Update entry, the new email address is already used by another entry with DN: <br>\"";
    return text.append(HtmlEscape(holder.c_str())).append("\"");
}

// The mail values that move to the new entry: all but the old primary address.
std::vector<std::string> MovingMailValues(const SearchReq* old) {
    std::vector<std::string> values;
    std::string primary;
    PrimaryAddressFromDn(old->dn, &primary);
    for (const attrval* node = old->attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (strcasecmp(node->name, "mail") == 0 && strcasecmp(node->value, primary.c_str()) != 0)
            values.push_back(node->value);
    return values;
}

// Removes (kAttrDelete) or restores (kAttrAdd) the moving values on the old
// entry in one modify; the LDAP result code.
int ChangeMailValues(ldapClient& client, const char* dn, const std::vector<std::string>& values, int op) {
    if (values.empty()) return LDAP_SUCCESS;
    AttrList list;
    for (const std::string& value : values) AddAttrValue(&list.head, op, "mail", "%s", value.c_str());
    AddAttrEnd(&list.head);
    return DirectoryModify(client, dn, list.head);
}

void Restore(ldapClient& client, const char* dn, const std::vector<std::string>& values) {
    if (ChangeMailValues(client, dn, values, kAttrAdd) != LDAP_SUCCESS)
        LogPrintf(kLogError, "UpdateUser: the aliases of %s could not be given back to it", dn);
}

}  // namespace

bool RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                const char* lastName, const char* telNo, const char* address, std::string* message) {
    if (SearchResult(client, FindUserByMail(client, newMail))) return *message = kExists, false;
    // Every value is copied: one that the client could not hold would be lost.
    if (HasTooLongValue(old, nullptr)) return *message = kTooLongToCopy, false;
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

    const std::vector<std::string> moving = MovingMailValues(old);
    AttrList list;
    BuildRenamedEntry(old, &list.head, firstName, lastName, telNo, address);
    if (ChangeMailValues(client, oldDn.c_str(), moving, kAttrDelete) != LDAP_SUCCESS)
        return *message = kNotAdded, false;
    int status = DirectoryAdd(client, newDn.c_str(), list.head);
    if (status != LDAP_SUCCESS) {
        Restore(client, oldDn.c_str(), moving);
        if (status == LDAP_CONSTRAINT_VIOLATION)
            other = OtherHolder(FindMailHolders(client, newMail), {oldDn.c_str(), newDn.c_str()});
        *message = other.empty() ? kNotAdded : HeldBy(other);
        return false;
    }
    MailHolders after = FindMailHolders(client, newMail);
    other = OtherHolder(after, {oldDn.c_str(), newDn.c_str()});
    if (!after.answered || !other.empty()) {
        if (DirectoryDelete(client, newDn.c_str()) != 0)
            LogPrintf(kLogError, "UpdateUser: the new entry %s could not be taken back", newDn.c_str());
        Restore(client, oldDn.c_str(), moving);
        *message = other.empty() ? kNotAdded : HeldBy(other);
        return false;
    }
    if (DirectoryDelete(client, oldDn.c_str()) != 0) return *message = "Failed to remove old User", false;
    *message = "Successfully Updated User";
    return true;
}
