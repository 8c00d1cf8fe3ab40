// Fuzz target: the alias table reader over damaged files. The input holds the
// three files of a generation: byte 0 picks the key comparison (bit 0: the
// setting that folds letter case), then u32 sizes of NAME.db and NAME.id0
// (little-endian), then NAME.db, NAME.id0 and, for the rest, NAME.str. Each
// file gets a heap copy of its exact size, so any read past a file is caught.
// The headers are checked as OpenAliasTable does, then the full check, the
// walk in key order and lookups run. A table that the check accepts must walk
// whole and give every walked alias back through a lookup.
#include <algorithm>
#include <cstring>

#include "aliastable/alias_reader.h"
#include "aliastable/mail_alias.h"
#include "fuzz/fuzz_support.h"
#include "platform/recbase/db_format.h"

namespace {

constexpr std::size_t kInputHeaderSize = 9;
constexpr std::size_t kMaxLookups = 64;  // walked aliases looked up again

struct Walk {
    unsigned long visited = 0;
    std::vector<std::pair<std::string, std::string>> kept;  // alias, mail: the first kMaxLookups
};

bool Visit(void* context, const char* alias, const char* mail) {
    Walk* walk = static_cast<Walk*>(context);
    FUZZ_CHECK(strlen(alias) < kAliasKeySize);
    if (++walk->visited <= kMaxLookups) walk->kept.emplace_back(alias, mail);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < kInputHeaderSize) return 0;
    const bool ignoreCase = (data[0] & 1) != 0;
    FuzzConfigFolder(std::string("[PreProcessor]\nUseCaseSensitiveAliasLookup=") +
                     (ignoreCase ? "YES" : "NO") + "\n[Log]\nFile=/dev/null\n");
    FUZZ_CHECK(AliasKeysIgnoreCase() == ignoreCase);

    std::size_t rest = size - kInputHeaderSize;
    const std::size_t dbSize = std::min<std::size_t>(GetU32(data + 1), rest);
    rest -= dbSize;
    const std::size_t indexSize = std::min<std::size_t>(GetU32(data + 5), rest);
    const uint8_t* bytes = data + kInputHeaderSize;
    const std::vector<unsigned char> db(bytes, bytes + dbSize);
    const std::vector<unsigned char> index(bytes + dbSize, bytes + dbSize + indexSize);
    const std::vector<unsigned char> strings(bytes + dbSize + indexSize, data + size);

    AliasTable table = {db.data(), db.size(), index.data(), index.size(), strings.data(), strings.size()};
    if (!CheckAliasTableHeaders(&table, "fuzz")) return 0;

    const bool sound = CheckAliasTable(&table);
    Walk walk;
    const bool walked = ForEachAlias(&table, Visit, &walk);
    FUZZ_CHECK(!sound || (walked && walk.visited == table.records));
    for (const auto& record : walk.kept) {
        const char* mail = nullptr;
        const bool found = LookupAlias(&table, record.first.c_str(), &mail) == ALIAS_FOUND;
        FUZZ_CHECK(!sound || (found && record.second == mail));
    }
    const char* mail = nullptr;  // a key before all, and one of any case setting
    for (const char* probe : {"", "postmaster@example.org"})
        FUZZ_CHECK(LookupAlias(&table, probe, &mail) != ALIAS_FOUND || mail != nullptr);
    return 0;
}
