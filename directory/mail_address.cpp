// Mail address screening: a character screen of our own, then the mail
// system's recipient parser for the canonical form. Logs the forbidden
// character case through LogPrintf; keeps one result buffer per process.
#include "directory/mail_address.h"

#include <cstring>

#include "base/limits.h"
#include "base/log.h"
#include "platform/recip/recip.h"

namespace {

constexpr char kForbidden[] = " \\/:*?<>|\"";
constexpr char kForbiddenMessage[] = "Username should not contain these invalid characters: \\/ :*?<>|\"";

char canonical[kTextBufferSize];

}  // namespace

char* ValidateMailAddress(const char* address) {
    if (!address || strlen(address) > kMaxMailAddressLength) return nullptr;
    if (strpbrk(address, kForbidden)) {
        LogPrintf(kLogError, "%s", kForbiddenMessage);
        return nullptr;
    }
    RecipRecord* records = nullptr;
    int count = RecipParse(address, &records, 1);
    bool copied = false;
    if (count >= 1 && records && records->address && strlen(records->address) < sizeof canonical) {
        strcpy(canonical, records->address);
        copied = true;
    }
    Clear_RT(&records);
    return count == 1 && copied ? canonical : nullptr;
}
