// Streaming searches: ldap_search_ext, then ldap_result one message at a
// time with the client's time limit, each entry read from the message's BER
// and freed before the next message; the connection reads ahead only for a
// session that asked for it (ReadEntriesAhead). Search references are
// skipped with a log line (the client follows none).
#include "directory/entry_stream.h"

#include <strings.h>

#include <cstring>
#include <vector>

#include "base/log.h"
#include "platform/ldapclient/ldap_library.h"

namespace {

// The result code that ended a wait without an answer (-1 from ldap_result).
int HandleError(LDAP* ld) {
    int code = LDAP_OTHER;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
    return code == LDAP_SUCCESS ? LDAP_OTHER : code;
}

enum class Visited { kAll, kDamaged, kStopped };

// Visits the entries of one search-entry message; kDamaged when an entry's DN
// cannot be read, kStopped when the visit asked to stop.
Visited VisitEntries(LDAP* ld, LDAPMessage* message, const StoppingEntryCallback& visit) {
    for (LDAPMessage* entry = ldap_first_entry(ld, message); entry != nullptr;
         entry = ldap_next_entry(ld, entry)) {
        BerElement* ber = nullptr;
        berval dn{};
        if (ldap_get_dn_ber(ld, entry, &ber, &dn) != LDAP_SUCCESS || dn.bv_val == nullptr) {
            if (ber != nullptr) ber_free(ber, 0);
            return Visited::kDamaged;
        }
        StreamedEntry streamed(ld, entry, ber, dn);
        if (!visit(streamed)) return Visited::kStopped;
    }
    return Visited::kAll;
}

}  // namespace

StreamedEntry::StreamedEntry(LDAP* ld, LDAPMessage* entry, BerElement* ber, const berval& dn)
    : ld_(ld), entry_(entry), ber_(ber), dn_(dn) {}

StreamedEntry::~StreamedEntry() {
    if (values_ != nullptr) ber_memfree(values_);
    ber_free(ber_, 0);
}

bool StreamedEntry::NextAttribute(berval* name, berval** values) {
    if (values_ != nullptr) ber_memfree(values_);
    values_ = nullptr;
    *name = berval{};
    *values = nullptr;
    if (ldap_get_attribute_ber(ld_, entry_, ber_, name, &values_) != LDAP_SUCCESS || name->bv_val == nullptr)
        return false;
    *values = values_;
    return true;
}

void ReadEntriesAhead(ldapClient& session) {
    Sockbuf* sb = nullptr;
    if (session.ld == nullptr || ldap_get_option(session.ld, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS ||
        sb == nullptr)
        return;
    Sockbuf_IO* readahead = LdapReadaheadIo();
    if (readahead == nullptr || ber_sockbuf_ctrl(sb, LBER_SB_OPT_HAS_IO, readahead)) return;
    ber_sockbuf_add_io(sb, readahead, LBER_SBIOD_LEVEL_PROVIDER, nullptr);
}

bool BervalIs(const berval& bytes, const char* text) {
    return bytes.bv_len == strlen(text) && strncasecmp(bytes.bv_val, text, bytes.bv_len) == 0;
}

bool IsConnectionFailure(int code) { return code == LDAP_TIMEOUT || code == LDAP_SERVER_DOWN; }

int ForEachEntry(ldapClient& session, const char* base, int scope, const char* filter,
                 const char* const* attributes, const char* purpose, const EntryCallback& visit) {
    return ForEachEntryUntil(session, base, scope, filter, attributes, purpose,
                             [&visit](StreamedEntry& entry) {
                                 visit(entry);
                                 return true;
                             });
}

int ForEachEntryUntil(ldapClient& session, const char* base, int scope, const char* filter,
                      const char* const* attributes, const char* purpose,
                      const StoppingEntryCallback& visit) {
    return ForEachEntryWithControls(session, base, scope, filter, attributes, purpose, nullptr, -1, nullptr,
                                    visit);
}

int ForEachEntryWithControls(ldapClient& session, const char* base, int scope, const char* filter,
                             const char* const* attributes, const char* purpose, LDAPControl** controls,
                             int sizeLimit, LDAPControl*** answered, const StoppingEntryCallback& visit) {
    if (answered != nullptr) *answered = nullptr;
    LDAP* ld = session.ld;
    if (ld == nullptr) {
        if (purpose != nullptr) LogLdapError(nullptr, LDAP_SERVER_DOWN, "%s (no connection)", purpose);
        return LDAP_SERVER_DOWN;
    }
    std::vector<char*> names;  // libldap's prototype takes char**; nothing writes to them
    for (const char* const* name = attributes; name != nullptr && *name != nullptr; ++name)
        names.push_back(const_cast<char*>(*name));
    names.push_back(nullptr);
    int id = -1;
    // A size limit of -1 takes the one on the handle.
    int code =
        ldap_search_ext(ld, base, scope, filter, names.data(), 0, controls, nullptr, nullptr, sizeLimit, &id);
    if (code != LDAP_SUCCESS) {
        if (purpose != nullptr) LogLdapError(ld, code, "%s", purpose);
        return code;
    }
    for (;;) {
        timeval limit{session.Timeout(), 0};
        LDAPMessage* message = nullptr;
        int type = ldap_result(ld, id, LDAP_MSG_ONE, &limit, &message);
        if (type == LDAP_RES_SEARCH_ENTRY) {
            Visited visited = VisitEntries(ld, message, visit);
            ldap_msgfree(message);
            if (visited == Visited::kAll) continue;
            if (visited == Visited::kStopped) {
                ldap_abandon_ext(ld, id, nullptr, nullptr);
                return LDAP_USER_CANCELLED;
            }
            code = LDAP_DECODING_ERROR;
        } else if (type == LDAP_RES_SEARCH_REFERENCE) {
            if (purpose != nullptr) LogPrintf(kLogError, "%s: search reference ignored", purpose);
            ldap_msgfree(message);
            continue;
        } else if (type == LDAP_RES_SEARCH_RESULT) {
            if (ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, answered, 1) != LDAP_SUCCESS)
                code = LDAP_OTHER;
            if (code == LDAP_SUCCESS || code == LDAP_SIZELIMIT_EXCEEDED) return code;
            if (purpose != nullptr) LogLdapError(ld, code, "%s", purpose);
            return code;
        } else {
            // 0: no answer in time; -1: the connection failed; anything else does not belong here.
            if (message != nullptr) ldap_msgfree(message);
            code = type == 0 ? LDAP_TIMEOUT : type == -1 ? HandleError(ld) : LDAP_PROTOCOL_ERROR;
        }
        ldap_abandon_ext(ld, id, nullptr, nullptr);
        if (purpose != nullptr) LogLdapError(ld, code, "%s", purpose);
        return code;
    }
}

int ReadEntryValues(ldapClient& session, const char* dn, const char* attribute, LDAPControl** controls,
                    const char* purpose, std::vector<std::string>* values) {
    const char* const only[] = {attribute, nullptr};
    return ForEachEntryWithControls(
        session, dn, LDAP_SCOPE_BASE, "(objectClass=*)", only, purpose, controls, 0, nullptr,
        [&](StreamedEntry& entry) {
            berval name, *found = nullptr;
            while (entry.NextAttribute(&name, &found))
                for (const berval* v = found;
                     BervalIs(name, attribute) && v != nullptr && v->bv_val != nullptr; ++v)
                    values->emplace_back(v->bv_val, v->bv_len);
            return true;
        });
}
