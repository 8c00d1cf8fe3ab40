// Benchmark of the alias table. Without arguments: builds a generation of
// 200 000 records (100 000 users x 2 aliases) through dbMailAlias::add(),
// syncs it, then times 100 000 random lookups through the reader; prints
// records/second, key comparisons per add, peak RSS along the way, and the
// lookup time. Works in a fresh folder under $TMPDIR (removed at the end).
//   alias_lookup table DIR GENERATION USERS
// times random lookups of the aliases that scripts/bench.d/common gives
// USERS users, in a table the build made from them (opened first); prints
// "RECORDS CPU_US WALL_US FOUND LOOKUPS", the times per lookup. The CPU
// time is the lookup's own cost; the wall time also holds the waits of a
// process on a shared machine.
#include <ftw.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "aliastable/alias_reader.h"
#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"
#include "platform/recbase/recbase_limits.h"

namespace {

constexpr unsigned long kUsers = 100000;
constexpr unsigned long kLookups = 100000;

unsigned long comparisons = 0;

// Counts the component's key comparisons; `skipSetting` measures the
// comparison alone, bypassing the relation's compareKey.
class CountingAlias : public dbMailAlias {
public:
    CountingAlias(recordBase* database, const char* path, const char* generation, bool skip)
        : dbMailAlias(database, path, generation), skipSetting(skip) {}
    int compareKey(const char* bytes, long index) override {
        ++comparisons;
        if (skipSetting) return index == 0 ? CompareAliasKeys(szAlias, bytes, false) : 0;
        return dbMailAlias::compareKey(bytes, index);
    }
    bool skipSetting;
};

bool WriteFile(const std::string& path, const unsigned char* bytes, std::size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
long PeakRssKb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string Alias(unsigned long user, int which) {
    // Scattered key order, as the directory returns users.
    return "alias" + std::to_string(which) + "." + std::to_string(user * 7919 % 1000003) +
           "@bench.example.org";
}

bool Build(const std::string& folder, const char* generation, bool skipSetting, std::size_t cachePages) {
    WriteFile(folder + "/" + generation + ".id0", kAliasIndexImage, kAliasIndexImageSize);
    WriteFile(folder + "/" + generation + ".str", kAliasStringImage, kAliasStringImageSize);
    WriteFile(folder + "/" + generation + ".db", kAliasRelationImage, kAliasRelationImageSize);
    recordBase database;
    database.cachePages = cachePages;
    CountingAlias relation(&database, folder.c_str(), generation, skipSetting);
    if (relation.status != DB_OK) return false;
    comparisons = 0;
    double cpu = CpuSeconds(), wall = Now();
    for (unsigned long user = 0; user < kUsers; ++user) {
        for (int which = 0; which < 2; ++which) {
            strNcpy(relation.szAlias, Alias(user, which).c_str(), sizeof relation.szAlias);
            relation.szMail.cpy(("user" + std::to_string(user) + "@bench.example.org").c_str());
            if (relation.add() != DB_OK) return false;
        }
        if (user + 1 == kUsers / 4 || user + 1 == kUsers / 2)
            std::printf("  %s: peak RSS after %lu records: %ld KiB\n", generation, 2 * (user + 1),
                        PeakRssKb());
    }
    double addCpu = CpuSeconds() - cpu, addWall = Now() - wall;
    double syncWall = Now();
    if (relation.sync() != DB_OK) return false;
    syncWall = Now() - syncWall;
    unsigned long records = relation.recordCount();
    std::printf(
        "  %s, cache %zu pages: %lu records added in %.3f s CPU / %.3f s wall: %.0f records/s (CPU), "
        "%.1f key comparisons per add; sync %.3f s; peak RSS %ld KiB\n",
        skipSetting ? "component alone" : "through the relation's own comparison", cachePages, records,
        addCpu, addWall, records / addCpu, double(comparisons) / records, syncWall, PeakRssKb());
    return relation.close() == DB_OK;
}

// The alias names of user i in scripts/bench.d/common's users_ldif.
std::string BenchAlias(unsigned long user, int which) {
    unsigned long long scattered = static_cast<unsigned long long>(user) * 48271ULL % 2147483647ULL;
    return (which == 0 ? "first." : "second.") + std::to_string(scattered) +
           (which == 0 ? "@example.com" : "@example.org");
}

int LookupInTable(const char* directory, const char* generation, unsigned long users) {
    AliasTable table;
    if (users == 0 || !OpenAliasTable(directory, generation, &table)) {
        std::fprintf(stderr, "alias_lookup: %s\n", table.error);
        CloseAliasTable(&table);
        return 1;
    }
    AdviseLookups(&table);
    std::mt19937 random(1);
    std::vector<std::string> keys;
    keys.reserve(kLookups);
    for (unsigned long i = 0; i < kLookups; ++i)
        keys.push_back(BenchAlias(random() % users, int(random() % 2)));
    unsigned long found = 0;
    double wall = Now(), cpu = CpuSeconds();
    for (const std::string& key : keys) {
        const char* mail;
        if (LookupAlias(&table, key.c_str(), &mail) == ALIAS_FOUND) ++found;
    }
    wall = Now() - wall;
    cpu = CpuSeconds() - cpu;
    std::printf("%lu %.3f %.3f %lu %lu\n", table.records, cpu * 1e6 / kLookups, wall * 1e6 / kLookups, found,
                kLookups);
    CloseAliasTable(&table);
    return found == kLookups ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "table")
        return LookupInTable(argv[2], argv[3], std::strtoul(argv[4], nullptr, 10));
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/alias_benchXXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) return 1;
    std::string folder = pattern;
    std::string ini = "[PreProcessor]\nUseCaseSensitiveAliasLookup=NO\n";
    WriteFile(folder + "/xomta.ini", reinterpret_cast<const unsigned char*>(ini.data()), ini.size());
    setenv("XOMTA_CONFIG_DIR", folder.c_str(), 1);

    // Smallest memory first: ru_maxrss only grows.
    bool ok = Build(folder, "1", true, 512) && Build(folder, "2", true, kDbCachePages) &&
              Build(folder, "3", false, kDbCachePages);
    if (ok) {
        AliasTable table;
        ok = OpenAliasTable(folder.c_str(), "3", &table);
        AdviseLookups(&table);
        std::mt19937 random(1);
        std::vector<std::string> keys;
        keys.reserve(kLookups);
        for (unsigned long i = 0; i < kLookups; ++i)
            keys.push_back(Alias(random() % kUsers, int(random() % 2)));
        double wall = Now(), cpu = CpuSeconds();
        unsigned long found = 0;
        for (const std::string& key : keys) {
            const char* mail;
            if (ok && LookupAlias(&table, key.c_str(), &mail) == ALIAS_FOUND) ++found;
        }
        wall = Now() - wall;
        cpu = CpuSeconds() - cpu;
        std::printf("  %lu random lookups: %.3f s wall, %.3f s CPU (%.2f us each), %lu found\n", kLookups,
                    wall, cpu, wall * 1e6 / kLookups, found);
        ok = ok && found == kLookups;
        CloseAliasTable(&table);
    }
    nftw(
        folder.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
    if (!ok) std::printf("  FAILED\n");
    return ok ? 0 : 1;
}
