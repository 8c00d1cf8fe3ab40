// Alias extraction: one asynchronous subtree search for users with mail
// values, each message taken, turned into records and freed before the next,
// so memory does not grow with the number of users. Logs the progress at
// level 6 and every failure at level 1; prints nothing.
#define LDAP_DEPRECATED 1  // the RFC 1823 calls ldap_search and ldap_get_values
#include "aliastable/alias_extract.h"

#include <strings.h>

#include <cstring>

#include "aliastable/mail_alias.h"
#include "app/limits.h"
#include "html/text_helpers.h"

namespace {

const char kUserFilter[] = "(&(mail=*)(objectclass=xoperson))";

// The address between a leading "mail=" (any case) and the first ",";
// false when the DN has none or it does not fit in `size` bytes.
bool PrimaryAddressOf(const char* dn, char* address, std::size_t size) {
    if (strncasecmp(dn, "mail=", 5) != 0) return false;
    const char* start = dn + 5;
    const char* comma = strchr(start, ',');
    if (comma == nullptr) return false;
    std::size_t length = static_cast<std::size_t>(comma - start);
    if (length >= size) return false;
    memcpy(address, start, length);
    address[length] = '\0';
    return true;
}

// Stores one alias record; false when the relation refused it with an error.
bool AddAlias(dbMailAlias& relation, const char* primary, const char* alias) {
    strNcpy(relation.szAlias, alias, sizeof relation.szAlias);
    relation.szMail.cpy(primary);
    if (strlen(alias) >= sizeof relation.szAlias) {
        LogPrintf(1, "Alias \"%s\" of %s is longer than %zu characters and is stored cut", alias, primary,
                  sizeof relation.szAlias - 1);
    }
    LogPrintf(6, "Entry %s, Alias \"%s\"", primary, relation.szAlias);
    dbError result = relation.add();
    if (result == 0 || result == 9) return true;  // 9: the alias is there already
    dbData text = dbErrStr(result);
    LogPrintf(1, "Error when writing record to the Mail Alias Table, %s", text.text());
    return false;
}

// Adds the aliases of one entry whose primary address is known.
bool AddAliasesOfEntry(LDAP* ld, LDAPMessage* entry, const char* primary, dbMailAlias& relation) {
    bool ok = true;
    BerElement* ber = nullptr;
    for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
         name = ldap_next_attribute(ld, entry, ber)) {
        if (strcasecmp(name, "mail") == 0) {
            char** values = ldap_get_values(ld, entry, name);
            for (char** value = values; value != nullptr && *value != nullptr; ++value) {
                if (strcasecmp(*value, primary) == 0) continue;  // the user's own address
                if (!AddAlias(relation, primary, *value)) ok = false;
            }
            if (values != nullptr) ldap_value_free(values);
        }
        ldap_memfree(name);
    }
    if (ber != nullptr) ber_free(ber, 0);
    return ok;
}

}  // namespace

bool AddEntryAliases(LDAP* ld, LDAPMessage* message, dbMailAlias& relation) {
    bool ok = true;
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        if (dn == nullptr) {
            LogPrintf(1, "Entry without DN in the search for Mail Aliases");
            return false;
        }
        // Entries that are no user ("mail=" address "," ...) have no primary
        // address and give no records.
        char primary[kPrimaryAddressSize];
        bool isUser = PrimaryAddressOf(dn, primary, sizeof primary);
        ldap_memfree(dn);
        if (isUser && !AddAliasesOfEntry(ld, entry, primary, relation)) ok = false;
    }
    return ok;
}

bool ExtractAliases(ldapClient& session, dbMailAlias& relation) {
    LDAP* ld = session.ld;
    if (ld == nullptr) {
        LogPrintf(1, "Could not search the LDAP server for Mail Aliases, no connection");
        return false;
    }
    // "RecordLimit" bounds the listing pages; the table needs every user.
    int unlimited = 0;
    ldap_set_option(ld, LDAP_OPT_SIZELIMIT, &unlimited);

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
