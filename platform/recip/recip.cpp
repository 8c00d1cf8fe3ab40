// Recipient parser stand-in. An address is a local part, exactly one "@" and
// a domain: the local part is printable ASCII or UTF-8 bytes other than the
// RFC 5322 specials and blanks, without leading, trailing or doubled dots;
// the domain is dot-separated non-empty labels of letters, digits, "-", "_"
// or UTF-8 bytes. The canonical form is the address unchanged.
#include "platform/recip/recip.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool LocalPartByte(unsigned char c) { return c > 0x20 && c != 0x7f && !strchr("()<>[]\\,;:\"@", c); }

bool DomainByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c >= 0x80;
}

bool IsAddress(const std::string& text) {
    std::size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == text.size()) return false;
    if (text.find('@', at + 1) != std::string::npos) return false;
    std::string local = text.substr(0, at), domain = text.substr(at + 1);
    if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string::npos) return false;
    for (unsigned char c : local)
        if (!LocalPartByte(c)) return false;
    if (domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string::npos) return false;
    for (unsigned char c : domain)
        if (c != '.' && !DomainByte(c)) return false;
    return true;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

int RecipParse(const char* text, RecipRecord** records, int /*flags*/) {
    if (!records) return 0;
    *records = nullptr;
    if (!text) return 0;
    RecipRecord** tail = records;
    int count = 0;
    const char* piece = text;
    while (true) {
        std::size_t length = strcspn(piece, ",;");
        std::string address = Trim(std::string(piece, length));
        if (!address.empty()) {
            RecipRecord* record = static_cast<RecipRecord*>(calloc(1, sizeof(RecipRecord)));
            if (!IsAddress(address) || !record || !(record->address = strdup(address.c_str()))) {
                free(record);
                Clear_RT(records);
                return 0;
            }
            *tail = record;
            tail = &record->next;
            ++count;
        }
        if (!piece[length]) break;
        piece += length + 1;
    }
    return count;
}

void Clear_RT(RecipRecord** records) {
    if (!records) return;
    RecipRecord* record = *records;
    while (record) {
        RecipRecord* next = record->next;
        free(record->address);
        free(record);
        record = next;
    }
    *records = nullptr;
}
