// Fuzz target: the DN and domain converters. For any text: DomainToDn gives a
// DN that libldap parses to one dc= RDN per non-empty label holding that
// label, and DnToDomain turns it back into the lower-case labels; a user DN
// made from an address (CreateDNFromMail) gives the address back through
// PrimaryAddressFromDn when it has a domain; GetSuffix is that DN's parent;
// and DnToDomain and PrimaryAddressFromDn take any text as a DN, the latter
// agreeing with libldap on the DNs that libldap reads.
#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "directory/domain_names.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "fuzz/fuzz_support.h"
#include "platform/ldapclient/ldapclient.h"

namespace {

std::vector<std::string> Labels(const std::string& domain) {
    std::vector<std::string> labels;
    std::istringstream in(domain);
    for (std::string label; std::getline(in, label, '.');)
        if (!label.empty()) labels.push_back(label);
    return labels;
}

// The values of a parsed DN's RDNs, each checked to be a single `attribute` value.
std::vector<std::string> DnValues(const char* dn, const char* attribute) {
    std::vector<std::string> values;
    LDAPDN parsed = nullptr;
    FUZZ_CHECK(ldap_str2dn(dn, &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS);
    for (int i = 0; parsed != nullptr && parsed[i] != nullptr; ++i) {
        LDAPRDN rdn = parsed[i];
        FUZZ_CHECK(rdn[0] != nullptr && rdn[1] == nullptr);
        FUZZ_CHECK(rdn[0]->la_attr.bv_len == strlen(attribute) &&
                   memcmp(rdn[0]->la_attr.bv_val, attribute, strlen(attribute)) == 0);
        values.emplace_back(rdn[0]->la_value.bv_val, rdn[0]->la_value.bv_len);
    }
    ldap_dnfree(parsed);
    return values;
}

void CheckDomainToDn(const std::string& text) {
    std::string work = text;
    OwnedText dn(DomainToDn(&work[0]));
    if (text.size() > 255) {
        FUZZ_CHECK(dn == nullptr);
        return;
    }
    FUZZ_CHECK(dn != nullptr);
    const std::vector<std::string> labels = Labels(text);
    if (labels.empty()) {
        FUZZ_CHECK(dn.get()[0] == '\0');
    } else {
        FUZZ_CHECK(DnValues(dn.get(), "dc") == labels);
        OwnedText domain(DnToDomain(dn.get()));
        FUZZ_CHECK(domain != nullptr);
        std::string joined;
        for (const std::string& label : labels) joined += (joined.empty() ? "" : ".") + label;
        for (char& c : joined) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        FUZZ_CHECK(joined == domain.get());
    }
}

void CheckMailDn(const std::string& address) {
    ldapClient client;
    const char* made = client.CreateDNFromMail(address.c_str());
    FUZZ_CHECK(made != nullptr);
    const std::string dn = made;
    OwnedText owned(client.GetSuffix(address.c_str()));
    const char* suffix = owned.get();
    FUZZ_CHECK(suffix != nullptr);
    if (*suffix == '\0') {
        FUZZ_CHECK(dn == "mail=" + EscapeDnValue(address.c_str()));
    } else {
        FUZZ_CHECK(dn.size() > strlen(suffix) &&
                   dn.compare(dn.size() - strlen(suffix), std::string::npos, suffix) == 0);
        FUZZ_CHECK(dn[dn.size() - strlen(suffix) - 1] == ',');
        std::string primary;
        FUZZ_CHECK(PrimaryAddressFromDn(dn.c_str(), &primary));
        FUZZ_CHECK(primary == address);
        const char* at = strrchr(address.c_str(), '@');
        FUZZ_CHECK(at != nullptr && DnValues(suffix, "dc") == Labels(at + 1));
    }
}

void CheckAnyDn(const std::string& text) {
    std::string work = text;
    OwnedText domain(DnToDomain(&work[0]));
    if (domain != nullptr) FUZZ_CHECK(strlen(domain.get()) < text.size());  // unescaping never lengthens
    // A primary address agrees with libldap's reading of the DN, when it has one.
    std::string primary;
    if (!PrimaryAddressFromDn(text.c_str(), &primary)) return;
    FUZZ_CHECK(primary.find('\0') == std::string::npos);
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(text.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return;
    FUZZ_CHECK(parsed != nullptr && parsed[0] != nullptr && parsed[0][0] != nullptr);
    const LDAPAVA* first = parsed[0][0];
    FUZZ_CHECK(std::string(first->la_value.bv_val, first->la_value.bv_len) == primary);
    ldap_dnfree(parsed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    CheckDomainToDn(text);
    CheckMailDn(text);
    CheckAnyDn(text);
    return 0;
}
