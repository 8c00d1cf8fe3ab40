// Recipient parser of the mail system: splits a recipient text into
// addresses and gives each in canonical form. This stand-in accepts
// addresses of a local part, one "@" and a domain, and gives them unchanged.
#ifndef LDAPCGI_PLATFORM_RECIP_RECIP_H
#define LDAPCGI_PLATFORM_RECIP_RECIP_H

// One parsed recipient; the first field is its canonical address.
struct RecipRecord {
    char* address;
    RecipRecord* next;
};

// Parses `text`: recipients are separated by "," or ";" (blanks around them
// and empty pieces ignored). Returns the number of recipients and sets
// *records to their records in order; returns 0 with *records null when any
// piece is not an address. `flags` is accepted for callers' compatibility
// and changes nothing here. Release with Clear_RT whatever the count.
int RecipParse(const char* text, RecipRecord** records, int flags);
void Clear_RT(RecipRecord** records);

#endif
