// Reads [Administrators] afresh for each request through the configuration
// reader, and the one line of the login.
#include "directory/administrators.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/limits.h"
#include "base/log.h"
#include "platform/config/config_limits.h"
#include "platform/config/profile.h"

namespace {

constexpr char kSection[] = "Administrators";
constexpr char kConfigFile[] = "XOMTA.INI";

}  // namespace

Admission AdmitLogin(const char* login, AdminScope* scope) {
    *scope = AdminScope{};
    std::vector<std::pair<std::string, std::string>> settings;
    bool present = false;
    // A file there that could not be read leaves the section unknown: every
    // login is refused, never every one admitted.
    if (!GetPrivateProfileSection(kSection, &settings, kConfigFile, &present) &&
        ProfileFilePresent(kConfigFile)) {
        LogPrintf(kLogError,
                  "XOMTA.INI cannot be read, or is larger than %zu bytes, or its folder cannot be listed "
                  "and holds no XOMTA.INI, xomta.ini or Xomta.ini; every login is refused",
                  kConfigMaxFileSize);
        return Admission::kRefused;
    }
    if (!present) return Admission::kNoSection;
    if (settings.size() > kMaxAdministrators) {
        LogPrintf(kLogError, "XOMTA.INI [%s] names more than %zu logins; every login is refused", kSection,
                  kMaxAdministrators);
        return Admission::kRefused;
    }
    if (login == nullptr || login[0] == '\0') return Admission::kRefused;
    for (const auto& [key, value] : settings) {
        if (strcmp(key.c_str(), login) != 0) continue;
        std::vector<std::string> rejected;
        if (!ParseAdminDomains(value.c_str(), scope, &rejected)) {
            LogPrintf(kLogError, "XOMTA.INI [%s] gives one login more than %zu domains; it is refused",
                      kSection, kMaxAdminDomains);
            *scope = AdminScope{false, {}};
            return Admission::kRefused;
        }
        for (const std::string& item : rejected)
            LogPrintf(kLogError, "XOMTA.INI [%s]: \"%.300s\" is no mail domain; left out", kSection,
                      item.c_str());
        return Admission::kAdmitted;
    }
    return Admission::kRefused;
}
