// Reading side of the mail alias table, as the preprocessor reads it: opens
// one generation (DIR/GEN.db, .id0, .str) read-only, looks aliases up, lists
// them in key order and checks the files. Never writes; every offset read
// from the files is bounds-checked, so damaged files give errors, not crashes.
#ifndef LDAPCGI_ALIASTABLE_ALIAS_READER_H
#define LDAPCGI_ALIASTABLE_ALIAS_READER_H

#include <cstddef>

#include "base/limits.h"

// An open generation: the three files mapped read-only.
struct AliasTable {
    const unsigned char* db = nullptr;
    std::size_t dbSize = 0;
    const unsigned char* index = nullptr;
    std::size_t indexSize = 0;
    const unsigned char* strings = nullptr;
    std::size_t stringsSize = 0;
    unsigned long records = 0;                // record count of the index header
    bool ignoreCase = false;                  // the key comparison, as the setting stood at the open
    bool settingUnread = false;               // the open failed: xomta.ini is there but cannot be read
    char error[kAliasReaderErrorSize] = {0};  // last failure, for messages
};

// Opens DIR/GENERATION.*; false with table->error set when the files are
// missing or do not hold an alias table. Close it in every case. Reads the
// "UseCaseSensitiveAliasLookup" setting once, for every lookup in the table:
// it must be the one the table was built with; false with settingUnread set
// when the configuration file is there but cannot be read.
bool OpenAliasTable(const char* directory, const char* generation, AliasTable* table);
void CloseAliasTable(AliasTable* table);
// Tells the system that lookups follow, at random places of the files: no
// pages read around the one a lookup touches (a fifth less CPU time a lookup
// in a table of millions). Not for ForEachAlias or the check, which read the
// files in order and want them read ahead.
void AdviseLookups(AliasTable* table);
// The checks of OpenAliasTable on files already in memory: the caller sets
// db, index, strings and their sizes, keeps the bytes while the table is used
// and releases them itself (no CloseAliasTable). `generation` names the files
// in messages.
bool CheckAliasTableHeaders(AliasTable* table, const char* generation);

enum AliasLookupResult { ALIAS_FOUND, ALIAS_NOT_FOUND, ALIAS_TABLE_DAMAGED };

// Finds `alias` with the table's comparison. On ALIAS_FOUND *mail points at the primary address inside the
// mapping, valid until CloseAliasTable.
AliasLookupResult LookupAlias(AliasTable* table, const char* alias, const char** mail);

// Calls visit(context, alias, mail) for every record in key order; stops when
// visit returns false. False with table->error set on damage.
bool ForEachAlias(AliasTable* table, bool (*visit)(void* context, const char* alias, const char* mail),
                  void* context);

// Verifies the files: headers, record count against file sizes, the index's
// order and shape, every index entry naming a record with that key, every
// record indexed once, every string reference inside NAME.str. False with
// table->error set on the first fault.
bool CheckAliasTable(AliasTable* table);

#endif
