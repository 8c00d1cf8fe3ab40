// Fuzz target: the escapes applied at the point of output. For any text:
// HtmlEscape gives letters, digits, "-", "." and numeric references only, one
// per character that glibc reads as UTF-8 (or stray byte), and IsUtf8 agrees
// on whether there was a stray byte; TerminalText keeps just the characters
// that are no controls; LinkValue holds no byte that ends or breaks an
// unquoted attribute or a query value, and the request decoder reads it back;
// the filter value escape holds no parenthesis, libldap unescapes it back to
// the text (the "*" wildcard aside) and parses the user list filter built
// from it; and "cn=" + EscapeDnValue(text) parses with libldap to one RDN of
// one value that is the text.
#include <cctype>
#include <clocale>
#include <cstring>
#include <cwchar>

#include "cgi/form_entries.h"
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

std::string Hex(char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    const unsigned char c = static_cast<unsigned char>(byte);
    return {kDigits[c >> 4], kDigits[c & 15]};
}

// Letters, digits, "-" and "." as they are; a character that glibc's UTF-8
// decoder reads (up to U+10FFFF) as one reference to its code point; any
// other byte as a reference to the byte. For a terminal: a control
// character (C0, DEL, C1) or stray byte as "\xHH" a byte, the rest as it is.
void CheckHtmlEscape(const std::string& text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    FUZZ_CHECK(utf8 != nullptr);
    const locale_t before = uselocale(utf8);
    std::string expected, terminal;
    bool wellFormed = true;
    for (std::size_t i = 0, length; i < text.size(); i += length) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        wchar_t codePoint = c;
        mbstate_t state = {};
        length = c < 0x80 ? 1 : mbrtowc(&codePoint, &text[i], text.size() - i, &state);
        const bool stray = length > 4 || codePoint > 0x10FFFF;
        if (stray) {
            length = 1;
            codePoint = c;
            wellFormed = false;
        }
        const bool kept = isalnum(c) || c == '-' || c == '.';
        expected += kept ? std::string(1, static_cast<char>(c)) : "&#" + std::to_string(codePoint) + ";";
        if (!stray && codePoint >= 0x20 && (codePoint < 0x7F || codePoint >= 0xA0))
            terminal.append(text, i, length);
        else
            for (std::size_t k = i; k < i + length; ++k) terminal += "\\x" + Hex(text[k]);
    }
    uselocale(before);
    FUZZ_CHECK(HtmlEscape(text.c_str()) == expected && IsUtf8(text.c_str()) == wellFormed);
    FUZZ_CHECK(TerminalText(text) == terminal);
}

void CheckLinkValue(const std::string& text) {
    const std::string link = LinkValue(text.c_str());
    for (unsigned char c : link) FUZZ_CHECK(c > ' ' && c != 0x7f && strchr("\"'<>`&?+#=", c) == nullptr);
    FormEntryList list = {nullptr};
    const int count = ParseUrlEncoded(list, ("Mail=" + link).c_str());
    FUZZ_CHECK(count == 1 && TakeEntries(list) == Pairs(1, {"Mail", text}));
}

void CheckFilterValue(const std::string& text) {
    std::string escaped;
    AppendFilterValue(&escaped, text.c_str());
    FUZZ_CHECK(escaped.find_first_of("()") == std::string::npos);
    // libldap refuses a bare "*" in a value; the escape keeps it on purpose as
    // the wildcard, so the unescape check takes the text without it.
    const std::string plain = Without(text, "*");
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
    std::vector<std::string> values;
    FUZZ_CHECK(DnValues(("cn=" + EscapeDnValue(text.c_str())).c_str(), "cn", &values) &&
               values == std::vector<std::string>{text});
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
