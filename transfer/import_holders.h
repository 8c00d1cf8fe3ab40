// The holders of one import batch's addresses and connectors: the entries
// that hold them, read in a few searches (the rows' own entries kept whole,
// other holders only noted), and, where the text may miss a holder, the
// directory's own answer; and which of an entry's mail values are its
// naming value, the directory asked when they are not plain. Reads only.
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

// Whether a value is printable ASCII without leading, trailing or doubled
// blanks: one the directory compares as we do, letter case of ASCII only.
bool IsPlain(const std::string& value);
// The key that groups a file's values: ASCII lower case for a plain value;
// for another, blanks collapsed and glibc's case mapping (close to the
// directory's rule, not it: two values it takes apart may be refused as
// one, which costs an edit of the file).
std::string GroupKey(const std::string& value);
// The aliases among the mail `values` of the entry `dn` whose naming value
// is `primary`: the values that are not `primary` to the directory (another
// tool may store "ws@x " or "MÜLLER@x" for the naming value, which is no
// alias). When all are plain, ASCII letter case is ignored; otherwise the
// directory decides, by one base search whose values return filter (RFC
// 3876) hands back the values equal to `primary` by its own rules (the
// ligature in "ﬁ@x" is "fi@x" to it, "ẞ@x" is not "ß@x"). False when that
// search failed; *aliases then holds the values GroupKey sets apart.
bool AliasValues(ldapClient& client, const std::string& dn, const std::string& primary,
                 const std::vector<std::string>& values, std::vector<std::string>* aliases);

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
