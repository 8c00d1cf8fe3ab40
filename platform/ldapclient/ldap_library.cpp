// Forwarders of the libldap and liblber calls the program makes: each finds
// its function in the library (dlopen of LDAPCGI_LIBLDAP_SONAME, the soname
// the build found, with dlsym) on its first call. Sets SASL_PATH (when unset)
// to the program's folder before the load. Only ldap_initialize can
// open a session, so a failed load ends there: it answers
// LDAP_NOT_SUPPORTED, and the other calls, which need a session or
// something a session made, answer as for an invalid argument.
#include "platform/ldapclient/ldap_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/ldapclient/ldapclient_internal.h"
#include "platform/ldapclient/ldapclient_limits.h"

#ifndef LDAPCGI_LIBLDAP_SONAME
#error "LDAPCGI_LIBLDAP_SONAME names the libldap to load (set by the build)"
#endif

namespace {

// The client binds with simple binds only, so libldap's start of Cyrus SASL
// need not load SASL's mechanism plugins (a third of the cost of a short
// page): unless SASL_PATH is set, it names the program's own folder, which
// holds no plugin. (A folder that does not exist would cost a syslog line
// per request.)
void KeepSaslPluginsOut() {
    if (getenv("SASL_PATH") != nullptr) return;
    char path[kProgramPathSize];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path - 1) return;  // none, or cut
    path[length] = '\0';
    char* slash = strrchr(path, '/');
    if (slash == nullptr || slash == path) return;
    *slash = '\0';
    setenv("SASL_PATH", path, 0);
}

void* Library() {
    static void* library = [] {
        KeepSaslPluginsOut();
        void* handle = dlopen(LDAPCGI_LIBLDAP_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            LogClientError("LDAP client library %s could not be loaded: %s", LDAPCGI_LIBLDAP_SONAME,
                           reason != nullptr ? reason : "unknown reason");
        }
        return handle;
    }();
    return library;
}

void* Symbol(const char* name) {
    void* library = Library();
    return library != nullptr ? dlsym(library, name) : nullptr;
}

// The result type of a function type.
template <typename Function>
struct ResultOf;
template <typename Result, typename... Arguments>
struct ResultOf<Result(Arguments...)> {
    using type = Result;
};

char kNotLoaded[] = "Unknown error (the LDAP client library is not loaded)";

}  // namespace

bool LoadLdapLibrary() { return Library() != nullptr; }

Sockbuf_IO* LdapReadaheadIo() { return static_cast<Sockbuf_IO*>(Symbol("ber_sockbuf_io_readahead")); }

// One forwarder: the function of the same name and type in the library, or
// `failure` without it.
#define LDAP_FORWARD(name, failure, params, args)                               \
    ResultOf<decltype(::name)>::type name params {                              \
        static auto* real = reinterpret_cast<decltype(&::name)>(Symbol(#name)); \
        if (real == nullptr) return failure;                                    \
        return real args;                                                       \
    }
#define LDAP_FORWARD_VOID(name, params, args)                                   \
    void name params {                                                          \
        static auto* real = reinterpret_cast<decltype(&::name)>(Symbol(#name)); \
        if (real != nullptr) real args;                                         \
    }

extern "C" {

// What LDAP_OPT_ON points at: libldap tells a boolean option's "on" from
// LDAP_OPT_OFF (null) alone, so the program's own byte serves.
char ber_pvt_opt_on;

// Session.
LDAP_FORWARD(ldap_initialize, LDAP_NOT_SUPPORTED, (LDAP * *ld, const char* uri), (ld, uri))
LDAP_FORWARD(ldap_connect, LDAP_PARAM_ERROR, (LDAP * ld), (ld))
LDAP_FORWARD(ldap_set_option, LDAP_OPT_ERROR, (LDAP * ld, int option, const void* value), (ld, option, value))
LDAP_FORWARD(ldap_get_option, LDAP_OPT_ERROR, (LDAP * ld, int option, void* value), (ld, option, value))
LDAP_FORWARD(ldap_sasl_bind_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* dn, const char* mechanism, struct berval* credentials,
              LDAPControl** serverControls, LDAPControl** clientControls, struct berval** serverCredentials),
             (ld, dn, mechanism, credentials, serverControls, clientControls, serverCredentials))
LDAP_FORWARD(ldap_start_tls_s, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPControl** serverControls, LDAPControl** clientControls),
             (ld, serverControls, clientControls))
LDAP_FORWARD(ldap_unbind_ext_s, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPControl** serverControls, LDAPControl** clientControls),
             (ld, serverControls, clientControls))
LDAP_FORWARD(ldap_err2string, kNotLoaded, (int code), (code))

// Searches and their results.
LDAP_FORWARD(ldap_search, -1,
             (LDAP * ld, const char* base, int scope, const char* filter, char** attributes, int attrsOnly),
             (ld, base, scope, filter, attributes, attrsOnly))
LDAP_FORWARD(ldap_search_ext, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* base, int scope, const char* filter, char** attributes, int attrsOnly,
              LDAPControl** serverControls, LDAPControl** clientControls, struct timeval* timeout,
              int sizeLimit, int* messageId),
             (ld, base, scope, filter, attributes, attrsOnly, serverControls, clientControls, timeout,
              sizeLimit, messageId))
LDAP_FORWARD(ldap_search_ext_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* base, int scope, const char* filter, char** attributes, int attrsOnly,
              LDAPControl** serverControls, LDAPControl** clientControls, struct timeval* timeout,
              int sizeLimit, LDAPMessage** result),
             (ld, base, scope, filter, attributes, attrsOnly, serverControls, clientControls, timeout,
              sizeLimit, result))
