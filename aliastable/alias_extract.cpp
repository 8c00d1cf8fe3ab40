// Alias extraction: one asynchronous subtree search for users with mail
// values, each message taken, turned into records and freed before the next,
// so memory does not grow with the number of users. Entries are read in
// place from the message's BER (no copies of DNs or values), and the
// connection reads ahead, so that a burst of small entries costs one read
// instead of two system calls each. Logs the progress at level 6 and every
// failure at level 1; prints nothing.
#define LDAP_DEPRECATED 1  // the RFC 1823 call ldap_search
#include "aliastable/alias_extract.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "aliastable/mail_alias.h"
#include "base/limits.h"
#include "base/log.h"
#include "directory/primary_address.h"

namespace {

const char kUserFilter[] = "(&(mail=*)(objectclass=xoperson))";

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

// Stores one alias record; false when the relation refused it with an error.
// *progress: whether to log the progress line; cleared when the log service
// dropped it (its level is off), so that the entry's further aliases do not
// ask again.
bool AddAlias(dbMailAlias& relation, const char* primary, Text alias, bool* progress) {
    std::size_t kept = alias.length < sizeof relation.szAlias ? alias.length : sizeof relation.szAlias - 1;
    memcpy(relation.szAlias, alias.bytes, kept);
    memset(relation.szAlias + kept, 0, sizeof relation.szAlias - kept);
    relation.szMail.cpy(primary);
    if (alias.length >= sizeof relation.szAlias) {
        LogPrintf(1, "Alias \"%.*s\" of %s is longer than %zu characters and is stored cut",
                  static_cast<int>(alias.length), alias.bytes, primary, sizeof relation.szAlias - 1);
    }
    if (*progress && LogPrintf(6, "Entry %s, Alias \"%s\"", primary, relation.szAlias) == 0)
        *progress = false;
    dbError result = relation.add();
    if (result == 0 || result == 9) return true;  // 9: the alias is there already
    dbData text = dbErrStr(result);
    LogPrintf(1, "Error when writing record to the Mail Alias Table, %s", text.text());
    return false;
}

// Adds the aliases of the entry whose attributes `ber` reads next; the
// primary address is known.
bool AddAliasesOfEntry(LDAP* ld, LDAPMessage* entry, BerElement* ber, const char* primary,
                       dbMailAlias& relation) {
    bool ok = true;
    bool progress = true;
    std::size_t primaryLength = strlen(primary);
    berval name{};
    berval* values = nullptr;
    while (ldap_get_attribute_ber(ld, entry, ber, &name, &values) == LDAP_SUCCESS && name.bv_val != nullptr) {
        if (name.bv_len == 4 && strncasecmp(name.bv_val, "mail", 4) == 0 && values != nullptr) {
            for (berval* value = values; value->bv_val != nullptr; ++value) {
                Text alias = TextOf(*value);
                if (IsUsersOwnAddress(alias, primary, primaryLength)) continue;
                if (!AddAlias(relation, primary, alias, &progress)) ok = false;
            }
        }
        if (values != nullptr) ber_memfree(values);
        values = nullptr;
    }
    return ok;
}

}  // namespace

bool AddEntryAliases(LDAP* ld, LDAPMessage* message, dbMailAlias& relation) {
    bool ok = true;
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        BerElement* ber = nullptr;
        berval dn{};
        if (ldap_get_dn_ber(ld, entry, &ber, &dn) != LDAP_SUCCESS || dn.bv_val == nullptr) {
            if (ber != nullptr) ber_free(ber, 0);
            LogPrintf(1, "Entry without DN in the search for Mail Aliases");
            return false;
        }
        // Entries that are no user ("mail=" address "," ...) have no primary
        // address and give no records.
        char primary[kPrimaryAddressSize];
        if (PrimaryAddressOf(dn, primary, sizeof primary) &&
            !AddAliasesOfEntry(ld, entry, ber, primary, relation))
            ok = false;
        ber_free(ber, 0);
    }
    return ok;
}

namespace {

// Lets the connection read whatever has arrived in one go: the entries of a
// large search come in bursts of small messages.
void ReadAhead(LDAP* ld) {
    Sockbuf* sb = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS || sb == nullptr) return;
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, &ber_sockbuf_io_readahead)) return;
    ber_sockbuf_add_io(sb, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, nullptr);
}

}  // namespace

bool ExtractAliases(ldapClient& session, dbMailAlias& relation) {
    LDAP* ld = session.ld;
    if (ld == nullptr) {
        LogPrintf(1, "Could not search the LDAP server for Mail Aliases, no connection");
        return false;
    }
    // "RecordLimit" bounds the listing pages; the table needs every user.
    int unlimited = 0;
    ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &unlimited);
    ReadAhead(ld);

    char mailAttribute[] = "mail";
    char* attributes[] = {mailAttribute, nullptr};
    int id = ldap_search(ld, "", LDAP_SCOPE_SUBTREE, kUserFilter, attributes, 0);
    if (id == -1) {
        int code = LDAP_OTHER;
        ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
        LogPrintf(1, "Could not start the search for Mail Aliases: %s", ldap_err2string(code));
        return false;
    }

    bool recordsOk = true;
    for (;;) {
        LDAPMessage* message = nullptr;
        int type = ldap_result(ld, id, LDAP_MSG_ONE, nullptr, &message);
        if (type == LDAP_RES_SEARCH_ENTRY) {
            if (!AddEntryAliases(ld, message, relation)) recordsOk = false;
            ldap_msgfree(message);
            continue;
        }
        if (type == LDAP_RES_SEARCH_REFERENCE) {
            LogPrintf(1, "Search reference ignored in the search for Mail Aliases");
            ldap_msgfree(message);
            continue;
        }
        if (type == LDAP_RES_SEARCH_RESULT) {
            int code = LDAP_OTHER;
            if (ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, nullptr, 1) !=
                LDAP_SUCCESS) {
                code = LDAP_OTHER;
            }
            if (code != LDAP_SUCCESS) {
                LogPrintf(1, "The search for Mail Aliases ended early: %s (%d)", ldap_err2string(code), code);
                return false;
            }
            break;
        }
        // -1: the connection failed; anything else does not belong here.
        int code = LDAP_OTHER;
        ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
        if (message != nullptr) ldap_msgfree(message);
        LogPrintf(1, "The search for Mail Aliases failed: %s (%d)", ldap_err2string(code), code);
        return false;
    }
    if (!recordsOk) {
        LogPrintf(1, "Not every Mail Alias could be stored in the Mail Alias Table");
        return false;
    }
    return true;
}
