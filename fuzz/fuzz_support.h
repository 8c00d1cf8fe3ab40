// Shared by the fuzz targets: a property check that aborts (so libFuzzer
// keeps the input), configuration folders, scratch files, the environment and standard input set
// from the fuzz input, and the name and value pairs of the form decoders'
// round trips, with the standard types they come in, and a DN read by
// libldap. Fuzz builds only.
#ifndef LDAPCGI_FUZZ_FUZZ_SUPPORT_H
#define LDAPCGI_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct FormEntryList;

// A broken property: prints what and where, then aborts.
#define FUZZ_CHECK(condition)                                              \
    do {                                                                   \
        if (!(condition)) FuzzCheckFailed(#condition, __FILE__, __LINE__); \
    } while (0)

[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

// Names in XOMTA_CONFIG_DIR the folder of `ini`: one folder per text, made
// under $TMPDIR (or /tmp) at the first call for it, holding xomta.ini with
// that text unless it is "". scripts/fuzz sets TMPDIR to a folder it
// removes afterwards.
const std::string& FuzzConfigFolder(const std::string& ini);
// Replaces `path` with `text`, written whole.
void FuzzWriteFile(const std::string& path, const std::string& text);
// setenv without its growth: glibc keeps every value setenv ever made, so a
// target calling it per input would grow and set off libFuzzer's leak
// checks. The previous value of the variable is released.
void FuzzSetEnv(const char* name, const std::string& value);
// Makes `bytes` the whole of standard input until the next call.
void FuzzFeedStdin(const std::string& bytes);
// The input up to its first NUL byte, as a text.
std::string FuzzText(const uint8_t* data, std::size_t size);

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The text split at byte 1 into name, value, name, ...; a last name without
// a value gets "".
Pairs PairsOf(const std::string& text);
// The text without the bytes of `dropped`.
std::string Without(const std::string& text, const char* dropped);
// The list's entries in order (none may lack its name or value); the list is
// emptied.
Pairs TakeEntries(FormEntryList& list);
// The values of a DN's RDNs as libldap reads it; with `attribute`, each RDN
// must be one text value of that attribute. False when libldap refuses the DN.
bool DnValues(const char* dn, const char* attribute, std::vector<std::string>* values);

#endif