LDAP_FORWARD(ldap_result, -1,
             (LDAP * ld, int messageId, int all, struct timeval* timeout, LDAPMessage** result),
             (ld, messageId, all, timeout, result))
LDAP_FORWARD(ldap_parse_result, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPMessage* result, int* code, char** matched, char** message, char*** referrals,
              LDAPControl*** serverControls, int freeIt),
             (ld, result, code, matched, message, referrals, serverControls, freeIt))
LDAP_FORWARD(ldap_abandon_ext, LDAP_PARAM_ERROR,
             (LDAP * ld, int messageId, LDAPControl** serverControls, LDAPControl** clientControls),
             (ld, messageId, serverControls, clientControls))
LDAP_FORWARD(ldap_msgfree, -1, (LDAPMessage * message), (message))
LDAP_FORWARD(ldap_count_entries, -1, (LDAP * ld, LDAPMessage* chain), (ld, chain))
LDAP_FORWARD(ldap_first_entry, nullptr, (LDAP * ld, LDAPMessage* chain), (ld, chain))
LDAP_FORWARD(ldap_next_entry, nullptr, (LDAP * ld, LDAPMessage* entry), (ld, entry))
LDAP_FORWARD(ldap_get_dn, nullptr, (LDAP * ld, LDAPMessage* entry), (ld, entry))
LDAP_FORWARD(ldap_get_dn_ber, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPMessage* entry, BerElement** ber, struct berval* dn), (ld, entry, ber, dn))
LDAP_FORWARD(ldap_first_attribute, nullptr, (LDAP * ld, LDAPMessage* entry, BerElement** ber),
             (ld, entry, ber))
LDAP_FORWARD(ldap_next_attribute, nullptr, (LDAP * ld, LDAPMessage* entry, BerElement* ber), (ld, entry, ber))
LDAP_FORWARD(ldap_get_attribute_ber, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPMessage* entry, BerElement* ber, struct berval* name, struct berval** values),
             (ld, entry, ber, name, values))
LDAP_FORWARD(ldap_get_values, nullptr, (LDAP * ld, LDAPMessage* entry, const char* name), (ld, entry, name))
LDAP_FORWARD(ldap_get_values_len, nullptr, (LDAP * ld, LDAPMessage* entry, const char* name),
             (ld, entry, name))
LDAP_FORWARD_VOID(ldap_value_free, (char** values), (values))
LDAP_FORWARD_VOID(ldap_value_free_len, (struct berval * *values), (values))
LDAP_FORWARD_VOID(ldap_memfree, (void* pointer), (pointer))

