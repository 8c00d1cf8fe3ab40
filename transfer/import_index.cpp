// The index of an import file: a pass over the rows that refuses what a row
// says wrongly of itself and notes one claim (a word: key hash and place)
// for each key of each row's addresses and connectors; the claims sorted,
// only those of a hash another claim has are looked at again, their keys
// recomputed from the rows and compared as texts, so that a hash never
// joins two values. Limits: 8 bytes a value, and the keys of the values
// whose hashes meet (those named twice, mostly).
#include "transfer/import_index.h"

#include <strings.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "base/limits.h"
#include "directory/admin_scope.h"
#include "directory/mail_address.h"
#include "transfer/import_holders.h"

namespace {

std::string AtLine(long line) { return "line " + std::to_string(line); }

// A claim of a value by a row, in one word: the hash of the value's folded
// key above, its place (its number among the file's values of its kind, in
// file order) below. Sorted, claims of one hash lie together in file order.
using Claim = std::uint64_t;
constexpr int kPlaceBits = 27;
constexpr Claim kPlaceMask = (Claim{1} << kPlaceBits) - 1;
static_assert(kMaxImportFileBytes <= kPlaceMask, "a value takes one byte of the file at least");

Claim MakeClaim(const std::string& key, std::size_t place) {
    return (std::hash<std::string>{}(key) & ~kPlaceMask) | place;
}

// The values of one kind (addresses or connectors) the rows claim.
struct Claims {
    std::size_t places = 0;                 // the values so far
    std::vector<std::uint32_t> firstPlace;  // each row's first place, then `places`
    std::vector<Claim> claims;
};

// A row's addresses in the order it claims them: the address, then each
// alias, screened where the screen takes it (one it refuses is refused with
// the row's entry, and claimed as written).
std::vector<std::string> RowAddresses(const ImportRow& row) {
    std::vector<std::string> values;
    std::string mail = ScreenedAddress(row.cells[kColMail]);
    if (!mail.empty()) values.push_back(std::move(mail));
    for (std::string& alias : SplitValues(row.cells[kColAliases])) {
        std::string screened = ScreenedAddress(alias);
        values.push_back(screened.empty() ? std::move(alias) : std::move(screened));
    }
    return values;
}

std::vector<std::string> RowConnectors(const ImportRow& row) {
    return SplitValues(row.cells[kColConnectors]);
}

// The claims whose key an earlier row claimed first, in file order, but
// none of a row in `refused` (nothing asks of it) and only the first of
// each row: a file whose rows repeat each other's values must not cost a
// record for each. A row claims each of its keys once.
// Only claims of a hash that another claim has can share their key: their
// keys are recomputed from their rows by `valuesOf` and told apart as texts.
// Without `refused`, none: `firstRow` gets each such key's first row.
std::vector<NamedBefore> ClaimedBefore(const ImportFile& file, Claims values,
                                       std::vector<std::string> (*valuesOf)(const ImportRow&),
                                       const std::unordered_map<std::size_t, std::string>* refused,
                                       FirstRows* firstRow) {
    std::vector<Claim>& claims = values.claims;
    std::sort(claims.begin(), claims.end());
    std::size_t shared = 0;  // the places of such claims, gathered at the front
    for (std::size_t i = 0, previous = 0; i < claims.size(); ++i) {
        const Claim hash = claims[i] & ~kPlaceMask, place = claims[i] & kPlaceMask;
        if ((i > 0 && previous == hash) || (i + 1 < claims.size() && (claims[i + 1] & ~kPlaceMask) == hash))
            claims[shared++] = place;
        previous = hash;
    }
    claims.resize(shared);
    std::sort(claims.begin(), claims.end());
    std::vector<NamedBefore> named;
    std::vector<std::string> rowValues;
    for (std::size_t k = 0, row = 0, loaded = file.rows.size(); k < claims.size(); ++k) {
        while (values.firstPlace[row + 1] <= claims[k]) ++row;
        if (row != loaded) rowValues = valuesOf(UnpackRow(file, loaded = row));
        const auto position = static_cast<std::uint32_t>(claims[k] - values.firstPlace[row]);
        const auto [first, added] = firstRow->emplace(GroupKey(rowValues[position]), row);
        if (added || refused == nullptr || refused->count(row) != 0 ||
            (!named.empty() && named.back().row == row))
            continue;
        named.push_back({static_cast<std::uint32_t>(row), position, first->second});
    }
    return named;
}

// For each of a row's values, the place of the first of them with the same
// key (itself when none before has it).
void FirstOfKey(const std::vector<std::string>& values, std::vector<std::string>* keys,
                std::vector<std::uint32_t>* order, std::vector<std::uint32_t>* first) {
    keys->resize(values.size());
    order->resize(values.size());
    first->resize(values.size());
    for (std::uint32_t p = 0; p < values.size(); ++p) {
        (*keys)[p] = GroupKey(values[p]);
        (*order)[p] = p;
    }
    std::sort(order->begin(), order->end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::tie((*keys)[a], a) < std::tie((*keys)[b], b);
    });
    for (std::size_t k = 0; k < order->size(); ++k) {
        const std::uint32_t p = (*order)[k];
        (*first)[p] = k > 0 && (*keys)[p] == (*keys)[(*order)[k - 1]] ? (*first)[(*order)[k - 1]] : p;
    }
}

}  // namespace

