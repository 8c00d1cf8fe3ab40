// Directory dumps through libldap and the edits of the expected-change models.
#include "tests/hostile/directory_dump.h"

#include <ldap.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Blanks trimmed and collapsed, ASCII letters lower-cased.
std::string Folded(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The number of RDNs of a DN.
int Depth(const std::string& dn) {
    LDAPDN parsed = nullptr;
    int depth = 0;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS)
        while (parsed != nullptr && parsed[depth] != nullptr) ++depth;
    ldap_dnfree(parsed);
    return depth;
}

bool HasEntry(const Dump& dump, const std::string& dn) {
    auto it = dump.lower_bound({dn, "", ""});
    return it != dump.end() && std::get<0>(*it) == dn;
}

}  // namespace

DirectoryConnection::DirectoryConnection(const std::string& uri, const std::string& bindDn,
                                         const std::string& password) {
    int version = LDAP_VERSION3;
    berval credentials = {static_cast<ber_len_t>(password.size()), const_cast<char*>(password.c_str())};
    if (ldap_initialize(&ld_, uri.c_str()) != LDAP_SUCCESS ||
        ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_SUCCESS ||
        ldap_sasl_bind_s(ld_, bindDn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr) !=
            LDAP_SUCCESS) {
        if (ld_ != nullptr) ldap_unbind_ext_s(ld_, nullptr, nullptr);
        ld_ = nullptr;
    }
}

DirectoryConnection::~DirectoryConnection() {
    if (ld_ != nullptr) ldap_unbind_ext_s(ld_, nullptr, nullptr);
}

bool DirectoryConnection::Read(Dump* dump) {
    dump->clear();
    LDAPMessage* reply = nullptr;
    char all[] = "*";
    char* attributes[] = {all, nullptr};
    bool ok =
        ld_ != nullptr && ldap_search_ext_s(ld_, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", attributes, 0,
                                            nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &reply) == LDAP_SUCCESS;
    for (LDAPMessage* entry = ok ? ldap_first_entry(ld_, reply) : nullptr; entry != nullptr;
         entry = ldap_next_entry(ld_, entry)) {
        char* dn = ldap_get_dn(ld_, entry);
        std::string normal = NormalDn(dn != nullptr ? dn : "");
        ldap_memfree(dn);
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld_, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld_, entry, ber)) {
            berval** values = ldap_get_values_len(ld_, entry, name);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                dump->insert({normal, Lower(name), std::string(values[i]->bv_val, values[i]->bv_len)});
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        ber_free(ber, 0);
    }
    ldap_msgfree(reply);
    return ok;
}

bool DirectoryConnection::Restore(const Dump& now, const Dump& target) {
    std::set<std::pair<int, std::string>> touched;  // by depth, then DN
    for (const Dump* from : {&now, &target})
        for (const Triple& t : *from)
            if ((from == &now ? target : now).count(t) == 0)
                touched.insert({Depth(std::get<0>(t)), std::get<0>(t)});
    bool ok = ld_ != nullptr;
    for (auto it = touched.rbegin(); ok && it != touched.rend(); ++it)
        if (HasEntry(now, it->second))
            ok = ldap_delete_ext_s(ld_, it->second.c_str(), nullptr, nullptr) == LDAP_SUCCESS;
    for (auto it = touched.begin(); ok && it != touched.end(); ++it) {
        // The entry's values grouped by attribute, as one add request.
        std::vector<std::pair<std::string, std::vector<berval>>> groups;
        for (auto t = target.lower_bound({it->second, "", ""});
             t != target.end() && std::get<0>(*t) == it->second; ++t) {
            if (groups.empty() || groups.back().first != std::get<1>(*t))
                groups.push_back({std::get<1>(*t), {}});
            const std::string& value = std::get<2>(*t);
            groups.back().second.push_back(
                {static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())});
        }
        if (groups.empty()) continue;
        std::vector<std::vector<berval*>> lists(groups.size());
        std::vector<LDAPMod> mods(groups.size());
        std::vector<LDAPMod*> pointers;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            for (berval& value : groups[i].second) lists[i].push_back(&value);
            lists[i].push_back(nullptr);
            mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
            mods[i].mod_type = const_cast<char*>(groups[i].first.c_str());
            mods[i].mod_bvalues = lists[i].data();
            pointers.push_back(&mods[i]);
        }
        pointers.push_back(nullptr);
        ok = ldap_add_ext_s(ld_, it->second.c_str(), pointers.data(), nullptr, nullptr) == LDAP_SUCCESS;
    }
    return ok;
}

