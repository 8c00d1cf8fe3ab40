// The alias sequence: the published generation number of the alias table,
// kept in the directory as "PreProcessor" / "AliasSequence", plain ("%lu")
// or marked as in progress ("%lu!").
#ifndef LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_SEQUENCE_H
#define LDAPCGI_ALIASTABLE_ALIAS_TABLE_BUILD_SEQUENCE_H

class ldapClient;

#define ALIAS_SEQUENCE_SECTION "PreProcessor"
#define ALIAS_SEQUENCE_KEY "AliasSequence"

struct AliasSequence {
    bool stored;           // a value is stored in the directory
    bool marked;           // the stored value holds the in-progress mark "!"
    bool tooLarge;         // the leading digits exceed an unsigned long
    unsigned long number;  // leading decimal digits; 0 when missing or not a number
    bool unread = false;   // the directory did not answer the read: nothing is known
};

// Reads leading decimal digits of `text` (null or no digits: 0).
AliasSequence ParseAliasSequence(const char* text);
// Reads and parses the stored sequence through the session (unread when the
// read failed).
AliasSequence ReadAliasSequence(ldapClient& client);
// Stores `number` plain, or with the in-progress mark; 0 when stored.
int WriteAliasSequence(ldapClient& client, unsigned long number, bool marked);

#endif