// Server-side sorting (RFC 2891) and the virtual list view: the controls of
// one sorted page, and the answers the search result carries.
LDAP_FORWARD(ldap_create_sort_keylist, LDAP_PARAM_ERROR, (LDAPSortKey * **keys, char* text), (keys, text))
LDAP_FORWARD_VOID(ldap_free_sort_keylist, (LDAPSortKey * *keys), (keys))
LDAP_FORWARD(ldap_create_sort_control, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPSortKey** keys, int critical, LDAPControl** control),
             (ld, keys, critical, control))
LDAP_FORWARD(ldap_create_vlv_control, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPVLVInfo* window, LDAPControl** control), (ld, window, control))
LDAP_FORWARD(ldap_parse_vlvresponse_control, LDAP_PARAM_ERROR,
             (LDAP * ld, LDAPControl* control, ber_int_t* target, ber_int_t* count, struct berval** context,
              int* code),
             (ld, control, target, count, context, code))
LDAP_FORWARD(ldap_control_find, nullptr, (const char* oid, LDAPControl** controls, LDAPControl*** next),
             (oid, controls, next))
LDAP_FORWARD_VOID(ldap_control_free, (LDAPControl * control), (control))
LDAP_FORWARD_VOID(ldap_controls_free, (LDAPControl * *controls), (controls))
LDAP_FORWARD(ldap_put_vrFilter, -1, (BerElement * ber, const char* filter), (ber, filter))

// Changes.
LDAP_FORWARD(ldap_add_ext_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* dn, LDAPMod** attributes, LDAPControl** serverControls,
              LDAPControl** clientControls),
             (ld, dn, attributes, serverControls, clientControls))
LDAP_FORWARD(ldap_modify_ext_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* dn, LDAPMod** changes, LDAPControl** serverControls,
              LDAPControl** clientControls),
             (ld, dn, changes, serverControls, clientControls))
LDAP_FORWARD(ldap_delete_ext_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* dn, LDAPControl** serverControls, LDAPControl** clientControls),
             (ld, dn, serverControls, clientControls))
LDAP_FORWARD(ldap_rename_s, LDAP_PARAM_ERROR,
             (LDAP * ld, const char* dn, const char* newRdn, const char* newSuperior, int deleteOldRdn,
              LDAPControl** serverControls, LDAPControl** clientControls),
             (ld, dn, newRdn, newSuperior, deleteOldRdn, serverControls, clientControls))

// LDAP URLs.
LDAP_FORWARD(ldap_url_parse, LDAP_URL_ERR_PARAM, (const char* url, LDAPURLDesc** parsed), (url, parsed))
LDAP_FORWARD_VOID(ldap_free_urldesc, (LDAPURLDesc * parsed), (parsed))

// DNs.
LDAP_FORWARD(ldap_str2dn, LDAP_PARAM_ERROR, (const char* text, LDAPDN* dn, unsigned flags), (text, dn, flags))
LDAP_FORWARD_VOID(ldap_dnfree, (LDAPDN dn), (dn))
LDAP_FORWARD(ldap_dn_normalize, LDAP_PARAM_ERROR,
             (const char* in, unsigned inFlags, char** out, unsigned outFlags), (in, inFlags, out, outFlags))

// liblber.
LDAP_FORWARD(ber_alloc_t, nullptr, (int options), (options))
LDAP_FORWARD(ber_flatten2, -1, (BerElement * ber, struct berval* value, int allocate), (ber, value, allocate))
LDAP_FORWARD_VOID(ber_free, (BerElement * ber, int freeBuffer), (ber, freeBuffer))
LDAP_FORWARD_VOID(ber_memfree, (void* pointer), (pointer))
LDAP_FORWARD_VOID(ber_bvfree, (struct berval * value), (value))
LDAP_FORWARD(ber_get_option, LBER_OPT_ERROR, (void* item, int option, void* value), (item, option, value))
LDAP_FORWARD(ber_set_option, LBER_OPT_ERROR, (void* item, int option, const void* value),
             (item, option, value))
LDAP_FORWARD(ber_sockbuf_ctrl, -1, (Sockbuf * sb, int option, void* argument), (sb, option, argument))
LDAP_FORWARD(ber_sockbuf_add_io, -1, (Sockbuf * sb, Sockbuf_IO* io, int layer, void* argument),
             (sb, io, layer, argument))

}  // extern "C"
