// The holders of one import batch's addresses and connectors: the entries
// that hold them, read in a few searches (the rows' own entries kept whole,
// other holders only noted), and, where the text may miss a holder, the
// directory's own answer. Reads only.
// Limits: kImportBatchRows values a search.
#ifndef LDAPCGI_TRANSFER_IMPORT_HOLDERS_H
#define LDAPCGI_TRANSFER_IMPORT_HOLDERS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "directory/directory_session.h"
#include "directory/mail_holders.h"
#include "directory/owners.h"

struct ImportHolders {
    std::vector<SearchResult> results;
    std::unordered_map<std::string, const SearchReq*> byDn;        // normal DN, lower-cased
    std::unordered_map<std::string, std::string> addressHolder;    // lower-cased value -> DN
    std::unordered_map<std::string, std::string> connectorHolder;  // lower-cased value -> DN
    // A search found an entry by a value that is not plain and that the
    // text matched to none asked: a value not found as text may be held.
    bool unsureAddresses = false, unsureConnectors = false;
};

// The key that groups a file's values: ASCII lower case for a plain value;
// for another, blanks collapsed and glibc's case mapping (close to the
// directory's rule, not it: two values it takes apart may be refused as
// one, which costs an edit of the file).
std::string GroupKey(const std::string& value);
// Reads the holders of a batch: the entries of the rows' `addresses` whole,
// the holders of `aliases` and `connectors` noted; then settles whether the
// batch is unsure. False when a search failed.
bool ReadBatchHolders(ldapClient& client, const std::vector<std::string>& addresses,
                      const std::vector<std::string>& aliases, const std::vector<std::string>& connectors,
                      ImportHolders* holders);

// The holders of `value` in `attribute` ("mail" or "othermailbox") as the
// directory compares: the batch's holder found as text; else, when the text
// may miss one (the value is not plain, or the batch is unsure), the
// directory's own answer, by one search.
MailHolders HoldersOf(ldapClient& client, const ImportHolders& holders, const char* attribute,
                      const std::string& value);

#endif
