// UpdateUser: applies the edit form, whose six fields must all be there. An
// unchanged address (letter case ignored) sends the differences as one
// modify; a new address moves the entry (user_rename), only into the
// login's domains. A value too long to be
// shown is never replaced. The address comes with the line ends it is
// stored with. Success ends on the user details page with a message;
// failures on a result page.
#include <strings.h>

#include <cstring>
#include <string>

#include "base/limits.h"
#include "directory/admin_scope.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/mail_address.h"
#include "directory/owners.h"
#include "html/page_frame.h"
#include "pages/users/user_changes.h"
#include "pages/users/user_details.h"
#include "pages/users/user_entry.h"
#include "pages/users/user_identity.h"
#include "pages/users/user_pages.h"
#include "pages/users/user_rename.h"
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
    int status = DirectoryModify(client, old->dn, list.head);
    if (status < 0) return "Error connecting to LDAP server";  // no answer
    if (status != 0) return "Failed to update user";
    *success = "Successfully Updated User";
    return nullptr;
}

// The refusal when a typed value would replace one that is too long to be
// shown (the form sends such a field empty: the value then stays); empty
// when there is none.
std::string TooLongToEdit(SearchReq* old, const char* firstName, const char* lastName, const char* telNo,
                          const char* address) {
    const struct {
        const char* attribute;
        const char* label;
        const char* typed;
    } fields[] = {{"firstname", "First Name", firstName},
                  {"sn", "Last Name", lastName},
                  {"telephoneNumber", "Telephone Number", telNo},
                  {"streetaddress", "Address", address}};
    for (const auto& field : fields) {
        if (field.typed[0] != '\0' && HasTooLongValue(old, field.attribute))
            return std::string("Error: the ") + field.label + " of this user is too long to be edited";
    }
    return "";
}

// Browsers send a text area's line ends as CRLF: a changed address is
// stored with LF where the stored one has bare LF line ends, else as typed.
bool HasBareLf(const char* text) {
    for (const char* p = strchr(text, '\n'); p != nullptr; p = strchr(p + 1, '\n'))
        if (p == text || p[-1] != '\r') return true;
    return false;
}

// Applies the complete form: the refusal's text, or empty with the success
// text in *success and the screened new address in *newMail. The session
// ends on return: the details page opens one of its own.
std::string ApplyUpdate(const char* mailNdx, const char* firstName, const char* lastName, const char* telNo,
                        const char* address, const char* mail, std::string* newMail, std::string* success) {
    const std::string lfAddress = OneLineBreak(address);  // the shortest form it may be stored in
    const char* overflow = UserFieldOverflow(firstName, lastName, telNo, lfAddress.c_str());
    if (overflow != nullptr) return overflow;
    ldapClient client;
    if (OpenDirectory(client) == nullptr) return "Error connecting to LDAP server";
    const char* screened = ValidateMailAddress(mail);
    if (screened == nullptr) return "Invalid mail address";
    *newMail = screened;  // the screen's buffer is shared
    // The form names the user by its primary address; anything else (a
    // wildcard, an absent field) names no user to change.
    bool failed = false;
    SearchResult old(client, FindUserByMail(client, mailNdx, &failed));
    if (old && !IsUserIdentity(old.get(), mailNdx)) old.reset();
    if (!old)
        return failed ? "Error connecting to LDAP server"
                      : "User cannot be updated, the entry has been deleted";
    if (!AddressInScope(RequestScope(), newMail->c_str())) return kOutsideDomains;
    // An unchanged address stays as stored, whatever its line breaks (the
    // browser sends each back as CRLF).
    const char* storedAddress = GetAttrValue(old.get(), "streetaddress");
    if (OneLineBreak(address) == OneLineBreak(storedAddress))
        address = storedAddress;
    else if (HasBareLf(storedAddress))
        address = lfAddress.c_str();
    else if (strlen(address) > kMaxFormAddressLength)
        return "Error: address field overflow";
    // A value too long to show stays as it is.
    std::string refusal = TooLongToEdit(old.get(), firstName, lastName, telNo, address);
    if (!refusal.empty()) return refusal;
    // So does a one-line value holding a line break, which the form sends empty.
    const char** typed[] = {&firstName, &lastName, &telNo};
    const char* const attributes[] = {"firstname", "sn", "telephoneNumber"};
    bool kept = false;
    for (std::size_t i = 0; i < 3; ++i)
        if ((*typed[i])[0] == '\0' && HasLineBreak(GetAttrValue(old.get(), attributes[i])))
            *typed[i] = GetAttrValue(old.get(), attributes[i]), kept = true;
    // A name kept so, with a name typed, may make too long a common name.
    if (kept && (strcmp(firstName, GetAttrValue(old.get(), "firstname")) != 0 ||
                 strcmp(lastName, GetAttrValue(old.get(), "sn")) != 0)) {
        const char* tooLong = UserFieldOverflow(firstName, lastName, telNo, address);
        if (tooLong != nullptr) return tooLong;
    }
    if (strcasecmp(newMail->c_str(), mailNdx) != 0) {
        *success = "Successfully Updated User";
        return RenameUser(client, old.get(), newMail->c_str(), firstName, lastName, telNo, address);
    }
    const char* done = nullptr;
    const char* error = ModifyUser(client, old.get(), firstName, lastName, telNo, address, &done);
    if (error != nullptr) return error;
    *success = done;
    return "";
}

}  // namespace

int UpdateUser(const char* mailNdx, const char* firstName, const char* lastName, const char* telNo,
               const char* address, const char* mail) {
    // Only the whole form changes a user: an absent field would erase values.
    for (const char* field : {mailNdx, firstName, lastName, telNo, address, mail}) {
        if (field == nullptr) {
            PrintInvalidRequestPage();
            return 0;
        }
    }
    std::string newMail, success;
    std::string refusal = ApplyUpdate(mailNdx, firstName, lastName, telNo, address, mail, &newMail, &success);
    if (!refusal.empty()) {
        PrintErrorPage("Update User", "%s", refusal.c_str());
        return 0;
    }
    return FindUser(newMail.c_str(), success.c_str());
}
