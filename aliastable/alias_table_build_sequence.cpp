// Reading and writing the alias sequence through the directory session.
// Only leading digits count; anything after them (the mark) is ignored.
#include "aliastable/alias_table_build_sequence.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/limits.h"
#include "directory/directory_changes.h"
#include "directory/owners.h"
#include "platform/ldapclient/ldapclient.h"

AliasSequence ParseAliasSequence(const char* text) {
    AliasSequence sequence = {text != nullptr, false, false, 0};
    if (text == nullptr) return sequence;
    sequence.marked = strchr(text, '!') != nullptr;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        unsigned long digit = static_cast<unsigned long>(*p - '0');
        if (sequence.number > (ULONG_MAX - digit) / 10) {
            sequence.tooLarge = true;
            sequence.number = ULONG_MAX;
            break;
        }
        sequence.number = sequence.number * 10 + digit;
    }
    return sequence;
}

AliasSequence ReadAliasSequence(ldapClient& client) {
    int status = -1;
    OwnedText stored(client.ldapGetProfileString(ALIAS_SEQUENCE_SECTION, ALIAS_SEQUENCE_KEY, &status));
    AliasSequence sequence = ParseAliasSequence(stored.get());
    sequence.unread = status != 0;
    return sequence;
}

int WriteAliasSequence(ldapClient& client, unsigned long number, bool marked) {
    char text[kAliasSequenceSize];
    snprintf(text, sizeof text, marked ? "%lu!" : "%lu", number);
    return DirectoryWriteProfileString(client, ALIAS_SEQUENCE_SECTION, ALIAS_SEQUENCE_KEY, text);
}
