// Directory client, change part: add and modify requests built from attrval
// lists. Directory strings cannot be empty, so empty values are left out of
// both (an entry without a first name simply has none). Skip nodes
// (kAttrSkip) and the terminator (empty name) are no changes. An added entry
// always holds the values of its own RDN, which the server requires. Every
// failure leaves its error line.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ldapclient/ldapclient.h"
#include "platform/ldapclient/ldapclient_internal.h"

namespace {

bool IsChange(const attrval* node) {
    return (node->op == kAttrAdd || node->op == kAttrDelete) && node->name[0] && node->value[0];
}

// One attribute of an add request with the values gathered for it.
struct AddGroup {
    std::string name;
    std::vector<berval> values;
};

void AddValue(std::vector<AddGroup>& groups, const std::string& name, char* value, std::size_t length) {
    for (auto& group : groups) {
        if (strcasecmp(group.name.c_str(), name.c_str()) == 0) {
            for (const berval& existing : group.values)
                if (existing.bv_len == length && strncasecmp(existing.bv_val, value, length) == 0) return;
            group.values.push_back({static_cast<ber_len_t>(length), value});
            return;
        }
    }
    groups.push_back({name, {{static_cast<ber_len_t>(length), value}}});
}

// Runs a request of prepared groups; the berval arrays and LDAPMod records
// live in vectors for the duration of the call.
int SendAdd(LDAP* ld, const char* dn, std::vector<AddGroup>& groups) {
    std::vector<std::vector<berval*>> valueLists(groups.size());
    std::vector<LDAPMod> mods(groups.size());
    std::vector<LDAPMod*> modPointers;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        for (berval& value : groups[i].values) valueLists[i].push_back(&value);
        valueLists[i].push_back(nullptr);
        mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
        mods[i].mod_type = const_cast<char*>(groups[i].name.c_str());
        mods[i].mod_bvalues = valueLists[i].data();
        modPointers.push_back(&mods[i]);
    }
    modPointers.push_back(nullptr);
    return ldap_add_ext_s(ld, dn, modPointers.data(), nullptr, nullptr);
}

}  // namespace

int ldapClient::ldapClientAdd(const char* dn, attrval* attrs) {
    if (!ld) return LDAP_SERVER_DOWN;
    if (!dn) return LDAP_PARAM_ERROR;
    std::vector<AddGroup> groups;
    for (attrval* node = attrs; node; node = node->next)
        if (IsChange(node) && node->op == kAttrAdd)
            AddValue(groups, node->name, node->value, strlen(node->value));

    // The naming values of the entry's first RDN.
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        LogLdapError(nullptr, LDAP_INVALID_DN_SYNTAX, "LDAP add of %.300s", dn);
        return LDAP_INVALID_DN_SYNTAX;
    }
    if (parsed && parsed[0]) {
        for (LDAPAVA** ava = parsed[0]; *ava; ++ava) {
            if ((*ava)->la_flags & LDAP_AVA_BINARY) continue;
            std::string name((*ava)->la_attr.bv_val, (*ava)->la_attr.bv_len);
            AddValue(groups, name, (*ava)->la_value.bv_val, (*ava)->la_value.bv_len);
        }
    }
    int rc = SendAdd(ld, dn, groups);
    ldap_dnfree(parsed);
    if (rc != LDAP_SUCCESS) LogLdapError(ld, rc, "LDAP add of %.300s", dn);
    return rc;
}

// Each change node becomes one modification of one value, in list order:
// kAttrDelete deletes that value, kAttrAdd adds it. A list with no changes left is
// done without asking the server.
int ldapClient::ldapClientModify(const char* dn, attrval* changes) {
    if (!ld) return LDAP_SERVER_DOWN;
    if (!dn) return LDAP_PARAM_ERROR;
    std::vector<attrval*> nodes;
    for (attrval* node = changes; node; node = node->next)
        if (IsChange(node)) nodes.push_back(node);
    if (nodes.empty()) return LDAP_SUCCESS;

    std::vector<berval> values(nodes.size());
    std::vector<berval*> valueLists(2 * nodes.size());
    std::vector<LDAPMod> mods(nodes.size());
    std::vector<LDAPMod*> modPointers;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        values[i].bv_val = nodes[i]->value;
        values[i].bv_len = strlen(nodes[i]->value);
        valueLists[2 * i] = &values[i];
        valueLists[2 * i + 1] = nullptr;
        mods[i].mod_op = (nodes[i]->op == kAttrDelete ? LDAP_MOD_DELETE : LDAP_MOD_ADD) | LDAP_MOD_BVALUES;
        mods[i].mod_type = nodes[i]->name;
        mods[i].mod_bvalues = &valueLists[2 * i];
        modPointers.push_back(&mods[i]);
    }
    modPointers.push_back(nullptr);
    int rc = ldap_modify_ext_s(ld, dn, modPointers.data(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) LogLdapError(ld, rc, "LDAP modify of %.300s", dn);
    return rc;
}
