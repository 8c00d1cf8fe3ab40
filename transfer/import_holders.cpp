// Reading the holders of an import batch: streamed searches for the values
// of other entries, whole entries for the rows' own.
#include "transfer/import_holders.h"

#include <strings.h>

#include <cstring>
#include <set>

#include "base/limits.h"
#include "directory/domain_names.h"
#include "directory/entry_stream.h"
#include "directory/folded_case.h"

std::string GroupKey(const std::string& value) {
    if (IsPlain(value)) return Lowered(value);
    std::string collapsed;
    for (char c : value)
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed.push_back(c);
    if (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    return FoldedCase(collapsed);
}

namespace {

// Whether `name` is `attribute`, options such as ";lang-en" aside: the
// directory's (mail=x) matches those values too.
bool IsAttribute(const char* name, const char* attribute) {
    const std::size_t length = strcspn(name, ";");
    return length == strlen(attribute) && strncasecmp(name, attribute, length) == 0;
}

// Notes that the entry `dn` holds `value` of `attribute`, and whether that
// value makes the batch unsure (see ImportHolders).
void NoteHolder(ImportHolders* holders, const char* attribute, const std::set<std::string>& asked,
                const char* name, const std::string& value, const std::string& dn) {
    if (IsAttribute(name, "mail"))
        holders->addressHolder.emplace(Lowered(value), dn);
    else if (IsAttribute(name, "othermailbox"))
        holders->connectorHolder.emplace(Lowered(value), dn);
    bool& unsure = strcmp(attribute, "mail") == 0 ? holders->unsureAddresses : holders->unsureConnectors;
    unsure = unsure || (IsAttribute(name, attribute) && !IsPlain(value) && asked.count(Lowered(value)) == 0);
}

// The search filter for values [at, at + kImportBatchRows) of `values`.
std::string AnyOf(const char* attribute, const std::vector<std::string>& values, std::size_t at) {
    std::string filter = "(|";
    for (std::size_t i = at; i < values.size() && i < at + kImportBatchRows; ++i)
        filter.append("(")
            .append(attribute)
            .append("=")
            .append(EscapeFilterValue(values[i].c_str()))
            .append(")");
    return filter.append(")");
}

// Searches for entries holding any of `values` in `attribute`, a few
// hundred values a search; false when a search failed. With `whole` (the
// rows' own addresses) the entries are kept whole for the rows' plans; else
// only the holders are noted, streamed, so that an entry named by many
// searches is never held in many copies.
bool ReadHolders(ldapClient& client, const char* attribute, const std::vector<std::string>& values,
                 bool whole, ImportHolders* holders) {
    std::set<std::string> asked;
    for (const std::string& value : values) asked.insert(Lowered(value));
    const char* const only[] = {attribute, nullptr};
    for (std::size_t at = 0; at < values.size(); at += kImportBatchRows) {
        const std::string filter = AnyOf(attribute, values, at);
        if (!whole) {
            const int status = ForEachEntryWithControls(
                client, "", LDAP_SCOPE_SUBTREE, filter.c_str(), only, "The search for the import's holders",
                nullptr, 0, nullptr, [&](StreamedEntry& entry) {
                    const std::string dn(entry.Dn().bv_val, entry.Dn().bv_len);
                    berval name, *found = nullptr;
                    while (entry.NextAttribute(&name, &found)) {
                        const std::string attributeName(name.bv_val, name.bv_len);
                        for (const berval* v = found; v != nullptr && v->bv_val != nullptr; ++v)
                            NoteHolder(holders, attribute, asked, attributeName.c_str(),
                                       std::string(v->bv_val, v->bv_len), dn);
                    }
                    return true;
                });
            if (status != LDAP_SUCCESS) return false;
            continue;
        }
        int status = -1;
        SearchResult found(client,
                           client.ldapClientSearch("", LDAP_SCOPE_SUBTREE, 0, filter.c_str(), &status));
        if (!found || (status != 0 && status != 1)) return false;
        for (const SearchReq* entry = found.get(); entry->next != nullptr; entry = entry->next) {
            holders->byDn.emplace(Lowered(NormalDn(entry->dn)), entry);
            for (const attrval* node = entry->attrs; node != nullptr && node->next != nullptr;
                 node = node->next)
                NoteHolder(holders, attribute, asked, node->name, node->value, entry->dn);
        }
        holders->results.push_back(std::move(found));
    }
    return true;
}

// Whether an entry holds any of the plain `values` not found as text in
// `byText`, by one search a few hundred values, entries not read; true also
// when a search failed. An unsure batch (see ImportHolders), most often one whose
// own entries hold a value that is not plain, that finds none is sure.
bool HeldOtherwise(ldapClient& client, const char* attribute, const std::vector<std::string>& values,
                   const std::unordered_map<std::string, std::string>& byText) {
    std::vector<std::string> unfound;
    for (const std::string& value : values)
        if (IsPlain(value) && byText.count(Lowered(value)) == 0) unfound.push_back(value);
    const char* const none[] = {"1.1", nullptr};
    for (std::size_t at = 0; at < unfound.size(); at += kImportBatchRows) {
        bool found = false;
        const int status = ForEachEntryWithControls(
            client, "", LDAP_SCOPE_SUBTREE, AnyOf(attribute, unfound, at).c_str(), none,
            "The search for the import's holders", nullptr, 0, nullptr, [&](StreamedEntry&) {
                found = true;
                return false;
            });
        if (found || status != LDAP_SUCCESS) return true;
    }
    return false;
}

}  // namespace

bool ReadBatchHolders(ldapClient& client, const std::vector<std::string>& addresses,
                      const std::vector<std::string>& aliases, const std::vector<std::string>& connectors,
                      ImportHolders* holders) {
    if (!ReadHolders(client, "mail", addresses, true, holders) ||
        !ReadHolders(client, "mail", aliases, false, holders) ||
        !ReadHolders(client, "othermailbox", connectors, false, holders))
        return false;
    if (holders->unsureAddresses) {
        std::vector<std::string> all = addresses;
        all.insert(all.end(), aliases.begin(), aliases.end());
        holders->unsureAddresses = HeldOtherwise(client, "mail", all, holders->addressHolder);
    }
    if (holders->unsureConnectors)
        holders->unsureConnectors =
            HeldOtherwise(client, "othermailbox", connectors, holders->connectorHolder);
    return true;
}

MailHolders HoldersOf(ldapClient& client, const ImportHolders& holders, const char* attribute,
                      const std::string& value) {
    const bool mail = strcmp(attribute, "mail") == 0;
    const auto& byText = mail ? holders.addressHolder : holders.connectorHolder;
    MailHolders found;
    found.answered = true;
    auto held = byText.find(Lowered(value));
    if (held != byText.end())
        found.dns.push_back(held->second);
    else if (!IsPlain(value) || (mail ? holders.unsureAddresses : holders.unsureConnectors))
        found = FindMailHolders(client, value.c_str(), attribute);
    return found;
}
