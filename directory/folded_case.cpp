// Unicode lower-casing by glibc's C.UTF-8 tables (see folded_case.h).
#include "directory/folded_case.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cwchar>
#include <cwctype>

std::string FoldedCase(const std::string& text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::string folded;
    folded.reserve(text.size());
    const locale_t before = utf8 != nullptr ? uselocale(utf8) : nullptr;
    mbstate_t in = {};
    for (std::size_t i = 0; i < text.size();) {
        wchar_t wide = 0;
        std::size_t length = utf8 != nullptr ? mbrtowc(&wide, &text[i], text.size() - i, &in) : 0;
        char bytes[MB_LEN_MAX];
        mbstate_t out = {};
        std::size_t written = 0;
        if (length == 0 || length > text.size() - i) {  // a stray byte or a NUL: as it is
            in = mbstate_t();
            const unsigned char c = static_cast<unsigned char>(text[i]);
            folded.push_back(static_cast<char>(c < 0x80 ? towlower(c) : c));
            ++i;
            continue;
        }
        written = wcrtomb(bytes, static_cast<wchar_t>(towlower(static_cast<wint_t>(wide))), &out);
        if (written == static_cast<std::size_t>(-1))
            folded.append(text, i, length);
        else
            folded.append(bytes, written);
        i += length;
    }
    if (before != nullptr) uselocale(before);
    return folded;
}

bool SameFoldedCase(const std::string& a, const std::string& b) {
    auto ascii = [](const std::string& text) {
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (ascii(a) && ascii(b))
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [&](char x, char y) { return lower(x) == lower(y); });
    return FoldedCase(a) == FoldedCase(b);
}
