// A sorted window: the sort and virtual list view controls made by libldap,
// one streamed search with them, and the virtual list view's answer read
// from the search result's controls.
#include "directory/sorted_window.h"

#include <string>

#include "platform/ldapclient/ldap_library.h"

namespace {

// The two request controls, critical; false when libldap could not make them.
bool MakeControls(LDAP* ld, const char* sortKeys, const SortedWindow& window, LDAPControl** sort,
                  LDAPControl** view) {
    std::string keyText(sortKeys);  // libldap's prototype takes char*
    LDAPSortKey** keys = nullptr;
    if (ldap_create_sort_keylist(&keys, &keyText[0]) != LDAP_SUCCESS || keys == nullptr) return false;
    int code = ldap_create_sort_control(ld, keys, 1, sort);
    ldap_free_sort_keylist(keys);
    berval from{};
    if (window.offset == 0 && window.from != nullptr) {
        from.bv_val = const_cast<char*>(window.from);
        from.bv_len = std::char_traits<char>::length(window.from);
    }
    LDAPVLVInfo info{};
    info.ldvlv_version = 1;
    info.ldvlv_before_count = window.before;
    info.ldvlv_after_count = window.size - 1;
    info.ldvlv_offset = window.offset;
    info.ldvlv_count = 0;  // the offset counts from the first entry as it stands
    info.ldvlv_attrvalue = window.offset == 0 ? &from : nullptr;
    return code == LDAP_SUCCESS && ldap_create_vlv_control(ld, &info, view) == LDAP_SUCCESS;
}

}  // namespace

int ForEachSortedEntry(ldapClient& session, const char* base, int scope, const char* filter,
                       const char* const* attributes, const char* sortKeys, const SortedWindow& window,
                       SortedWindowAnswer* answer, const EntryCallback& visit) {
    *answer = SortedWindowAnswer{};
    LDAP* ld = session.ld;
    if (ld == nullptr) return LDAP_SERVER_DOWN;
    if (window.size < 1 || window.offset < 0 || window.before < 0) return LDAP_PARAM_ERROR;
    LDAPControl* sort = nullptr;
    LDAPControl* view = nullptr;
    LDAPControl** answered = nullptr;
    int code = LDAP_LOCAL_ERROR;
    if (MakeControls(ld, sortKeys, window, &sort, &view)) {
        LDAPControl* controls[] = {sort, view, nullptr};
        // At most the window: a server that sent more would be cut, not believed.
        code =
            ForEachEntryWithControls(session, base, scope, filter, attributes, nullptr, controls,
                                     window.before + window.size, &answered, [&visit](StreamedEntry& entry) {
                                         visit(entry);
                                         return true;
                                     });
    }
    if (sort != nullptr) ldap_control_free(sort);
    if (view != nullptr) ldap_control_free(view);
    if (code == LDAP_SIZELIMIT_EXCEEDED) code = LDAP_SUCCESS;
    if (code == LDAP_SUCCESS || code == LDAP_VLV_ERROR) {
        // Without the view's answer the window cannot be placed in the list.
        LDAPControl* response = ldap_control_find(LDAP_CONTROL_VLVRESPONSE, answered, nullptr);
        ber_int_t first = 0, count = 0;
        berval* context = nullptr;
        int viewCode = LDAP_SUCCESS;
        if (response == nullptr || ldap_parse_vlvresponse_control(ld, response, &first, &count, &context,
                                                                  &viewCode) != LDAP_SUCCESS) {
            code = LDAP_PROTOCOL_ERROR;
        } else {
            answer->first = first;
            answer->count = count;
            if (code == LDAP_SUCCESS && viewCode != LDAP_SUCCESS) code = LDAP_VLV_ERROR;
        }
        if (context != nullptr) ber_bvfree(context);
    }
    if (answered != nullptr) ldap_controls_free(answered);
    return code;
}
