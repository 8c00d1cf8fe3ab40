// The length screen of typed user values and the creation of a user entry
// (attribute list, missing domain entries, add). Writes to the directory
// only through the client it is given.
#include "pages/users/user_entry.h"

#include <cstring>

#include "base/limits.h"
#include "directory/attribute_list.h"
#include "directory/directory_changes.h"
#include "directory/domain_names.h"
#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_limits.h"

namespace {

constexpr std::size_t kMaxValueLength = kAttrValueSize - 1;

std::size_t Length(const char* text) { return text == nullptr ? 0 : strlen(text); }
const char* Text(const char* text) { return text == nullptr ? "" : text; }

}  // namespace

std::string CommonName(const char* firstName, const char* lastName) {
    if (firstName != nullptr && firstName[0] != '\0') {
        return std::string(firstName) + " " + Text(lastName);
    }
    return Text(lastName);
}

const char* UserFieldOverflow(const char* firstName, const char* lastName, const char* telNo,
                              const char* address) {
    if (Length(address) > kMaxFormAddressLength) return "Error: address field overflow";
    if (Length(firstName) > kMaxValueLength || Length(lastName) > kMaxValueLength ||
        Length(telNo) > kMaxValueLength || CommonName(firstName, lastName).size() > kMaxValueLength) {
        return "Error: name or telephone field overflow";
    }
    return nullptr;
}

int CreateUserEntry(ldapClient& client, const char* firstName, const char* lastName, const char* telNo,
                    const char* address, const char* mail) {
    AttrList list;
    AddAttrValue(&list.head, kAttrAdd, "objectClass", "%s", "xoperson");
    if (firstName != nullptr && firstName[0] != '\0') {
        AddAttrValue(&list.head, kAttrAdd, "cn", "%s", CommonName(firstName, lastName).c_str());
        AddAttrValue(&list.head, kAttrAdd, "firstname", "%s", firstName);
    } else {
        AddAttrValue(&list.head, kAttrAdd, "firstname", "%s", "");
        AddAttrValue(&list.head, kAttrAdd, "cn", "%s", Text(lastName));
    }
    if (address != nullptr) AddAttrValue(&list.head, kAttrAdd, "streetaddress", "%s", address);
    if (telNo != nullptr) AddAttrValue(&list.head, kAttrAdd, "telephoneNumber", "%s", telNo);
    AddAttrValue(&list.head, kAttrAdd, "sn", "%s", Text(lastName));
    AddAttrEnd(&list.head);

    if (!CreateMailDomainTree(client, mail)) return kDomainTreeFailed;
    return DirectoryAdd(client, client.CreateDNFromMail(mail), list.head);
}
