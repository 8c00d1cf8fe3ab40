// The words of the import's answers, shared by the page and the command
// line: the row kinds, the rule of what a row states, and the sentence that
// says what happened. Pure text work.
#ifndef LDAPCGI_TRANSFER_IMPORT_TEXT_H
#define LDAPCGI_TRANSFER_IMPORT_TEXT_H

#include <string>

#include "transfer/import_run.h"

extern const char* const kRowKindNames[kRowKinds];
extern const char kImportRules[];

// What the run did: the check's failure, the refusals that kept it from
// writing, or what `written` (the writing run, when `write`) wrote.
std::string ImportOutcome(const ImportReport& check, bool write, const ImportReport& written);

#endif
