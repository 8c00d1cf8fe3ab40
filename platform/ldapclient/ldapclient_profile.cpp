// Directory client, profile strings: settings kept in the directory itself.
// Each lives in an entry of its own, "cn=KEY,cn=SECTION,cn=profiles" (object
// classes xoprofilesection / xoprofilestring, value in xoprofilevalue, an
// absent value meaning the empty string). These entries are neither domain
// nor xoperson entries and hold no mail, so no user, domain or alias search
// returns them. Section and key names match without regard to case.
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"

namespace {

constexpr char kProfilesDn[] = "cn=profiles";
constexpr char kValueAttribute[] = "xoprofilevalue";

std::string SectionDn(const char* section) { return "cn=" + EscapeDnValue(section) + "," + kProfilesDn; }

std::string KeyDn(const char* section, const char* key) {
    return "cn=" + EscapeDnValue(key) + "," + SectionDn(section);
}

// Adds an entry of one object class named by its cn, with a value when one
// is given. Returns the LDAP result code.
int AddNamedEntry(LDAP* ld, const std::string& dn, const char* cn, const char* objectClass,
                  const char* value) {
    char classAttribute[] = "objectClass";
    char cnAttribute[] = "cn";
    char valueAttribute[] = "xoprofilevalue";
    char* classValues[] = {const_cast<char*>(objectClass), nullptr};
    char* cnValues[] = {const_cast<char*>(cn), nullptr};
    char* valueValues[] = {const_cast<char*>(value), nullptr};
    LDAPMod classMod{LDAP_MOD_ADD, classAttribute, {classValues}};
    LDAPMod cnMod{LDAP_MOD_ADD, cnAttribute, {cnValues}};
    LDAPMod valueMod{LDAP_MOD_ADD, valueAttribute, {valueValues}};
    LDAPMod* mods[] = {&classMod, &cnMod, value && *value ? &valueMod : nullptr, nullptr};
    return ldap_add_ext_s(ld, dn.c_str(), mods, nullptr, nullptr);
}

// Sets the value of an existing entry; an empty value removes the attribute.
int ReplaceValue(LDAP* ld, const std::string& dn, const char* value) {
    char attribute[] = "xoprofilevalue";
    char* values[] = {const_cast<char*>(value), nullptr};
    LDAPMod replace{LDAP_MOD_REPLACE, attribute, {*value ? values : nullptr}};
    LDAPMod* mods[] = {&replace, nullptr};
    return ldap_modify_ext_s(ld, dn.c_str(), mods, nullptr, nullptr);
}

// The steps of a profile string write; the result code of the last one.
int WriteProfileEntry(LDAP* ld, const char* section, const char* key, const char* value) {
    std::string dn = KeyDn(section, key);
    int rc = ReplaceValue(ld, dn, value);
    if (rc != LDAP_NO_SUCH_OBJECT) return rc;

    for (const auto& [entryDn, cn] :
         {std::pair<std::string, const char*>{kProfilesDn, "profiles"}, {SectionDn(section), section}}) {
        rc = AddNamedEntry(ld, entryDn, cn, "xoprofilesection", nullptr);
        if (rc != LDAP_SUCCESS && rc != LDAP_ALREADY_EXISTS) return rc;
    }
    rc = AddNamedEntry(ld, dn, key, "xoprofilestring", value);
    // Another writer may have created it meanwhile: then replace its value.
    return rc == LDAP_ALREADY_EXISTS ? ReplaceValue(ld, dn, value) : rc;
}

}  // namespace

char* ldapClient::ldapGetProfileString(const char* section, const char* key, int* status) {
    if (status != nullptr) *status = LDAP_SERVER_DOWN;
    if (!ld || !section || !*section || !key || !*key) return nullptr;
    char attribute[] = "xoprofilevalue";
    char* attributes[] = {attribute, nullptr};
    LDAPMessage* reply = nullptr;
    int rc =
        ldap_search_ext_s(ld, KeyDn(section, key).c_str(), LDAP_SCOPE_BASE, "(objectClass=xoprofilestring)",
                          attributes, 0, nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &reply);
    if (rc != LDAP_SUCCESS && rc != LDAP_NO_SUCH_OBJECT)
        LogLdapError(ld, rc, "LDAP profile string read of %.100s/%.100s", section, key);
    if (status != nullptr) *status = rc == LDAP_NO_SUCH_OBJECT ? LDAP_SUCCESS : rc;
    char* result = nullptr;
    LDAPMessage* entry = rc == LDAP_SUCCESS ? ldap_first_entry(ld, reply) : nullptr;
    if (entry) {
        berval** values = ldap_get_values_len(ld, entry, kValueAttribute);
        std::size_t length = values && values[0] ? values[0]->bv_len : 0;
        result = static_cast<char*>(malloc(length + 1));
        if (result) {
            if (length) memcpy(result, values[0]->bv_val, length);
            result[length] = '\0';
        }
        ldap_value_free_len(values);
    }
    if (reply) ldap_msgfree(reply);
    return result;
}

// Replaces the value of an existing entry, or creates the entry and those
// above it. Returns 0 or the LDAP result code.
int ldapClient::ldapWriteProfileString(const char* section, const char* key, const char* value) {
    int rc = LDAP_PARAM_ERROR;
    if (!ld)
        rc = LDAP_SERVER_DOWN;
    else if (section && *section && key && *key && value)
        rc = WriteProfileEntry(ld, section, key, value);
    if (rc != LDAP_SUCCESS) {
        LogLdapError(ld, rc, "LDAP profile string write of %.100s/%.100s", section ? section : "(null)",
                     key ? key : "(null)");
    }
    return rc;
}
