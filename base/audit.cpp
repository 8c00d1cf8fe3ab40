// The audit line: the requester and command around the caller's text,
// quoting of texts, and the secret-name rule. Reads REMOTE_USER and
// REMOTE_ADDR from the environment at each line; writes through LogPrintf's
// log service at kLogAudit.
#include "base/audit.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/limits.h"
#include "base/log.h"

namespace {

// The recorded command; a name of the command table, bounded all the same.
char gCommand[kAuditCommandSize] = "";

// Whether `name` holds `part`, letter case ignored.
bool Holds(const char* name, const char* part) {
    std::size_t length = strlen(part);
    for (const char* at = name; *at; ++at)
        if (strncasecmp(at, part, length) == 0) return true;
    return false;
}

}  // namespace

void SetAuditCommand(const char* command) {
    snprintf(gCommand, sizeof gCommand, "%s", command ? command : "");
}

void AppendAuditQuoted(std::string& line, const char* text) {
    if (text == nullptr) {
        line += '-';
        return;
    }
    std::size_t length = strlen(text);
    std::size_t shown = length > kAuditTextShown ? kAuditTextShown : length;
    line += '"';
    for (std::size_t i = 0; i < shown; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            line += '\\';
            line += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            line += static_cast<char>(c);
        } else {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            line += escaped;
        }
    }
    if (shown < length) {
        char size[32];
        snprintf(size, sizeof size, "...\"(%zu bytes)", length);
        line += size;
    } else {
        line += '"';
    }
}

bool IsSecretName(const char* name) {
    return name &&
           (Holds(name, "password") || Holds(name, "passwd") || Holds(name, "pwd") || Holds(name, "secret"));
}

void AppendAuditValue(std::string& line, char sign, const char* name, const char* value) {
    line += ' ';
    line += sign;
    // Attribute names are letters, digits and "-" (";" for options): anything
    // else is shown quoted.
    bool plain = name && *name;
    for (const char* c = name; plain && *c; ++c)
        plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                *c == '-' || *c == ';';
    if (plain && strlen(name) <= kAuditTextShown)
        line += name;
    else
        AppendAuditQuoted(line, name);
    line += '=';
    if (IsSecretName(name))
        line += "(hidden)";
    else
        AppendAuditQuoted(line, value);
}

void LogAudit(const std::string& what, const std::string& result) {
    std::string line = "audit: user=";
    AppendAuditQuoted(line, getenv("REMOTE_USER"));
    line += " address=";
    AppendAuditQuoted(line, getenv("REMOTE_ADDR"));
    line += " command=";
    AppendAuditQuoted(line, gCommand[0] ? gCommand : nullptr);
    line += ' ';
    line += what;
    line += " result=";
    line += result;
    if (line.size() > kAuditLineSize) line.replace(kAuditLineSize - 3, std::string::npos, "...");
    LogMessage(kLogAudit, APPLICATION_NAME, line.c_str());
}
