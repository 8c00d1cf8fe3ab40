// The audit trail: one line at kLogAudit for every directory change, every
// alias table build and every refused request, saying who asked (the web
// server's REMOTE_USER and REMOTE_ADDR), with which command, what was asked
// and how it ended. The dispatcher records the command; the directory's
// change calls and the build write the lines. Texts from requests and the
// directory are quoted, escaped and bounded here, so no line break and no
// unbounded text reaches the log; a password's value never does.
#ifndef LDAPCGI_BASE_AUDIT_H
#define LDAPCGI_BASE_AUDIT_H

#include <cstddef>
#include <string>

// Records the command that the request runs (the command table's name),
// for the lines of the rest of the process. Unset, lines say "-".
void SetAuditCommand(const char* command);

// Appends `text` to `line` in double quotes: printable ASCII as it is but
// for `"` and `\` (written `\"`, `\\`), every other byte as `\xHH`. Of a text
// longer than kAuditTextShown bytes the first kAuditTextShown are shown,
// then `..."` and its length, as `"abc..."(700 bytes)`. Null is `-`.
void AppendAuditQuoted(std::string& line, const char* text);

// Appends ` <sign><name>="<value>"` for a value added ('+') or removed
// ('-'); the value of a password attribute (a name holding "password",
// "passwd", "pwd" or "secret", any letter case) shows as `(hidden)`.
void AppendAuditValue(std::string& line, char sign, const char* name, const char* value);

// Whether `name` names a password or other secret.
bool IsSecretName(const char* name);

// Logs `audit: user=<who> address=<where> command=<command> <what> result=<result>`
// at kLogAudit. `what` and `result` are made by the callers from quoted
// texts and fixed words; a line longer than kAuditLineSize is cut there
// with "..." (the callers keep within it).
void LogAudit(const std::string& what, const std::string& result);

#endif
