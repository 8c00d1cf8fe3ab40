// The directory as (DN, attribute, value) triples, read through libldap, and
// the edits that the expected-change models make on such a set.
#include <ldap.h>
#include <strings.h>

#include <cctype>
#include <cstdio>

#include "tests/hostile/hostile_cases.h"

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

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

}  // namespace

bool ReadDirectory(const std::string& uri, Dump* dump) {
    dump->clear();
    LDAP* ld = nullptr;
    LDAPMessage* reply = nullptr;
    int version = LDAP_VERSION3;
    std::string password = DirectorySandbox::RootPassword();
    berval credentials = {static_cast<ber_len_t>(password.size()), &password[0]};
    char all[] = "*";
    char* attributes[] = {all, nullptr};
    bool ok = ldap_initialize(&ld, uri.c_str()) == LDAP_SUCCESS &&
              ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_SUCCESS &&
              ldap_sasl_bind_s(ld, DirectorySandbox::RootDn(), LDAP_SASL_SIMPLE, &credentials, nullptr,
                               nullptr, nullptr) == LDAP_SUCCESS &&
              ldap_search_ext_s(ld, "", LDAP_SCOPE_SUBTREE, "(objectClass=*)", attributes, 0, nullptr,
                                nullptr, nullptr, LDAP_NO_LIMIT, &reply) == LDAP_SUCCESS;
    for (LDAPMessage* entry = ok ? ldap_first_entry(ld, reply) : nullptr; entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        std::string normal = NormalDn(dn != nullptr ? dn : "");
        ldap_memfree(dn);
        BerElement* ber = nullptr;
        for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
             name = ldap_next_attribute(ld, entry, ber)) {
            berval** values = ldap_get_values_len(ld, entry, name);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                dump->insert({normal, Lower(name), std::string(values[i]->bv_val, values[i]->bv_len)});
            ldap_value_free_len(values);
            ldap_memfree(name);
        }
        ber_free(ber, 0);
    }
    ldap_msgfree(reply);
    if (ld != nullptr) ldap_unbind_ext_s(ld, nullptr, nullptr);
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

std::string Difference(const Dump& expected, const Dump& actual) {
    std::string text;
    std::size_t lines = 0;
    for (const Dump* from : {&expected, &actual})
        for (const Triple& t : *from)
            if ((from == &expected ? actual : expected).count(t) == 0 && lines++ < 12)
                text += (from == &expected ? "- " : "+ ") + std::get<0>(t) + " | " + std::get<1>(t) + ": " +
                        std::get<2>(t).substr(0, 80) + "\n";
    return text;
}

bool SameValue(const std::string& a, const std::string& b) { return Folded(a) == Folded(b); }

std::vector<std::string> Values(const Dump& dump, const std::string& dn, const std::string& attr,
                                const std::string& prefix) {
    std::vector<std::string> values;
    for (auto it = dump.lower_bound({dn, attr, ""});
         it != dump.end() && std::get<0>(*it) == dn && std::get<1>(*it) == attr; ++it)
        if (strncasecmp(std::get<2>(*it).c_str(), prefix.c_str(), prefix.size()) == 0)
            values.push_back(std::get<2>(*it));
    return values;
}

void Erase(Dump* dump, const std::string& dn, const std::string& attr, const char* value) {
    for (auto it = dump->lower_bound({dn, attr, ""}); it != dump->end() && std::get<0>(*it) == dn;) {
        if (!attr.empty() && std::get<1>(*it) != attr) break;
        it = value == nullptr || SameValue(std::get<2>(*it), value) ? dump->erase(it) : std::next(it);
    }
}
