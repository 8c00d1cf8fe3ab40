// Opening a directory session from the configuration, finding a user, and
// reading attribute values of a search result. Reads XOMTA.INI through the
// configuration reader; talks to the directory only through ldapClient.
#include "directory/directory_session.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "base/limits.h"
#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/catching_up.h"
#include "directory/entry_stream.h"
#include "directory/owners.h"
#include "platform/config/profile.h"

namespace {

constexpr char kConfigFile[] = "XOMTA.INI";
constexpr char kSection[] = "Ldap";
constexpr int kDefaultPort = 389;

// Host name of the last OpenDirectory; the channel pages hand it on.
char hostName[kTextBufferSize];
bool changingRequest = false;

// A value that fills its whole buffer may have been cut by the reader: a cut
// host name or password must not be used as if it were the setting.
bool ReadSetting(const char* key, const char* fallback, char* buffer, std::size_t size) {
    GetPrivateProfileString(kSection, key, fallback, buffer, static_cast<int>(size), kConfigFile);
    if (strlen(buffer) < size - 1) return true;
    LogPrintf(kLogError, "XOMTA.INI [%s] %s is longer than %zu characters", kSection, key, size - 2);
    return false;
}

// [Ldap] StartTLS: "yes" or "no" (any letter case), absent "no". Any other
// value is logged and taken as "yes": a mistyped setting must not send the
// password in the clear.
bool StartTlsRequired() {
    char value[kTextBufferSize];
    if (!ReadSetting("StartTLS", "no", value, sizeof value)) return true;
    if (strcasecmp(value, "no") == 0 || value[0] == '\0') return false;
    if (strcasecmp(value, "yes") != 0)
        LogPrintf(kLogError, "XOMTA.INI [%s] StartTLS is neither yes nor no; yes used", kSection);
    return true;
}

// Connects and binds to one server: LDAP_SUCCESS, or why not (-1 for a
// server that could not be reached, LDAP_TIMEOUT for one that took the
// connection and did not answer the TLS start or the bind in time).
int ConnectAndBind(ldapClient& client, const char* host, int port, const char* user, const char* password) {
    const int connected = client.ldapClientConnect(host, port);
    if (connected != 0) return connected == LDAP_TIMEOUT ? LDAP_TIMEOUT : -1;
    int rc = client.ldapClientBind(user, password);
    if (rc != LDAP_SUCCESS) client.ldapClientUnbind();
    return rc;
}

// Tries the servers of `hosts` (kHostNameSeparators) in order and keeps the
// first that answers: connected, and the bind answered by the server. A
// server that cannot be reached, that does not answer the TLS start or the
// bind in time, or that answers the bind busy or unavailable, passes on to
// the next (each failure leaves its error line); a bind that a server refuses
// otherwise ends the attempt, since the next would refuse it too, and so does
// a server that took the connection and did not answer in time when the
// request changes the directory. A replicated server that is still catching
// up on the others' changes would show old entries (and a change made on
// them could be undone): while a later server is left to try, it is passed
// over, and used only when no later one answers (the first such, of
// several). One that stalls when asked so is taken as one that did not
// answer the bind.
bool ConnectFirstThatAnswers(ldapClient& client, const char* hosts, int port, const char* user,
                             const char* password) {
    char list[kTextBufferSize];
    snprintf(list, sizeof list, "%s", hosts);
    char* rest = list;
    const char* behind = nullptr;  // the first server that answered while catching up
    bool stalled = false;          // a server took the connection and did not answer
    int tried = 0;
    for (char* host = strtok_r(list, kHostNameSeparators, &rest); host;
         host = strtok_r(nullptr, kHostNameSeparators, &rest)) {
        ++tried;
        int rc = ConnectAndBind(client, host, port, user, password);
        bool last = strspn(rest, kHostNameSeparators) == strlen(rest);
        // Every server but the last is asked, also after one was found behind:
        // a later one may be catching up too while the one after it is current.
        const ReplicaState state =
            rc == LDAP_SUCCESS && !last ? ReplicationState(client) : ReplicaState::kCurrent;
        if (rc == LDAP_SUCCESS && state == ReplicaState::kCurrent) return true;
        if (rc == LDAP_SUCCESS) client.ldapClientUnbind();
        if (state == ReplicaState::kSilent) rc = LDAP_TIMEOUT;  // as a bind left unanswered
        if (state == ReplicaState::kCatchingUp) {
            LogPrintf(kLogError, "LDAP server %s is catching up on replication; the next server is tried",
                      host);
            if (behind == nullptr) behind = host;
        } else if (rc > 0 && rc != LDAP_BUSY && rc != LDAP_UNAVAILABLE) {
            break;
        } else if (rc == LDAP_TIMEOUT && changingRequest) {
            stalled = true;
            if (!last) {
                LogPrintf(kLogError,
                          "LDAP server %s took the connection but did not answer; a change is not sent to "
                          "the next server",
                          host);
                break;
            }
        }
    }
    if (tried == 0) client.ldapClientConnect("", port);  // leaves the error line of an empty HostName
    // A change never goes to a server still catching up once another took the
    // connection and stalled: that one may hold what the first has not seen.
    if (behind != nullptr && stalled) {
        LogPrintf(kLogError,
                  "LDAP server %s is catching up and the others did not answer; the change is not made",
                  behind);
        return false;
    }
    return behind != nullptr && ConnectAndBind(client, behind, port, user, password) == LDAP_SUCCESS;
}

// The DN of the first entry of a limited scope that is one of its users
// (UserDnInScope): the narrowed search also finds entries that other tools
// placed in a domain under a foreign address, which are passed over. DNs
// only, streamed, stopped at the first user. Empty for none; false when the
// directory did not answer, or its size limit cut the search before a user.
bool FirstScopedUserDn(ldapClient& client, std::string* dn) {
    static const char* const kNoAttributes[] = {"1.1", nullptr};
    const std::string filter = ScopedFilter(RequestScope(), kEveryUserFilter);
    dn->clear();
    const int code = ForEachEntryWithControls(
        client, "", LDAP_SCOPE_SUBTREE, filter.c_str(), kNoAttributes, "The search for the first user",
        nullptr, 0, nullptr, [dn](StreamedEntry& entry) {
            const std::string found(entry.Dn().bv_val, entry.Dn().bv_len);
            if (!UserDnInScope(RequestScope(), found.c_str())) return true;
            *dn = found;
            return false;
        });
    if (code == LDAP_SUCCESS || !dn->empty()) return true;
    // Cut by the server's size limit before a user: not known to be none.
    if (code == LDAP_SIZELIMIT_EXCEEDED) LogLdapError(client.ld, code, "The search for the first user");
    return false;
}

}  // namespace

