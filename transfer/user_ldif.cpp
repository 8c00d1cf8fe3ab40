// LDIF value lines: the safe-string test, base64 and folding.
#include "transfer/user_ldif.h"

#include <cstring>

namespace {

bool IsSafeString(const unsigned char* value, std::size_t length) {
    if (length == 0) return true;
    if (value[0] == ' ' || value[0] == ':' || value[0] == '<' || value[length - 1] == ' ') return false;
    // Control bytes too: ldapadd drops a tab that begins a plain value.
    for (std::size_t i = 0; i < length; ++i)
        if (value[i] < 0x20 || value[i] > 126) return false;
    return true;
}

std::string Base64(const unsigned char* data, std::size_t length) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (std::size_t i = 0; i < length; i += 3) {
        unsigned long bits = static_cast<unsigned long>(data[i]) << 16;
        if (i + 1 < length) bits |= static_cast<unsigned long>(data[i + 1]) << 8;
        if (i + 2 < length) bits |= data[i + 2];
        out.push_back(kDigits[(bits >> 18) & 63]);
        out.push_back(kDigits[(bits >> 12) & 63]);
        out.push_back(i + 1 < length ? kDigits[(bits >> 6) & 63] : '=');
        out.push_back(i + 2 < length ? kDigits[bits & 63] : '=');
    }
    return out;
}

}  // namespace

void AppendLdifLine(std::string* out, const char* name, const char* value, std::size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(value);
    const bool safe = IsSafeString(bytes, length);
    const std::size_t nameLength = strlen(name);
    if (safe && nameLength + 2 + length <= kLdifLineWidth) {  // the common case: one line as it is
        out->append(name, nameLength).append(": ", 2).append(value, length).push_back('\n');
        return;
    }
    std::string line = name;
    if (safe)
        line.append(": ").append(value, length);
    else
        line.append(":: ").append(Base64(bytes, length));
    // Folding: a line feed and one blank before each further piece.
    out->append(line, 0, kLdifLineWidth);
    for (std::size_t at = kLdifLineWidth; at < line.size(); at += kLdifLineWidth - 1)
        out->append("\n ").append(line, at, kLdifLineWidth - 1);
    out->push_back('\n');
}
