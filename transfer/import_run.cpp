// RunImport: a pass over the rows for what needs no directory (address
// screen, scope, addresses and connectors named by two rows), then batches
// of rows with their holders read from the directory, each row compared
// with its entry; when writing and every row is sound, a second pass
// checks each row again and writes it at once, in file order. The holders
// are read by import_holders, the channels settled by import_settle, the
// file indexed by import_index.
#include "transfer/import_run.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "base/limits.h"
#include "base/log.h"
#include "directory/admin_scope.h"
#include "directory/directory_changes.h"
#include "directory/directory_session.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/owners.h"
#include "directory/primary_address.h"
#include "pages/connectors/connector_frame.h"
#include "pages/connectors/connector_pages.h"
#include "pages/connectors/connector_values.h"
#include "pages/users/user_changes.h"
#include "pages/users/user_entry.h"
#include "transfer/import_holders.h"
#include "transfer/import_index.h"
#include "transfer/import_settle.h"

namespace {

std::string AtLine(long line) { return "line " + std::to_string(line); }

// The first value of attribute `name`, the one the export writes; "" for none.
std::string FirstValue(const SearchReq* entry, const char* name) {
    const std::vector<std::string> values = EntryAttrValues(entry, name);
    return values.empty() ? std::string() : values[0];
}

bool Holds(const std::vector<std::string>& values, const std::string& value) {
    for (const std::string& v : values)
        if (strcasecmp(v.c_str(), value.c_str()) == 0) return true;
    return false;
}

// Values to look many up in, compared as Holds compares (strcasecmp: ASCII
// letter case ignored, up to a NUL byte), kept sorted in that form: a row's
// hundreds of aliases against as many stored ones.
struct CaselessSet {
    std::vector<std::string> keys;
};

std::string CaselessKey(const std::string& value) { return Lowered(value.c_str()); }

CaselessSet CaselessOf(const std::vector<std::string>& values) {
    CaselessSet set;
    set.keys.reserve(values.size());
    for (const std::string& value : values) set.keys.push_back(CaselessKey(value));
    std::sort(set.keys.begin(), set.keys.end());
    return set;
}

bool Holds(const CaselessSet& set, const std::string& value) {
    return std::binary_search(set.keys.begin(), set.keys.end(), CaselessKey(value));
}

// Whether one of `values` (connectors or permissions) is of the channel of
// `value`, letter case ignored.
bool OnChannel(const std::vector<std::string>& values, const std::string& value) {
    const std::size_t dollar = value.find('$');
    if (dollar == std::string::npos) return false;  // no channel's
    const std::string channel = value.substr(0, dollar + 1);
    return std::any_of(values.begin(), values.end(), [&](const std::string& v) {
        return strncasecmp(v.c_str(), channel.c_str(), channel.size()) == 0;
    });
}

// What the connector pages keep together: a new permission is of a channel
// the user has connectors of, and a new connector of a channel whose rule
// asks for a permission comes with one. The refusal, or "".
std::string ChannelsKeptTogether(const std::vector<std::string>& connectors,
                                 const std::vector<std::string>& storedConnectors,
                                 const std::vector<std::string>& permissions,
                                 const std::vector<std::string>& storedPermissions) {
    for (const std::string& value : permissions)
        if (!Holds(storedPermissions, value) && !OnChannel(connectors, value))
            return "The permission " + value + " is for a channel without connectors";
    for (const std::string& value : connectors) {
        std::string message;
        if (!Holds(storedConnectors, value) && !OnChannel(permissions, value) &&
            !CheckConnectorPermission(value.substr(0, value.find('$')).c_str(), "", &message))
            return message;
    }
    return "";
}

// A user's single-valued fields, in the order of the cells below, with
// their names on the Update User page.
struct SingleField {
    int column;
    const char* attribute;
    const char* label;
};
constexpr SingleField kSingleFields[] = {{kColFirstName, "firstname", "First Name"},
                                         {kColLastName, "sn", "Last Name"},
                                         {kColTelephone, "telephoneNumber", "Telephone Number"},
                                         {kColAddress, "streetaddress", "Address"}};
constexpr std::size_t kFirst = 0, kLast = 1, kTelephone = 2, kAddress = 3;
using SingleCells = std::string[std::size(kSingleFields)];

// The changes of an existing user's single-valued cells. A cell equal to the
// value the export writes (the first stored one) leaves its attribute alone,
// further values included, so that a file exported and imported again
// changes nothing; a changed cell replaces every value, as the Update User
// page does, and the common name follows a changed name.
void SingleValueChanges(const SearchReq* entry, const SingleCells& cells, AttrList* staged) {
    std::set<std::string> changed;
    for (std::size_t i = 0; i < std::size(kSingleFields); ++i)
        if (FirstValue(entry, kSingleFields[i].attribute) != cells[i])
            changed.insert(Lowered(kSingleFields[i].attribute));
    if (changed.count("firstname") != 0 || changed.count("sn") != 0) changed.insert("cn");
    AttrList all;
    BuildUserChanges(const_cast<SearchReq*>(entry), &all.head, cells[kFirst].c_str(), cells[kLast].c_str(),
                     cells[kTelephone].c_str(), cells[kAddress].c_str());
    for (const attrval* node = all.head; node != nullptr; node = node->next)
        if (changed.count(Lowered(node->name)) != 0)
            AddAttrValue(&staged->head, node->op, node->name, "%s", node->value);
}

// The refusal naming another holder, its DN shown when one of the login's users.
std::string HeldElsewhere(const char* what, const std::string& value, const std::string& holder) {
    std::string text = std::string("The ") + what + " " + value + " is held by another entry";
    return UserDnInScope(RequestScope(), holder.c_str()) ? text + ": " + holder : text;
}

// The stored values of a list attribute whole. Those too long for the
// client's nodes come as empty texts in *stored: the attribute is then read
// again by one streamed base search, which hands every value whole, so that
// a cell is compared with the real values and not with what the directory
// finds like it (it ignores trailing blanks). Such a value the cell does not
// hold refuses the row: the client's change lists cannot carry it, so it
// cannot be deleted from here. "" or the refusal.
std::string WholeValues(ldapClient& client, const SearchReq* entry, const char* name, const char* label,
                        const std::vector<std::string>& cell, std::vector<std::string>* stored) {
    if (std::find(stored->begin(), stored->end(), std::string()) == stored->end()) return "";
    std::vector<std::string> whole;
    if (ReadEntryValues(client, entry->dn, name, nullptr, "The search for a user's long values", &whole) !=
        LDAP_SUCCESS)
        return std::string("The ") + label + " of this user could not be checked";
    *stored = whole;
    for (const std::string& value : *stored) {
        // A NUL byte no cell holds, nor can the client's change lists carry it.
        if (value.find('\0') != std::string::npos)
            return std::string("Error: a value of the ") + label +
                   " of this user holds a NUL byte and cannot be edited here";
        if (value.size() >= kAttrValueSize && !Holds(cell, value))
            return std::string("Error: a value of the ") + label +
                   " of this user is too long to be edited; the row must list it";
    }
    return "";
}

// One row made ready: its DN, its entry (or null) and the list to send.
struct RowPlan {
    std::string mail;
    std::string dn;
    MailHolders held;  // the holders of `mail`
    const SearchReq* entry = nullptr;
    std::string refusal;
    std::vector<std::string> changed;  // attribute names, for an update
};

// Checks a new connector or permission value; its stored spelling in *value.
std::string CheckNewConnector(std::string* value) {
    std::string channel, identifier;
    if (!SplitConnector(value->c_str(), &channel, &identifier) || identifier.empty())
        return "Invalid connector " + *value;
    const std::string offered = OfferedChannel(channel.c_str());
    if (offered.empty()) return "Unknown channel in " + *value;
    *value = offered + "$" + identifier;
    return ConnectorFits(value->c_str()) ? "" : kConnectorTooLong;
}

std::string CheckNewPermission(std::string* value) {
    std::string channel, permission;
    if (!SplitConnector(value->c_str(), &channel, &permission) || !IsPermissionName(permission.c_str()))
        return "Invalid permission " + *value;
    const std::string offered = OfferedChannel(channel.c_str());
    if (offered.empty()) return "Unknown channel in " + *value;
    std::string message;
    if (!CheckConnectorPermission(offered.c_str(), permission.c_str(), &message)) return message;
    *value = offered + "$" + permission;
    return ConnectorFits(value->c_str()) ? "" : kPermissionTooLong;
}

// The link after the last node of a list: AddAttrValue given it appends
// without walking the list again (a row may bring hundreds of values).
attrval** EndOf(attrval** list) {
    while (*list != nullptr) list = &(*list)->next;
    return list;
}

// Adds to `list` the values of a list column: those the row names that the
// entry lacks (checked by `check` when given) and deletes those it does
// not name. The first refusal, or "".
std::string ListChanges(AttrList* list, const char* name, const std::vector<std::string>& current,
                        std::vector<std::string> wanted, std::string (*check)(std::string*),
                        const std::string& skip = "") {
    attrval** end = EndOf(&list->head);
    const CaselessSet currentSet = CaselessOf(current), wantedSet = CaselessOf(wanted);
    // Deletes first: a value changed in a letter case the directory ignores
    // (outside ASCII) would otherwise be added beside itself and refused.
    for (const std::string& value : current)
        if (!Holds(wantedSet, value) && strcasecmp(value.c_str(), skip.c_str()) != 0) {
            AddAttrValue(end, kAttrDelete, name, "%s", value.c_str());
            end = EndOf(end);
        }
    for (std::string& value : wanted) {
        if (Holds(currentSet, value)) continue;
        if (check != nullptr) {
            std::string refusal = check(&value);
            if (!refusal.empty()) return refusal;
        }
        AddAttrValue(end, kAttrAdd, name, "%s", value.c_str());
        end = EndOf(end);
    }
    return "";
}

const char* ShownName(const char* attribute) {
    static const char* const kNames[][2] = {{"firstname", "first name"},
                                            {"sn", "last name"},
                                            {"telephoneNumber", "telephone"},
                                            {"streetaddress", "address"},
                                            {"cn", "common name"},
                                            {"mail", "aliases"},
                                            {"othermailbox", "connectors"},
                                            {"x-permission", "permissions"}};
    for (const auto& pair : kNames)
        if (strcasecmp(pair[0], attribute) == 0) return pair[1];
    return attribute;
}

// Builds the row's add list (no entry) or change list (entry); the refusal
// or "".
std::string PlanRow(ldapClient& client, const ImportFile& file, const FileIndex& index, std::size_t at,
                    const ImportRow& row, const ImportHolders& holders, RowPlan* plan, AttrList* list) {
    const bool* has = file.hasColumn;
    const SearchReq* entry = plan->entry;
    // A column the file lacks stands for what the entry holds.
    SingleCells cells;
    for (std::size_t i = 0; i < std::size(kSingleFields); ++i) {
        const SingleField& field = kSingleFields[i];
        cells[i] = has[field.column] || entry == nullptr ? row.cells[field.column]
                                                         : FirstValue(entry, field.attribute);
    }
    const std::string &first = cells[kFirst], &last = cells[kLast];
    // A row may not leave a user without a name; one stored so by another tool may stay so.
    if (first.empty() && last.empty() &&
        (entry == nullptr || !FirstValue(entry, "firstname").empty() || !FirstValue(entry, "sn").empty()))
        return "Incomplete data input";
    // A value too long for the directory client to show stays when the cell
    // holds it (the directory compares the two) or is empty; a row may not
    // change it, as the Update User page may not.
    for (std::size_t i = 0; i < std::size(kSingleFields); ++i) {
        const SingleField& field = kSingleFields[i];
        if (entry == nullptr || cells[i].empty() || !HasTooLongValue(entry, field.attribute)) continue;
        const std::string filter =
            std::string("(") + field.attribute + "=" + EscapeFilterValue(cells[i].c_str()) + ")";
        if (EntryMatches(client, entry->dn, filter) != 1)
            return std::string("Error: the ") + field.label + " of this user is too long to be edited";
        cells[i].clear();  // as the edit form sends it: left as it is
    }
    // Values as stored stay, whatever their lengths make of the common name.
    bool unchanged = entry != nullptr;
    for (std::size_t i = 0; i < std::size(kSingleFields); ++i)
        unchanged = unchanged && cells[i] == FirstValue(entry, kSingleFields[i].attribute);
    const char* overflow = unchanged ? nullptr
                                     : UserFieldOverflow(first.c_str(), last.c_str(),
                                                         cells[kTelephone].c_str(), cells[kAddress].c_str());
    if (overflow != nullptr) return overflow;
    std::vector<std::string> storedMail = EntryAttrValues(entry, "mail"),
                             storedConnectors = EntryAttrValues(entry, "othermailbox"),
                             storedPermissions = EntryAttrValues(entry, "x-permission");
    const struct {
        int column;
        const char *attribute, *label;
        std::vector<std::string>* stored;
    } kLists[] = {{kColAliases, "mail", "aliases", &storedMail},
                  {kColConnectors, "othermailbox", "connectors", &storedConnectors},
                  {kColPermissions, "x-permission", "permissions", &storedPermissions}};
    for (const auto& column : kLists) {
        const std::string refusal = WholeValues(client, entry, column.attribute, column.label,
                                                SplitValues(row.cells[column.column]), column.stored);
        if (has[column.column] && !refusal.empty()) return refusal;  // a column the file lacks keeps them
    }

    const CaselessSet stored = CaselessOf(storedMail);
    auto pairs = index.foldedPairs.find(at);
    for (std::size_t i = 0; pairs != index.foldedPairs.end() && i < pairs->second.size(); ++i) {
        const auto& [one, other] = pairs->second[i];
        if (!Holds(storedMail, one) || !Holds(storedMail, other))
            return "The address " + other + " is listed twice";
    }

    // An alias the entry holds already stays as stored, whatever the screen
    // says of it today (the pages screen only what they add). A new one is
    // screened, and held to the alias table's key: longer, it could share
    // its key with another user's alias and take that one's mail.
    std::vector<std::string> aliases;
    for (const std::string& alias : SplitValues(row.cells[kColAliases])) {
        const std::string screened = ScreenedAddress(alias);
        if (!Holds(stored, alias)) {
            if (screened.empty()) return "Invalid alias address " + alias;
            if (screened.size() > kMaxAliasKeyLength)
                return "An alias longer than " + std::to_string(kMaxAliasKeyLength) +
                       " characters is not allowed: " + alias;
        }
        aliases.push_back(screened.empty() ? alias : screened);
    }
    // The stored primary as the server spells it in the DN (müller@ for a row's MÜLLER@).
    std::string primary;
    if (entry == nullptr || !PrimaryAddressFromDn(entry->dn, &primary)) primary = plan->mail;
    // Scope before holders: a refusal for an address held outside the
    // login's domains would tell that the address exists.
    // The naming value as another tool spelled it is no alias.
    std::vector<std::string> currentAliases;
    if (entry != nullptr && !AliasValues(client, entry->dn, primary, storedMail, &currentAliases))
        return "The aliases of this user could not be checked";
    // So a row that lists that spelling among its aliases (an older export
    // did) names the user's own address: it is neither added nor refused.
    const CaselessSet current = CaselessOf(currentAliases);
    aliases.erase(std::remove_if(aliases.begin(), aliases.end(),
                                 [&](const std::string& alias) {
                                     return Holds(stored, alias) && !Holds(current, alias);
                                 }),
                  aliases.end());
    if (entry == nullptr || has[kColAliases]) {
        for (const std::string& alias : aliases)
            if (!Holds(current, alias) && !AddressInScope(RequestScope(), alias.c_str()))
                return kOutsideDomains;
        const CaselessSet named = CaselessOf(aliases);
        for (const std::string& alias : currentAliases)  // nor is one taken away
            if (!Holds(named, alias) && !AddressInScope(RequestScope(), alias.c_str()))
                return kOutsideDomains;
    }
    // The entry and the holders both come as the server spells their DNs.
    auto isOwn = [&](const std::string& dn) { return entry != nullptr && SameDnText(dn, entry->dn); };
    std::vector<std::string> addresses = aliases;
    addresses.push_back(plan->mail);
    for (const std::string& value : addresses) {
        // A value that is not plain is compared by the directory (MÜLLER@ is müller@ to it; its
        // rules are not ours to copy).
        const MailHolders found =
            value == plan->mail ? plan->held : HoldersOf(client, holders, "mail", value);
        if (!found.answered) return "The address " + value + " could not be checked";
        for (const std::string& dn : found.dns) {
            if (!isOwn(dn)) return HeldElsewhere("address", value, dn);
            // Equal to a value the user holds in another spelling (ｆ for f):
            // adding it would be refused, and keeping both is not what it says.
            if (value != plan->mail && !Holds(stored, value))
                return "The address " + value + " is held by this user in another spelling";
        }
    }
    const std::vector<std::string> connectors = SplitValues(row.cells[kColConnectors]);
    for (const std::string& value : connectors) {
        if (Holds(storedConnectors, value)) continue;  // another may hold it too
        const std::size_t named = FirstToNameConnector(index, at, value);
        if (named != at) return "The connector " + value + " is also in " + AtLine(file.lines[named]);
        const MailHolders found = HoldersOf(client, holders, "othermailbox", value);
        if (!found.answered) return "The connector " + value + " could not be checked";
        if (std::any_of(found.dns.begin(), found.dns.end(), isOwn)) continue;  // in another spelling
        if (!found.dns.empty()) return HeldElsewhere("connector", value, found.dns[0]);
    }
    const std::vector<std::string> permissions = SplitValues(row.cells[kColPermissions]);
    // One permission a channel, unless the entry holds them all already
    // (another tool stored them; they stay as stored).
    std::map<std::string, std::pair<std::size_t, bool>> channels;  // its values, whether one is new
    for (const std::string& value : permissions) {
        auto& [count, added] = channels[Lowered(value.substr(0, value.find('$')))];
        ++count;
        added = added || !Holds(storedPermissions, value);
    }
    for (const std::string& value : permissions) {
        const auto& [count, added] = channels[Lowered(value.substr(0, value.find('$')))];
        if (count > 1 && added) return "Two permissions for one channel in " + value;
    }

    AttrList staged;
    std::string refusal;
    if (entry == nullptr) {
        AddAttrValue(&staged.head, kAttrAdd, "objectClass", "%s", "xoperson");
        AddAttrValue(&staged.head, kAttrAdd, "cn", "%s", CommonName(first.c_str(), last.c_str()).c_str());
        AddAttrValue(&staged.head, kAttrAdd, "firstname", "%s", first.c_str());
        AddAttrValue(&staged.head, kAttrAdd, "streetaddress", "%s", cells[kAddress].c_str());
        AddAttrValue(&staged.head, kAttrAdd, "telephoneNumber", "%s", cells[kTelephone].c_str());
        AddAttrValue(&staged.head, kAttrAdd, "sn", "%s", last.c_str());
        ListChanges(&staged, "mail", {}, aliases, nullptr);
        refusal = ListChanges(&staged, "othermailbox", {}, connectors, CheckNewConnector);
        if (refusal.empty())
            refusal = ListChanges(&staged, "x-permission", {}, permissions, CheckNewPermission);
    } else {
        SingleValueChanges(entry, cells, &staged);
        if (has[kColAliases]) ListChanges(&staged, "mail", currentAliases, aliases, nullptr, primary);
        if (has[kColConnectors])
            refusal = ListChanges(&staged, "othermailbox", storedConnectors, connectors, CheckNewConnector);
        if (refusal.empty() && has[kColPermissions])
            refusal =
                ListChanges(&staged, "x-permission", storedPermissions, permissions, CheckNewPermission);
        else if (has[kColConnectors])  // a channel's permission goes with its last connector, as on the pages
            for (const std::string& value : storedPermissions)
                if (OnChannel(storedConnectors, value) && !OnChannel(connectors, value)) {
                    if (value.find('\0') != std::string::npos)  // no change list carries it
                        return "Error: a value of the permissions of this user holds a NUL byte and cannot be "
                               "edited here";
                    AddAttrValue(&staged.head, kAttrDelete, "x-permission", "%s", value.c_str());
                }
    }
    if (refusal.empty())
        refusal = ChannelsKeptTogether(
            entry == nullptr || has[kColConnectors] ? connectors : storedConnectors, storedConnectors,
            entry == nullptr || has[kColPermissions] ? permissions : storedPermissions, storedPermissions);
    if (!refusal.empty()) return refusal;
    // Empty values are left out: the directory stores none.
    attrval** end = EndOf(&list->head);
    for (const attrval* node = staged.head; node != nullptr; node = node->next) {
        if (node->op == kAttrAdd && node->value[0] == '\0') continue;
        AddAttrValue(end, node->op, node->name, "%s", node->value);
        end = EndOf(end);
        const char* shown = ShownName(node->name);
        if (std::find(plan->changed.begin(), plan->changed.end(), shown) == plan->changed.end())
            plan->changed.push_back(shown);
    }
    return "";
}

// The write pass: each row that adds or changes a user is written right
// after it was checked again; the dc= entries of each domain are made once.
struct Writer {
    ImportReport* written;
    std::set<std::string> domainsMade;
};

// Writes one checked row; the LDAP result code (0 written), or
// kDomainTreeFailed.
int WriteRow(ldapClient& client, const RowPlan& plan, const AttrList& list, Writer* writer) {
    if (plan.entry != nullptr) return DirectoryModify(client, plan.entry->dn, list.head);
    OwnedText suffix(client.GetSuffix(plan.mail.c_str()));
    const std::string domain = suffix ? suffix.get() : "";
    if (writer->domainsMade.count(domain) == 0) {
        if (!CreateMailDomainTree(client, plan.mail.c_str())) return kDomainTreeFailed;
        writer->domainsMade.insert(domain);
    }
    return DirectoryAdd(client, plan.dn.c_str(), list.head);
}

// Stops the write pass at `line`.
void Stop(Writer* writer, long line, const std::string& why) {
    writer->written->stoppedAt = line;
    writer->written->failure = "Line " + std::to_string(line) + ": " + why;
}

void Note(ImportReport* report, RowKind kind, long line, const std::string& mail, const std::string& text) {
    ++report->counts[kind];
    if (kind == kRowRefused) report->refused.push_back({line, mail, text});
    if (kind == kRowUpdate && report->updated.size() < kMaxImportRowsShown)
        report->updated.push_back({line, mail, text});
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text.append(text.empty() ? "" : ", ").append(name);
    return text;
}

// Whether the DN `holder` names `mail`: its primary is `mail` but for ASCII
// letter case, or the directory gives the DN "mail=<mail>" under the same
// parent back as `holder` (its rules, not ours, say whether MÜLLER@ or ﬁ@
// is the address; STRAẞE@ is not straße@ to it).
bool NamesAddress(ldapClient& client, const std::string& holder, const std::string& mail) {
    std::string primary;
    if (!PrimaryAddressFromDn(holder.c_str(), &primary)) return false;
    if (strcasecmp(primary.c_str(), mail.c_str()) == 0) return true;
    const std::string dn = "mail=" + EscapeDnValue(mail.c_str()) + "," + ParentDn(holder);
    const std::string stored = StoredDn(client, dn.c_str());
    return !stored.empty() && SameDnText(stored, holder);
}

// The row's entry among the batch's: found by its DN as text; else, when its
// address is held, by the DN the server gives the row's DN, as the server
// spells a DN otherwise than we build it (dc=müller for dc=MÜLLER); else
// the address's only holder when its DN names the address (another tool
// placed the user outside its domain's branch) and the login may see it.
// Null when the row adds a user.
const SearchReq* RowEntry(ldapClient& client, const ImportHolders& holders, const RowPlan& plan) {
    auto own = holders.byDn.find(Lowered(NormalDn(plan.dn.c_str())));
    if (own == holders.byDn.end() && !plan.held.dns.empty())
        own = holders.byDn.find(Lowered(NormalDn(StoredDn(client, plan.dn.c_str()).c_str())));
    if (own == holders.byDn.end() && plan.held.dns.size() == 1 &&
        NamesAddress(client, plan.held.dns[0], plan.mail) &&
        UserDnInScope(RequestScope(), plan.held.dns[0].c_str()))
        own = holders.byDn.find(Lowered(NormalDn(plan.held.dns[0].c_str())));
    return own == holders.byDn.end() ? nullptr : own->second;
}

// One pass over the rows, a batch of kImportBatchRows at a time with its
// holders read first, each row classified into *report. With a writer, each
// row that adds or changes a user is written right after its check, and the
// pass stops at the first row refused or not written. False when it stopped.
bool PassOverRows(ldapClient& client, const ImportFile& file, const FileIndex& index, ImportReport* report,
                  Writer* writer) {
    for (std::size_t start = 0; start < file.rows.size(); start += kImportBatchRows) {
        const std::size_t end = std::min(file.rows.size(), start + kImportBatchRows);
        std::vector<ImportRow> rows;
        std::vector<std::string> addresses, aliases, connectors;
        for (std::size_t i = start; i < end; ++i) {
            rows.push_back(UnpackRow(file, i));
            if (index.refusals.count(i) != 0) continue;
            addresses.push_back(ScreenedAddress(rows.back().cells[kColMail]));
            for (const std::string& alias : SplitValues(rows.back().cells[kColAliases])) {
                const std::string screened = ScreenedAddress(alias);
                aliases.push_back(screened.empty() ? alias : screened);
            }
            for (const std::string& value : SplitValues(rows.back().cells[kColConnectors]))
                connectors.push_back(value);
        }
        ImportHolders holders;
        if (!ReadBatchHolders(client, addresses, aliases, connectors, &holders)) {
            report->failure = "Error reading the directory";
            report->stoppedAt = file.lines[start];
            if (writer != nullptr) Stop(writer, file.lines[start], "the directory could not be read");
            return false;
        }
        for (std::size_t i = start; i < end; ++i) {
            const ImportRow& row = rows[i - start];
            const long line = file.lines[i];
            auto refused = index.refusals.find(i);
            if (refused != index.refusals.end()) {
                Note(report, kRowRefused, line, row.cells[kColMail], refused->second);
                continue;
            }
            RowPlan plan;
            plan.mail = ScreenedAddress(row.cells[kColMail]);
            plan.dn = client.CreateDNFromMail(plan.mail.c_str());
            plan.held = HoldersOf(client, holders, "mail", plan.mail);
            plan.entry = RowEntry(client, holders, plan);
            AttrList list;
            const std::string refusal = PlanRow(client, file, index, i, row, holders, &plan, &list);
            const RowKind kind = !refusal.empty()        ? kRowRefused
                                 : plan.entry == nullptr ? kRowAdd
                                 : list.head == nullptr  ? kRowUnchanged
                                                         : kRowUpdate;
            Note(report, kind, line, plan.mail.empty() ? row.cells[kColMail] : plan.mail,
                 kind == kRowRefused ? refusal : Joined(plan.changed));
            if (writer == nullptr || kind == kRowUnchanged) continue;
            if (kind == kRowRefused) {  // the directory changed since the first check
                Stop(writer, line, refusal);
                return false;
            }
            AddAttrEnd(&list.head);   // the client's lists end with an empty node
            TerminationHeld signals;  // a SIGTERM parts no row's write from its settle
            const int status = WriteRow(client, plan, list, writer);
            if (status == kDomainTreeFailed) {  // the user's add was not sent
                Stop(writer, line, "the domain entries above the address could not be made");
                return false;
            }
            if (status != LDAP_SUCCESS) {
                writer->written->unanswered = IsConnectionFailure(status);
                Stop(writer, line,
                     std::string(writer->written->unanswered ? "the directory did not answer the write ("
                                                             : "the directory refused the write (") +
                         ldap_err2string(status) + ")");
                return false;
            }
            if (plan.entry != nullptr)
                SettleTouchedChannels(client, plan.mail.c_str(), plan.entry, list,
                                      file.hasColumn[kColPermissions]);
            ++writer->written->written;
        }
    }
    return true;
}

}  // namespace

void RunImport(ldapClient& client, const ImportFile& file, bool write, ImportReport* report,
               ImportReport* written) {
    const char* host = DirectoryHostName();
    std::string options;
    if (host == nullptr || !ReadChannelOptions(host, &options)) {
        report->failure = host == nullptr ? "Error connecting to LDAP server" : options;
        return;
    }
    const FileIndex index = IndexFile(file);
    if (!PassOverRows(client, file, index, report, nullptr) || !write || report->counts[kRowRefused] != 0)
        return;
    // The same check again, each row written as soon as it has passed: the
    // directory may have changed since, and nothing is kept between passes.
    Writer writer{written, {}};
    ImportReport again;
    LogBeginBatch();  // the log's settings are looked at now and then, not for every audit line
    PassOverRows(client, file, index, &again, &writer);
    LogEndBatch();
}