void SetChangingRequest(bool changing) { changingRequest = changing; }

char* OpenDirectory(ldapClient& client) {
    char user[kTextBufferSize];
    char password[kTextBufferSize];
    bool settingsOk = ReadSetting("HostName", "localhost", hostName, sizeof hostName);
    settingsOk = ReadSetting("UserName", "root", user, sizeof user) && settingsOk;
    settingsOk = ReadSetting("Password", "kpqz", password, sizeof password) && settingsOk;
    int port = GetPrivateProfileInt(kSection, "Port", kDefaultPort, kConfigFile);
    int timeout = GetPrivateProfileInt(kSection, "Timeout", kDefaultLdapTimeoutSeconds, kConfigFile);
    if (timeout < 1 || timeout > kMaxLdapTimeoutSeconds) {
        LogPrintf(kLogError, "XOMTA.INI [%s] Timeout %d is not between 1 and %d seconds; %d used", kSection,
                  timeout, kMaxLdapTimeoutSeconds, kDefaultLdapTimeoutSeconds);
        timeout = kDefaultLdapTimeoutSeconds;
    }
    client.SetTimeout(timeout);
    client.SetStartTls(StartTlsRequired());

    bool ok = settingsOk && ConnectFirstThatAnswers(client, hostName, port, user, password);
    explicit_bzero(password, sizeof password);
    if (!ok) {
        client.ldapClientUnbind();
        return nullptr;
    }
    int limit = GetPrivateProfileInt(kSection, "RecordLimit", 0, kConfigFile);
    if (limit < 0) limit = 0;
    ldap_set_option(client.ld, LDAP_OPT_SIZELIMIT, &limit);
    return hostName;
}

