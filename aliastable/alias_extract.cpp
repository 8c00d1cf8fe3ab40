// Alias extraction: one streamed subtree search for users with mail values
// (ForEachEntry), each entry turned into records as it arrives, so memory
// does not grow with the number of users; DNs and values are read in place
// from the messages. Logs the progress at kLogProgress, and at kLogError
// every failure, every alias cut to the key's length, every one left out
// because a cut alias shares its key (naming both users) and every value
// holding a NUL byte (read as a C string, it would stand for another, shorter
// address, another user's maybe); prints nothing.
#include "aliastable/alias_extract.h"

#include <strings.h>

#include <cstring>
#include <map>
#include <string>

#include "aliastable/mail_alias.h"
#include "base/limits.h"
#include "base/log.h"
#include "directory/entry_stream.h"
#include "directory/primary_address.h"

namespace {

const char kUserFilter[] = "(&(mail=*)(objectclass=xoperson))";
const char kPurpose[] = "The search for Mail Aliases";

// A text from the message's BER: not terminated, and read as a C string
// would be, up to its first NUL.
struct Text {
    const char* bytes;
    std::size_t length;
};

Text TextOf(const berval& value) {
    if (value.bv_val == nullptr) return Text{"", 0};
    return Text{value.bv_val, strnlen(value.bv_val, value.bv_len)};
}

// The entry's primary address, decoded from its DN; false when the DN names
// no user or the address does not fit in `size` bytes.
bool PrimaryAddressOf(const berval& dn, char* address, std::size_t size) {
    std::string primary;
    if (!PrimaryAddressFromDn(std::string(dn.bv_val, strnlen(dn.bv_val, dn.bv_len)).c_str(), &primary) ||
        primary.size() >= size)
        return false;
    memcpy(address, primary.c_str(), primary.size() + 1);
    return true;
}

bool IsUsersOwnAddress(Text value, const char* primary, std::size_t primaryLength) {
    return value.length == primaryLength && strncasecmp(value.bytes, primary, primaryLength) == 0;
}

// The aliases stored so far whose key they fill (kMaxAliasKeyLength
// characters or more), with their owners: the only ones that a cut alias can
// share its key with. Ordered as the relation orders its keys; at most
// kMaxLongAliasesNamed of them, so that a collision beyond those is still
// logged, without the other user.
struct LongAlias {
    std::string alias;  // as the directory holds it, at most kLogLineSize bytes
    std::string owner;
    bool cut;
};
struct KeyOrder {
    bool ignoreCase;
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareAliasKeys(a.c_str(), b.c_str(), ignoreCase) < 0;
    }
};
using LongAliases = std::map<std::string, LongAlias, KeyOrder>;

std::string Shown(Text alias) {
    return std::string(alias.bytes, alias.length < kLogLineSize ? alias.length : kLogLineSize);
}

// A refused record whose key came from a cut alias, this one or the one
// holding the key: two users' aliases now resolve to one of them.
void LogKeyCollision(const LongAliases& longAliases, const char* key, const char* primary, Text alias) {
    bool cut = alias.length > kMaxAliasKeyLength;
    auto holder = longAliases.find(key);
    if (holder == longAliases.end()) {
        if (cut)
            LogPrintf(
                kLogError,
                "Alias \"%s\" of %s is not stored: its first %zu characters are the key of another alias",
                Shown(alias).c_str(), primary, kMaxAliasKeyLength);
        return;
    }
    if ((!cut && !holder->second.cut) || strcasecmp(holder->second.owner.c_str(), primary) == 0) return;
    LogPrintf(kLogError,
              "Alias \"%s\" of %s is not stored: its first %zu characters are the key of alias \"%s\" of %s",
              Shown(alias).c_str(), primary, kMaxAliasKeyLength, holder->second.alias.c_str(),
              holder->second.owner.c_str());
}

