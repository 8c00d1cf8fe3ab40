// UpdateUser: applies the edit form. An unchanged address (letter case
// ignored) sends the differences as one modify; a new address adds the whole
// entry under the new DN, then deletes the old one. Success ends on the
// user details page with a message; failures on a result page.
#include <strings.h>

#include <string>

#include "directory/attribute_list.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/mail_address.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/users/user_changes.h"
#include "pages/users/user_entry.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

// Modify path; returns the error message, or null with *success set.
const char* ModifyUser(ldapClient& client, SearchReq* old, const char* firstName, const char* lastName,
                       const char* telNo, const char* address, const char** success) {
    AttrList list;
    BuildUserChanges(old, &list.head, firstName, lastName, telNo, address);
    if (list.head == nullptr) {
        *success = "No changes";
        return nullptr;
    }
    AddAttrEnd(&list.head);
    // The entry's own DN: its first mail value may be an alias.
    int status = client.ldapClientModify(old->dn, list.head);
    if (status != 0) return "Failed to update user";
    *success = "Successfully Updated User";
    return nullptr;
}

// Rename path: add under the new address, then remove the old entry.
const char* RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                       const char* lastName, const char* telNo, const char* address, const char** success) {
    if (SearchResult(client, FindUserByMail(client, newMail))) {
        return "Cannot Update entry, the new email address already exists.";
    }
    char* suffix = client.GetSuffix(newMail);
    bool treeOk = suffix != nullptr && CreateDomainTree(client, suffix);
    if (suffix != nullptr) client.free(suffix);
    if (!treeOk) return "Failed to create domain tree";

    AttrList list;
    BuildRenamedEntry(old, &list.head, firstName, lastName, telNo, address);
    int status = client.ldapClientAdd(client.CreateDNFromMail(newMail), list.head);
    if (status != 0) return "Could not add modified User";
    if (client.ldapClientDelete(old->dn) != 0) return "Failed to remove old User";
    *success = "Successfully Updated User";
    return nullptr;
}

}  // namespace

int UpdateUser(const char* mailNdx, const char* firstName, const char* lastName, const char* telNo,
               const char* address, const char* mail) {
    const char* overflow = UserFieldOverflow(firstName, lastName, telNo, address);
    if (overflow != nullptr) {
        PrintErrorPage("Update User", "%s", overflow);
        return 0;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        PrintErrorPage("Update User", "Error connecting to LDAP server");
        return 0;
    }
    const char* screened = ValidateMailAddress(mail);
    if (screened == nullptr) {
        PrintErrorPage("Update User", "Invalid mail address");
        return 0;
    }
    std::string newMail = screened;  // the screen's buffer is shared
    // The form names the user by its primary address; anything else (a
    // wildcard, an absent field) names no user to change.
    SearchResult old(client, FindUserByMail(client, mailNdx));
    if (old && !IsUserIdentity(old.get(), mailNdx)) old.reset();
    if (!old) {
        PrintErrorPage("Update User", "User cannot be updated, the entry has been deleted");
        return 0;
    }
    const char* success = nullptr;
    const char* error =
        strcasecmp(newMail.c_str(), mailNdx) == 0
            ? ModifyUser(client, old.get(), firstName, lastName, telNo, address, &success)
            : RenameUser(client, old.get(), newMail.c_str(), firstName, lastName, telNo, address, &success);
    old.reset();
    client.ldapClientUnbind();  // the details page opens a session of its own
    if (error != nullptr) {
        PrintErrorPage("Update User", "%s", error);
        return 0;
    }
    return FindUser(newMail.c_str(), success);
}