int ListPageSize() {
    int size = GetPrivateProfileInt(kSection, "PageSize", 0, kConfigFile);
    if (size >= 0 && size <= kMaxListPageSize) return size;
    int used = size < 0 ? 0 : kMaxListPageSize;
    LogPrintf(kLogError, "XOMTA.INI [%s] PageSize %d is not between 0 and %d; %d used", kSection, size,
              kMaxListPageSize, used);
    return used;
}

const char* DirectoryHostName() {
    return ReadSetting("HostName", "localhost", hostName, sizeof hostName) ? hostName : nullptr;
}

SearchReq* FindUserByMail(ldapClient& client, const char* mail, bool* failed) {
    if (failed) *failed = false;
    int status = 0;
    SearchResult result(client, nullptr);
    // Only the first entry is ever used: one entry keeps a wildcard's memory flat.
    // Only users of the login's domains are found: others are not there for it.
    const bool first = !mail || strcmp(mail, "*") == 0;
    if (first && RequestScope().everything) {
        result.reset(client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 0, kEveryUserFilter, &status, 1));
    } else if (first) {
        std::string dn;
        if (!FirstScopedUserDn(client, &dn)) {
            if (failed) *failed = true;
            return nullptr;
        }
        if (dn.empty()) return nullptr;
        result.reset(client.ldapClientSearch(dn.c_str(), LDAP_SCOPE_BASE, 0, kEveryUserFilter, &status, 1));
    } else {
        if (!AddressInScope(RequestScope(), mail)) return nullptr;
        const char* dn = client.CreateDNFromMail(mail);
        if (!dn) return nullptr;
        result.reset(
            client.ldapClientSearch(dn, LDAP_SCOPE_SUBTREE, 0, "(objectClass=xoperson)", &status, 1));
    }
    // A search that found nothing still gives its terminator; a DN the server
    // cannot read (an address that is not UTF-8, or too long) names no entry.
    if (failed) *failed = !result && status != LDAP_INVALID_DN_SYNTAX;
    // Only the terminator: no entry.
    return result && result.get()->next ? result.release() : nullptr;
}

const char* GetAttrValue(const SearchReq* result, const char* name) {
    static const char kNone[] = "";
    if (!name) return kNone;
    for (const SearchReq* entry = result; entry; entry = entry->next)
        for (const attrval* node = entry->attrs; node; node = node->next)
            if (node->name[0] && strcasecmp(node->name, name) == 0) return node->value;
    return kNone;
}

std::vector<std::string> EntryAttrValues(const SearchReq* entry, const char* name) {
    std::vector<std::string> values;
    for (const attrval* node = entry == nullptr ? nullptr : entry->attrs;
         node != nullptr && node->next != nullptr; node = node->next)
        if (strcasecmp(node->name, name) == 0) values.push_back(node->value);
    return values;
}

int EntryMatches(ldapClient& client, const char* dn, const std::string& filter) {
    int status = -1;
    SearchResult found(client, client.ldapClientSearch(dn, LDAP_SCOPE_BASE, 1, filter.c_str(), &status));
    if (!found) return -1;
    return found.get()->next != nullptr ? 1 : 0;
}

bool HasTooLongValue(const SearchReq* result, const char* name) {
    if (result == nullptr || result->next == nullptr) return false;
    for (const attrval* node = result->attrs; node != nullptr && node->next != nullptr; node = node->next)
        if (node->op == kAttrTooLong && (name == nullptr || strcasecmp(node->name, name) == 0)) return true;
    return false;
}
