// GetPrivateProfileString / GetPrivateProfileInt: a setting of an INI file of
// the mail system, or the caller's default. Never writes past `size` bytes;
// a value longer than the buffer arrives cut to size - 1 characters.
// GetPrivateProfileSection: a whole section, in file order.
#include "platform/config/profile.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "platform/config/profile_store.h"

namespace {

struct StringTarget {
    char* buffer;
    std::size_t size;
    int copied;
};

int CopyCut(char* buffer, std::size_t size, const char* text, std::size_t length) {
    if (length > size - 1) length = size - 1;
    memmove(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

void CopyValue(const std::string& value, void* context) {
    StringTarget* target = static_cast<StringTarget*>(context);
    target->copied = CopyCut(target->buffer, target->size, value.data(), value.size());
}

// Decimal in the manner of atoi (leading blanks, a sign, digits up to the
// first non-digit), held to the range of int instead of overflowing.
void ParseInt(const std::string& value, void* context) {
    const char* p = value.c_str();
    while (isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + (*p - '0');
        if (number > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) number = -number;
    if (number > INT_MAX) number = INT_MAX;
    if (number < INT_MIN) number = INT_MIN;
    *static_cast<int*>(context) = static_cast<int>(number);
}

}  // namespace

int GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            int size, const char* file) {
    if (!buffer || size <= 0) return 0;
    StringTarget target{buffer, static_cast<std::size_t>(size), 0};
    if (ProfileStoreRead(file, section, key, CopyValue, &target)) return target.copied;
    if (!defaultValue) defaultValue = "";
    return CopyCut(buffer, target.size, defaultValue, strlen(defaultValue));
}

int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
    int number = defaultValue;
    ProfileStoreRead(file, section, key, ParseInt, &number);
    return number;
}

bool ProfileFilePresent(const char* file) { return ProfileStorePresent(file); }

const char* ProfileDirectory() { return ProfileStoreDirectory(); }

bool GetPrivateProfileSection(const char* section, std::vector<std::pair<std::string, std::string>>* settings,
                              const char* file, bool* present) {
    if (present != nullptr) *present = false;
    return settings != nullptr && ProfileStoreSection(file, section, settings, present);
}