// Stores one alias record; false when the relation refused it with an error.
// An alias longer than the key is stored cut, with a line that says so; one
// whose key another alias holds already is not stored.
// *progress: whether to log the progress line; cleared when the log service
// dropped it (its level is off), so that the entry's further aliases do not
// ask again.
bool AddAlias(dbMailAlias& relation, LongAliases& longAliases, const char* primary, Text alias,
              bool* progress) {
    std::size_t kept = alias.length < sizeof relation.szAlias ? alias.length : sizeof relation.szAlias - 1;
    memcpy(relation.szAlias, alias.bytes, kept);
    memset(relation.szAlias + kept, 0, sizeof relation.szAlias - kept);
    relation.szMail.cpy(primary);
    if (*progress && LogPrintf(kLogProgress, "Entry %s, Alias \"%s\"", primary, relation.szAlias) == 0)
        *progress = false;
    dbError result = relation.add();
    if (result == DB_DUPLICATE_KEY && kept == kMaxAliasKeyLength)
        LogKeyCollision(longAliases, relation.szAlias, primary, alias);
    if (result == DB_OK && kept == kMaxAliasKeyLength) {
        if (alias.length > kept)
            LogPrintf(kLogError, "Alias \"%s\" of %s is longer than %zu characters and is stored cut",
                      Shown(alias).c_str(), primary, kMaxAliasKeyLength);
        if (longAliases.size() < kMaxLongAliasesNamed)
            longAliases.emplace(relation.szAlias, LongAlias{Shown(alias), primary, alias.length > kept});
    }
    if (result == DB_OK || result == DB_DUPLICATE_KEY) return true;  // the alias is there already
    dbData text = dbErrStr(result);
    LogPrintf(kLogError, "Error when writing record to the Mail Alias Table, %s", text.text());
    return false;
}

// Adds the aliases of one entry; false at the first record that failed (the
// rest is not tried). Entries that are no user ("mail=" address "," ...)
// have no primary address and give no records.
bool AddEntryAliases(StreamedEntry& entry, dbMailAlias& relation, LongAliases& longAliases) {
    char primary[kPrimaryAddressSize];
    if (!PrimaryAddressOf(entry.Dn(), primary, sizeof primary)) return true;
    bool progress = true;
    std::size_t primaryLength = strlen(primary);
    berval name{};
    berval* values = nullptr;
    while (entry.NextAttribute(&name, &values)) {
        if (!BervalIs(name, "mail") || values == nullptr) continue;
        for (berval* value = values; value->bv_val != nullptr; ++value) {
            Text alias = TextOf(*value);
            if (alias.length < value->bv_len) {
                LogPrintf(kLogError, "Alias \"%s\" of %s holds a NUL byte and is not stored",
                          Shown(alias).c_str(), primary);
                continue;
            }
            if (IsUsersOwnAddress(alias, primary, primaryLength)) continue;
            if (!AddAlias(relation, longAliases, primary, alias, &progress)) return false;
        }
    }
    return true;
}

const char* const kAttributes[] = {"mail", nullptr};

}  // namespace

ExtractResult ExtractAliases(ldapClient& session, dbMailAlias& relation) {
    // "RecordLimit" bounds the listing pages; the table needs every user.
    if (session.ld != nullptr) {
        int unlimited = 0;
        ldap_set_option(session.ld, LDAP_OPT_SIZELIMIT, &unlimited);
    }
    // A record that cannot be written (a full disk) ends the build: the rest
    // would fail alike, one log line each, while the search went on.
    LongAliases longAliases(KeyOrder{relation.keysIgnoreCase()});
    ReadEntriesAhead(session);
    int code = ForEachEntryUntil(
        session, "", LDAP_SCOPE_SUBTREE, kUserFilter, kAttributes, kPurpose,
        [&](StreamedEntry& entry) { return AddEntryAliases(entry, relation, longAliases); });
    if (code == LDAP_USER_CANCELLED) return ExtractResult::kWriteFailed;
    if (code == LDAP_SIZELIMIT_EXCEEDED) LogLdapError(session.ld, code, "%s", kPurpose);
    return code == LDAP_SUCCESS ? ExtractResult::kExtracted : ExtractResult::kSearchFailed;
}
