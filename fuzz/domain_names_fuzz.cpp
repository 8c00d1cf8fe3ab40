// Fuzz target: the DN and domain converters. For any text: DomainToDn gives a
// DN that libldap parses to one dc= RDN per non-empty label holding that
// label, and DnToDomain turns it back into the lower-case labels; a user DN
// made from an address (CreateDNFromMail) gives the address back through
// PrimaryAddressFromDn, and GetSuffix's DN holds the labels of its domain;
// and DnToDomain and PrimaryAddressFromDn take any text as a DN, the latter
// agreeing with libldap on the DNs that libldap reads.
#include <cctype>
#include <cstring>
#include <sstream>

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

void CheckDomainToDn(const std::string& text) {
    std::string work = text, lower;
    OwnedText dn(DomainToDn(&work[0]));
    FUZZ_CHECK((dn == nullptr) == (text.size() > 255));
    std::vector<std::string> values;
    if (dn == nullptr || (*dn.get() == '\0' && Labels(text).empty())) return;
    FUZZ_CHECK(DnValues(dn.get(), "dc", &values) && values == Labels(text));
    for (const std::string& label : values) lower += (lower.empty() ? "" : ".") + label;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    OwnedText domain(DnToDomain(dn.get()));
    FUZZ_CHECK(domain != nullptr && lower == domain.get());
}

void CheckMailDn(const std::string& address) {
    ldapClient client;
    const char* made = client.CreateDNFromMail(address.c_str());
    OwnedText suffix(client.GetSuffix(address.c_str()));
    FUZZ_CHECK(made != nullptr && suffix != nullptr);
    if (*suffix.get() == '\0') return;
    std::string primary;
    FUZZ_CHECK(PrimaryAddressFromDn(made, &primary) && primary == address);
    const char* at = strrchr(address.c_str(), '@');
    std::vector<std::string> labels;
    FUZZ_CHECK(at != nullptr && DnValues(suffix.get(), "dc", &labels) && labels == Labels(at + 1));
}

void CheckAnyDn(const std::string& text) {
    std::string work = text, primary;
    OwnedText domain(DnToDomain(&work[0]));
    if (domain != nullptr) FUZZ_CHECK(strlen(domain.get()) < text.size());  // unescaping never lengthens
    std::vector<std::string> values;
    if (!PrimaryAddressFromDn(text.c_str(), &primary)) return;
    FUZZ_CHECK(primary.find('\0') == std::string::npos);
    if (DnValues(text.c_str(), nullptr, &values)) FUZZ_CHECK(!values.empty() && values[0] == primary);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    CheckDomainToDn(text);
    CheckMailDn(text);
    CheckAnyDn(text);
    return 0;
}