std::string NormalDn(const std::string& dn) {
    LDAPDN parsed = nullptr;
    char* text = nullptr;
    std::string out = dn;
    if (ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS &&
        ldap_dn2str(parsed, &text, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS && text != nullptr)
        out = text;
    ldap_memfree(text);
    ldap_dnfree(parsed);
    return Lower(out);
}

std::string MailDn(const std::string& mail) {
    // Every byte as a hex pair: valid whatever the address holds; NormalDn evens out the spelling.
    auto escaped = [](const std::string& value) {
        std::string out;
        char pair[4];
        for (unsigned char c : value) snprintf(pair, sizeof pair, "\\%02x", c), out += pair;
        return out;
    };
    std::size_t at = mail.rfind('@');
    std::string dn = "mail=" + escaped(mail);
    for (std::size_t start = at == std::string::npos ? mail.size() : at + 1; start < mail.size();) {
        std::size_t dot = mail.find('.', start);
        if (dot == std::string::npos) dot = mail.size();
        if (dot > start) dn += ",dc=" + escaped(mail.substr(start, dot - start));
        start = dot + 1;
    }
    return NormalDn(dn);
}

std::string Difference(const Dump& expected, const Dump& actual, std::size_t limit) {
    std::string text;
    std::size_t lines = 0;
    auto list = [&](const Dump& from, const Dump& other, const char* mark) {
        for (const Triple& t : from) {
            if (other.count(t) != 0 || lines++ >= limit) continue;
            text += std::string(mark) + std::get<0>(t) + " | " + std::get<1>(t) + ": " +
                    std::get<2>(t).substr(0, 80) + "\n";
        }
    };
    list(expected, actual, "- ");
    list(actual, expected, "+ ");
    return text;
}

bool SameValue(const std::string& a, const std::string& b) { return Folded(a) == Folded(b); }

const std::string* FindValue(const Dump& dump, const std::string& dn, const std::string& attr,
                             const std::string& prefix) {
    for (auto it = dump.lower_bound({dn, attr, ""}); it != dump.end(); ++it) {
        if (std::get<0>(*it) != dn || std::get<1>(*it) != attr) break;
        if (strncasecmp(std::get<2>(*it).c_str(), prefix.c_str(), prefix.size()) == 0)
            return &std::get<2>(*it);
    }
    return nullptr;
}

void RemoveValue(Dump* dump, const std::string& dn, const std::string& attr, const std::string& value) {
    for (auto it = dump->lower_bound({dn, attr, ""}); it != dump->end();) {
        if (std::get<0>(*it) != dn || std::get<1>(*it) != attr) break;
        it = SameValue(std::get<2>(*it), value) ? dump->erase(it) : std::next(it);
    }
}

void AddValue(Dump* dump, const std::string& dn, const std::string& attr, const std::string& value) {
    dump->insert({dn, attr, value});
}

void RemoveAttribute(Dump* dump, const std::string& dn, const std::string& attr) {
    for (auto it = dump->lower_bound({dn, attr, ""});
         it != dump->end() && std::get<0>(*it) == dn && std::get<1>(*it) == attr;)
        it = dump->erase(it);
}

int CountValues(const Dump& dump, const std::string& dn, const std::string& attr, const std::string& prefix) {
    int count = 0;
    for (auto it = dump.lower_bound({dn, attr, ""});
         it != dump.end() && std::get<0>(*it) == dn && std::get<1>(*it) == attr; ++it)
        count += strncasecmp(std::get<2>(*it).c_str(), prefix.c_str(), prefix.size()) == 0;
    return count;
}

void RemoveEntry(Dump* dump, const std::string& dn) {
    for (auto it = dump->lower_bound({dn, "", ""}); it != dump->end() && std::get<0>(*it) == dn;)
        it = dump->erase(it);
}

Dump WithoutProfiles(const Dump& dump) {
    Dump out;
    const std::string suffix = "cn=profiles";
    for (const Triple& t : dump) {
        const std::string& dn = std::get<0>(t);
        if (dn.size() < suffix.size() || dn.compare(dn.size() - suffix.size(), suffix.size(), suffix) != 0)
            out.insert(t);
    }
    return out;
}
