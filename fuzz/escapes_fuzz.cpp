// Fuzz target: the escapes applied at the point of output. For any text:
// HtmlEscape gives letters, digits, "-", "." and numeric references only, one
// per UTF-8 character (or stray byte); LinkValue holds no byte that ends or
// breaks an unquoted attribute or a query value, and decodes back; the filter
// value escape holds no parenthesis, libldap unescapes it back to the text
// (the "*" wildcard aside) and parses the user list filter built from it; and
// "cn=" + EscapeDnValue(text) parses with libldap to one RDN of one value
// that is the text.
#include <cctype>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "html/text_helpers.h"
#include "pages/users/list_filter.h"
#include "pages/users/user_links.h"
#include "platform/ldapclient/ldapclient.h"

// libldap's own filter parser and value unescape (exported, declared only in
// its private header).
extern "C" int ldap_pvt_put_filter(BerElement* ber, const char* filter);
extern "C" int ldap_pvt_filter_value_unescape(char* value);

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The code point of the well-formed UTF-8 sequence at text[i] (its length in
// *length), or -1: by the definition (lead byte, continuation bytes, shortest
// form, no surrogates, at most U+10FFFF).
long Utf8At(const std::string& text, std::size_t i, std::size_t* length) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t n;
    long codePoint;
    if ((lead & 0xE0) == 0xC0) {
        n = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4;
        codePoint = lead & 0x07;
    } else {
        return -1;
    }
    if (i + n > text.size()) return -1;
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return -1;
        codePoint = codePoint << 6 | (c & 0x3F);
    }
    static const long kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kShortest[n] || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return -1;
    *length = n;
    return codePoint;
}

// Letters, digits, "-" and "." as they are; a well-formed UTF-8 character as
// one reference to its code point; any other byte as a reference to the byte.
void CheckHtmlEscape(const std::string& text) {
    const std::string escaped = HtmlEscape(text.c_str());
    for (char c : escaped)
        FUZZ_CHECK(isalnum(static_cast<unsigned char>(c)) || strchr("-.&#;", c) != nullptr);
    std::string expected;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        long codePoint = c;
        if (isalnum(c) || c == '-' || c == '.') {
            expected.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (c >= 0x80) {
            const long decoded = Utf8At(text, i, &length);
            if (decoded >= 0)
                codePoint = decoded;
            else
                length = 1;
        }
        expected += "&#" + std::to_string(codePoint) + ";";
        i += length;
    }
    FUZZ_CHECK(escaped == expected);
}

void CheckLinkValue(const std::string& text) {
    const std::string link = LinkValue(text.c_str());
    std::string decoded;
    for (std::size_t i = 0; i < link.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(link[i]);
        FUZZ_CHECK(c > ' ' && c != 0x7f && strchr("\"'<>`&?+#=", c) == nullptr);
        if (c == '%') {
            FUZZ_CHECK(i + 2 < link.size() && IsHex(link[i + 1]) && IsHex(link[i + 2]));
            decoded.push_back(static_cast<char>(HexValue(link[i + 1]) * 16 + HexValue(link[i + 2])));
            i += 2;
        } else {
            decoded.push_back(static_cast<char>(c));
        }
    }
    FUZZ_CHECK(decoded == text);
}

void CheckFilterValue(const std::string& text) {
    std::string escaped;
    AppendFilterValue(&escaped, text.c_str());
    FUZZ_CHECK(escaped.find_first_of("()") == std::string::npos);
    // libldap refuses a bare "*" in a value; the escape keeps it on purpose as
    // the wildcard, so the unescape check takes the text without it.
    std::string plain;
    for (char c : text)
        if (c != '*') plain.push_back(c);
    std::string unescaped;
    AppendFilterValue(&unescaped, plain.c_str());
    const int length = ldap_pvt_filter_value_unescape(&unescaped[0]);
    FUZZ_CHECK(length >= 0 && std::string(unescaped.c_str(), static_cast<std::size_t>(length)) == plain);

    // The whole user list filter, with the text in every condition.
    std::string filter;
    if (!BuildListFilter(text.c_str(), text.c_str(), text.c_str(), nullptr, &filter)) return;
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    FUZZ_CHECK(ber != nullptr);
    FUZZ_CHECK(ldap_pvt_put_filter(ber, filter.c_str()) == 0);
    ber_free(ber, 1);
}

void CheckDnValue(const std::string& text) {
    const std::string dn = "cn=" + EscapeDnValue(text.c_str());
    LDAPDN parsed = nullptr;
    FUZZ_CHECK(ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS);
    FUZZ_CHECK(parsed != nullptr && parsed[0] != nullptr && parsed[1] == nullptr);
    LDAPRDN rdn = parsed[0];
    FUZZ_CHECK(rdn[0] != nullptr && rdn[1] == nullptr);
    const LDAPAVA* ava = rdn[0];
    FUZZ_CHECK(ava->la_attr.bv_len == 2 && memcmp(ava->la_attr.bv_val, "cn", 2) == 0);
    FUZZ_CHECK((ava->la_flags & LDAP_AVA_BINARY) == 0);
    FUZZ_CHECK(std::string(ava->la_value.bv_val, ava->la_value.bv_len) == text);
    ldap_dnfree(parsed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text = FuzzText(data, size);
    CheckHtmlEscape(text);
    CheckLinkValue(text);
    CheckFilterValue(text);
    CheckDnValue(text);
    return 0;
}