std::string ScreenedAddress(const std::string& address) {
    const char* screened = ValidateMailAddress(address.c_str());
    return screened == nullptr ? "" : screened;
}

FileIndex IndexFile(const ImportFile& file) {
    FileIndex index;
    Claims addresses, connectors;
    std::size_t mostAddresses = 0, mostConnectors = 0;
    for (const std::string& packed : file.rows) {
        mostAddresses += 1 + CountValues(PackedCell(packed, kColAliases));
        mostConnectors += CountValues(PackedCell(packed, kColConnectors));
    }
    addresses.claims.reserve(mostAddresses);
    connectors.claims.reserve(mostConnectors);
    // An address or connector a row names twice: the first of each row.
    std::vector<NamedBefore> addressTwice;
    std::unordered_map<std::size_t, std::string> connectorTwice;
    std::vector<std::string> keys;
    std::vector<std::uint32_t> order, first;
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        const ImportRow row = UnpackRow(file, i);
        std::string refusal;
        const std::string mail = ScreenedAddress(row.cells[kColMail]);
        if (row.cells[kColMail].empty())
            refusal = "Incomplete data input";
        else if (mail.empty())
            refusal = "Invalid mail address";
        else if (!AddressInScope(RequestScope(), mail.c_str()))
            refusal = kOutsideDomains;
        // A row claims each key once, with the first address that has it;
        // another address of that key is the same one listed twice, or,
        // unless the two differ in ASCII case only, a folded pair.
        const std::vector<std::string> values = RowAddresses(row);
        const std::size_t aliasCount = values.size() - (mail.empty() ? 0 : 1);
        addresses.firstPlace.push_back(static_cast<std::uint32_t>(addresses.places));
        addresses.places += values.size();
        FirstOfKey(values, &keys, &order, &first);
        for (std::uint32_t p = 0; p < values.size(); ++p) {
            if (first[p] == p)
                addresses.claims.push_back(MakeClaim(keys[p], addresses.firstPlace.back() + p));
            else if (strcasecmp(values[first[p]].c_str(), values[p].c_str()) != 0)
                index.foldedPairs[i].emplace_back(values[first[p]], values[p]);
            else if (addressTwice.empty() || addressTwice.back().row != i)
                addressTwice.push_back({static_cast<std::uint32_t>(i), p, static_cast<std::uint32_t>(i)});
        }
        // A connector named by another row too is refused with the entries,
        // unless the row's entry holds it already (the pages let two users
        // share one).
        const std::vector<std::string> rowConnectors = RowConnectors(row);
        connectors.firstPlace.push_back(static_cast<std::uint32_t>(connectors.places));
        connectors.places += rowConnectors.size();
        FirstOfKey(rowConnectors, &keys, &order, &first);
        for (std::uint32_t p = 0; p < rowConnectors.size(); ++p) {
            if (first[p] == p)
                connectors.claims.push_back(MakeClaim(keys[p], connectors.firstPlace.back() + p));
            else if (connectorTwice.count(i) == 0)
                connectorTwice.emplace(i, "The connector " + rowConnectors[p] + " is listed twice");
        }
        if (aliasCount > kMaxImportValues || rowConnectors.size() > kMaxImportValues ||
            SplitValues(row.cells[kColPermissions]).size() > kMaxImportValues)
            refusal = "More than " + std::to_string(kMaxImportValues) + " values in one cell";
        if (!refusal.empty()) index.refusals.emplace(i, refusal);
    }
    addresses.firstPlace.push_back(static_cast<std::uint32_t>(addresses.places));
    connectors.firstPlace.push_back(static_cast<std::uint32_t>(connectors.places));
    {  // a scope of their own: the addresses' records go before the connectors' are made
        // A row is refused for the first address it names that it or an
        // earlier row named before, when nothing before refused it.
        FirstRows firstRows;
        std::vector<NamedBefore> named =
            ClaimedBefore(file, std::move(addresses), RowAddresses, &index.refusals, &firstRows);
        named.insert(named.end(), addressTwice.begin(), addressTwice.end());
        std::sort(named.begin(), named.end(), [](const NamedBefore& a, const NamedBefore& b) {
            return std::tie(a.row, a.position) < std::tie(b.row, b.position);
        });
        for (std::size_t k = 0; k < named.size(); ++k) {
            if ((k > 0 && named[k - 1].row == named[k].row) || index.refusals.count(named[k].row) != 0)
                continue;
            const std::string value = RowAddresses(UnpackRow(file, named[k].row))[named[k].position];
            index.refusals.emplace(named[k].row, named[k].first == named[k].row
                                                     ? "The address " + value + " is listed twice"
                                                     : "The address " + value + " is also in " +
                                                           AtLine(file.lines[named[k].first]));
        }
    }
    for (auto& [row, why] : connectorTwice) index.refusals.emplace(row, std::move(why));
    // Of the connectors, the first row of each key named twice: a record for
    // each value a row repeats would cost 12 bytes a value of such a file.
    ClaimedBefore(file, std::move(connectors), RowConnectors, nullptr, &index.connectorRows);
    return index;
}

std::size_t FirstToNameConnector(const FileIndex& index, std::size_t row, const std::string& connector) {
    const auto found = index.connectorRows.find(GroupKey(connector));
    return found == index.connectorRows.end() ? row : found->second;
}
