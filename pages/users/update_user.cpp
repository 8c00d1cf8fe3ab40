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
#include "html/page_frame.h"
#include "pages/users/user_changes.h"
#include "pages/users/user_entry.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "platform/ldapclient.h"

namespace {

// Modify path; returns the error message, or null with *success set.
const char* ModifyUser(ldapClient& client, SearchReq* old, const char* firstName, const char* lastName,
                       const char* telNo, const char* address, const char** success) {
    attrval* list = nullptr;
    BuildUserChanges(old, &list, firstName, lastName, telNo, address);
    if (list == nullptr) {
        *success = "No changes";
        return nullptr;
    }
    AddAttrEnd(&list);
    // The entry's own DN: its first mail value may be an alias.
    int status = client.ldapClientModify(old->dn, list);
    FreeAttrList(&list);
    if (status != 0) return "Failed to update user";
    *success = "Successfully Updated User";
    return nullptr;
}

// Rename path: add under the new address, then remove the old entry.
const char* RenameUser(ldapClient& client, SearchReq* old, const char* newMail, const char* firstName,
                       const char* lastName, const char* telNo, const char* address, const char** success) {
    SearchReq* existing = FindUserByMail(client, newMail);
    if (existing != nullptr) {
        client.srch_free(existing);
        return "Cannot Update entry, the new email address already exists.";
    }
    char* suffix = client.GetSuffix(newMail);
    bool treeOk = suffix != nullptr && CreateDomainTree(client, suffix);
    if (suffix != nullptr) client.free(suffix);
    if (!treeOk) return "Failed to create domain tree";

    attrval* list = nullptr;
    BuildRenamedEntry(old, &list, firstName, lastName, telNo, address);
    int status = client.ldapClientAdd(client.CreateDNFromMail(newMail), list);
    FreeAttrList(&list);
    if (status != 0) return "Could not add modified User";
    if (client.ldapClientDelete(old->dn) != 0) return "Failed to remove old User";
    *success = "Successfully Updated User";
    return nullptr;
}

}  // namespace

void UpdateUser(const char* mailNdx, const char* firstName, const char* lastName, const char* telNo,
                const char* address, const char* mail) {
    const char* overflow = UserFieldOverflow(firstName, lastName, telNo, address);
    if (overflow != nullptr) {
        PrintErrorPage("Update User", "%s", overflow);
        return;
    }
    ldapClient client;
    if (OpenDirectory(client) == nullptr) {
        client.ldapClientUnbind();
        PrintErrorPage("Update User", "Error connecting to LDAP server");
        return;
    }
    const char* screened = ValidateMailAddress(mail);
    if (screened == nullptr) {
        client.ldapClientUnbind();
        PrintErrorPage("Update User", "Invalid mail address");
        return;
    }
    std::string newMail = screened;  // the screen's buffer is shared
    // The form names the user by its primary address; anything else (a
    // wildcard, an absent field) names no user to change.
    SearchReq* old = FindUserByMail(client, mailNdx);
    if (old != nullptr && !IsUserIdentity(old, mailNdx)) {
        client.srch_free(old);
        old = nullptr;
    }
    if (old == nullptr) {
        client.ldapClientUnbind();
        PrintErrorPage("Update User", "User cannot be updated, the entry has been deleted");
        return;
    }
    const char* success = nullptr;
    const char* error = strcasecmp(newMail.c_str(), mailNdx) == 0
                            ? ModifyUser(client, old, firstName, lastName, telNo, address, &success)
                            : RenameUser(client, old, newMail.c_str(), firstName, lastName, telNo, address,
                                         &success);
    client.srch_free(old);
    client.ldapClientUnbind();
    if (error != nullptr) {
        PrintErrorPage("Update User", "%s", error);
        return;
    }
    FindUser(newMail.c_str(), success);
}
