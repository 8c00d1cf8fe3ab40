// The audited change calls: the client call, then the audit line. The
// values listed are those the client sends: changes with a name and a
// value (an add sends only additions); the naming value that an add
// supplies itself shows in the DN. Lists longer than the line's room end
// with the count of the changes left out. A signal that ends the process
// (a web server's SIGTERM when the browser has gone) waits while a change
// is sent and until its audit line is written.
#include "directory/directory_changes.h"

#include <signal.h>

#include <cstdio>
#include <string>

#include "base/audit.h"
#include "base/limits.h"

namespace {

bool IsSent(const attrval* node, bool addOnly) {
    bool operation = node->op == kAttrAdd || (!addOnly && node->op == kAttrDelete);
    return operation && node->name[0] && node->value[0];
}

std::string Target(const char* operation, const char* dn) {
    std::string what = operation;
    what += ' ';
    AppendAuditQuoted(what, dn);
    return what;
}

// The values of the list as " +name=..." / " -name=...", within the room of a line.
void AppendChanges(std::string& what, const attrval* list, bool addOnly) {
    std::size_t listed = 0, left = 0;
    for (const attrval* node = list; node; node = node->next) {
        if (!IsSent(node, addOnly)) continue;
        std::string change;
        AppendAuditValue(change, node->op == kAttrDelete ? '-' : '+', node->name, node->value);
        if (left == 0 && what.size() + change.size() <= kAuditChangesSize) {
            what += change;
            ++listed;
        } else {
            ++left;
        }
    }
    if (listed == 0 && left == 0) what += " (no changes)";
    if (left > 0) what += " ...(" + std::to_string(left) + " more)";
}

std::string Result(int code) {
    char text[kTextBufferSize];
    snprintf(text, sizeof text, "%d (%s)", code, ldap_err2string(code));
    return text;
}

}  // namespace

TerminationHeld::TerminationHeld() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ending, number);
    sigprocmask(SIG_BLOCK, &ending, &before_);
}

TerminationHeld::~TerminationHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }

int DirectoryAdd(ldapClient& client, const char* dn, attrval* attrs) {
    TerminationHeld held;
    int code = client.ldapClientAdd(dn, attrs);
    std::string what = Target("add", dn);
    AppendChanges(what, attrs, true);
    LogAudit(what, Result(code));
    return code;
}

int DirectoryModify(ldapClient& client, const char* dn, attrval* changes) {
    TerminationHeld held;
    int code = client.ldapClientModify(dn, changes);
    std::string what = Target("modify", dn);
    AppendChanges(what, changes, false);
    LogAudit(what, Result(code));
    return code;
}

// The client answers 0 or -1; the handle keeps the server's result code.
int DirectoryDelete(ldapClient& client, const char* dn) {
    TerminationHeld held;
    int code = LDAP_SUCCESS;
    if (client.ldapClientDelete(dn) != 0) {
        code = dn == nullptr ? LDAP_PARAM_ERROR : LDAP_SERVER_DOWN;
        if (dn != nullptr && client.ld != nullptr) ldap_get_option(client.ld, LDAP_OPT_RESULT_CODE, &code);
    }
    LogAudit(Target("delete", dn), Result(code));
    return code;
}

int DirectoryRename(ldapClient& client, const char* dn, const char* newDn, bool deleteOldValue) {
    TerminationHeld held;
    // The new RDN ends at the first comma that no backslash escapes.
    std::string target = newDn ? newDn : "";
    std::size_t comma = 0;
    while (comma < target.size() && target[comma] != ',') comma += target[comma] == '\\' ? 2 : 1;
    std::string rdn = target.substr(0, comma);
    const char* superior = comma < target.size() ? target.c_str() + comma + 1 : nullptr;
    int code = LDAP_PARAM_ERROR;
    if (client.ld != nullptr && dn != nullptr && !rdn.empty())
        code = ldap_rename_s(client.ld, dn, rdn.c_str(), superior, deleteOldValue ? 1 : 0, nullptr, nullptr);
    if (code != LDAP_SUCCESS) LogLdapError(client.ld, code, "LDAP rename of %.300s to %.300s", dn, newDn);
    std::string what = Target("rename", dn);
    what += " to ";
    AppendAuditQuoted(what, newDn);
    LogAudit(what, Result(code));
    return code;
}

int DirectoryWriteProfileString(ldapClient& client, const char* section, const char* key, const char* value) {
    TerminationHeld held;
    int code = client.ldapWriteProfileString(section, key, value);
    std::string what = "profile-string section=";
    AppendAuditQuoted(what, section);
    what += " key=";
    AppendAuditQuoted(what, key);
    what += " value=";
    if (IsSecretName(key))
        what += "(hidden)";
    else
        AppendAuditQuoted(what, value);
    LogAudit(what, Result(code));
    return code;
}
