// The database component through the alias relation, read back through the
// alias table reader: the key comparison under each lookup setting, adds,
// duplicates, reopening, large tables, refusals.
#include <signal.h>
#include <sys/resource.h>

#include <strings.h>

#include <map>

#include "aliastable/alias_reader.h"
#include "platform/recbase/recbase_limits.h"
#include "tests/support/db_test_support.h"

using Records = std::map<std::string, std::string>;

// Every record after a check of the whole table, in key order; every 37th looked up.
static Records ReadBack(const ScratchFolder& folder, const char* generation) {
    std::vector<std::pair<std::string, std::string>> records;
    AliasTable table;
    EXPECT_TRUE(OpenAliasTable(folder.path.c_str(), generation, &table) && CheckAliasTable(&table))
        << table.error;
    auto keep = [](void* to, const char* alias, const char* mail) {
        return static_cast<decltype(records)*>(to)->emplace_back(alias, mail), true;
    };
    EXPECT_TRUE(ForEachAlias(&table, keep, &records)) << table.error;
    EXPECT_TRUE(std::is_sorted(records.begin(), records.end()));
    const char* mail = nullptr;
    for (std::size_t i = 0; i < records.size(); i += 37)
        EXPECT_EQ(LookupAlias(&table, records[i].first.c_str(), &mail) == ALIAS_FOUND ? mail : "(absent)",
                  records[i].second);
    EXPECT_EQ(LookupAlias(&table, "a99999999@example.org", &mail), ALIAS_NOT_FOUND);
    CloseAliasTable(&table);
    return Records(records.begin(), records.end());
}

struct Db : ::testing::Test {
    void SetUp() override { folder.SetLookupSetting(nullptr), folder.WriteGeneration("1"); }
    std::string Files() {
        return ReadWholeFile(folder.File("1.db")) + ReadWholeFile(folder.File("1.str")) + Index();
    }
    std::string Index() { return ReadWholeFile(folder.File("1.id0")); }
    ScratchFolder folder;
    recordBase database;
};

// The settings that fold letter case; absent, "NO" and any other text compare
// exactly. Read when the relation opens: a change after it leaves its order.
TEST_F(Db, KeyComparisonUnderEachSettingReadWhenOpening) {
    for (const char* setting : {"YES", "yes", "yEs", "NO", "TRUE", "", "YESS", (const char*)nullptr}) {
        folder.SetLookupSetting(setting);
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        bool folds = setting && strcasecmp(setting, "YES") == 0;
        folder.SetLookupSetting(folds ? "NO" : "YES");
        auto compare = [&](const std::string& stored, const std::string& key, long index = 0) {
            strNcpy(relation.szAlias, stored.c_str(), sizeof relation.szAlias);
            return relation.compareKey(key.c_str(), index);
        };
        SCOPED_TRACE(setting ? setting : "<absent>");
        EXPECT_EQ(compare("Mixed@Example.ORG", "mixed@example.org") == 0, folds);
        EXPECT_EQ(compare("abc", "ABC") > 0, !folds);  // exact: 'a' sorts after 'A'
        EXPECT_LT(compare("ABC", "abd"), 0);
        EXPECT_LT(compare("ab", "abc"), 0);
        EXPECT_GT(compare("\xe9t\xe9", "zzz"), 0);                                  // bytes compare unsigned
        EXPECT_NE(compare("\xc9", "\xe9"), 0);                                      // only ASCII letters fold
        EXPECT_LT(compare(std::string(127, 'q'), std::string(127, 'q') + "r"), 0);  // 128 bytes take part
        relation.setKey("abc", 0);
        EXPECT_EQ(relation.isEqual("aBc", 0), folds);
        EXPECT_TRUE(relation.isLessThan("abd", 0));
        // Indices other than 0 always compare equal.
        for (long index : {1L, -1L, 7L}) EXPECT_EQ(compare("abc", "xyz", index), 0) << index;
        EXPECT_FALSE(relation.isLessThan("xyz", 1));
    }
}

TEST_F(Db, DuplicatesAreRefusedAndStoreNothing) {
    EXPECT_EQ(ReadBack(folder, "1"), Records());  // a fresh generation: an empty table to the reader
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    ASSERT_EQ(AddAlias(&relation, "same@x.org", "first@x.org"), DB_OK);
    ASSERT_EQ(relation.sync(), DB_OK);
    std::string before = Files();
    EXPECT_EQ(AddAlias(&relation, "same@x.org", "second@x.org"), DB_DUPLICATE_KEY);
    EXPECT_EQ(relation.status, DB_OK);  // a refusal, not a failure
    ASSERT_EQ(relation.sync(), DB_OK);
    EXPECT_EQ(before, Files());
    EXPECT_EQ(AddAlias(&relation, "SAME@x.org", ""), DB_OK);  // exact comparison by default
    ASSERT_EQ(relation.close(), DB_OK);
    EXPECT_EQ(AddAlias(&relation, "late@example.org", "x"), DB_NOT_OPEN);
    EXPECT_EQ(ReadBack(folder, "1"), Records({{"same@x.org", "first@x.org"}, {"SAME@x.org", ""}}));

    folder.SetLookupSetting("YES");  // read when the relation opens
    folder.WriteGeneration("2");
    dbMailAlias caseless(&database, folder.path.c_str(), "2");
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(AddAlias(&caseless, "Case" + std::to_string(i), "m"), DB_OK);
    for (int i = 0; i < 3000; i += 97)
        ASSERT_EQ(AddAlias(&caseless, "cASE" + std::to_string(i), "m"), DB_DUPLICATE_KEY) << i;
    ASSERT_EQ(caseless.close(), DB_OK);
    EXPECT_EQ(ReadBack(folder, "2").size(), 3000u);
}

// Sorted keys must fill their leaves; scattered ones, with a cache of a few pages, make pages leave and
// come back. Across a reopen every stored key is refused (branch separators included).
TEST_F(Db, ManyRecordsInSortedAndRandomOrderAcrossAReopen) {
    const unsigned long count = 6000;
    for (const char* generation : {"10", "11", "12"}) {
        bool scattered = generation[1] == '2';
        folder.WriteGeneration(generation);
        database.cachePages = scattered ? 8 : kDbCachePages;
        Records expected;
        for (unsigned long half = 0; half < count; half += count / 2) {
            dbMailAlias relation(&database, folder.path.c_str(), generation);
            EXPECT_EQ(relation.recordCount(), half);
            for (const auto& record : expected)
                ASSERT_EQ(AddAlias(&relation, record.first, "x"), DB_DUPLICATE_KEY) << record.first;
            for (unsigned long i = half; i < half + count / 2; ++i) {
                std::string alias =
                    scattered ? GeneratedAlias(i)
                              : "a" + std::to_string(generation[1] == '0' ? 100000 + i : 200000 - i);
                expected[alias] = GeneratedMail(i);
                ASSERT_EQ(AddAlias(&relation, alias, GeneratedMail(i)), DB_OK) << alias;
            }
            ASSERT_EQ(relation.close(), DB_OK);
        }
        EXPECT_EQ(ReadBack(folder, generation), expected) << generation;
        // 4096-byte leaves of 15-byte entries: 24 if full, about 48 if half full.
        std::size_t index = ReadWholeFile(folder.File(generation + std::string(".id0"))).size();
        EXPECT_TRUE(scattered || index < 25u * 4096) << index;
    }
}

TEST_F(Db, LongKeysAreCutAndSplitWhereBothSidesFit) {
    // Descending short keys fill the leftmost leaf exactly (313 entries of 13 bytes); long keys then go
    // just after its first key: splitting there would leave a long key and 312 short ones on one side.
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    Records expected;
    auto add = [&](const std::string& key, const std::string& mail) {
        expected[key.substr(0, 127)] = mail;
        return AddAlias(&relation, key, mail);
    };
    for (int i = 938; i >= 0; --i)
        ASSERT_EQ(add(std::to_string(100000 + i).replace(0, 1, "k"), "m"), DB_OK) << i;
    for (char c = 'a'; c <= 'e'; ++c) ASSERT_EQ(add("k00000" + std::string(100, c), "n"), DB_OK) << c;
    EXPECT_EQ(add(std::string(300, 'x'), std::string(100000, 'm')), DB_OK);
    // Stored cut to 127: the same key.
    EXPECT_EQ(AddAlias(&relation, std::string(127, 'x') + "y", "other"), DB_DUPLICATE_KEY);
    ASSERT_EQ(relation.close(), DB_OK);
    EXPECT_EQ(ReadBack(folder, "1"), expected);
}

TEST_F(Db, MissingDamagedOrBusyFilesAreRefused) {
    dbMailAlias filled(&database, folder.path.c_str(), "1");  // 100 records, all in the root leaf (page 1)
    for (unsigned long i = 0; i < 100; ++i) ASSERT_EQ(AddAlias(&filled, GeneratedAlias(i), "m"), DB_OK);
    ASSERT_EQ(filled.close(), DB_OK);
    std::string saved[3] = {ReadWholeFile(folder.File("1.db")), ReadWholeFile(folder.File("1.str")), Index()};
    const std::size_t leaf = 1048 + 4096;
    ASSERT_GE(saved[2].size(), leaf + 4096);
    std::size_t entry = leaf + ((saved[2][leaf + 16] & 0xff) | (saved[2][leaf + 17] & 0xff) << 8);
    folder.WriteGeneration("3");
    ASSERT_EQ(unlink(folder.File("3.str").c_str()), 0);
    ASSERT_EQ(mkdir(folder.File("3.str").c_str(), 0700), 0);  // a folder where a file should be
    // Generation 2 is missing; 4 is new and 1 as filled for each case. Damaged: a record length that does
    // not fit (0x73), the last record lost, and index pages: a key longer than the key length, an entry
    // past the page's end, a heap inside the slots.
    const dbError failed = DB_OPEN_FAILED, bad = DB_BAD_FORMAT;
    struct {
        const char* file;
        std::size_t at;
        std::string bytes;
        dbError status, added;
    } cases[] = {{"2.db", 0, "", failed, failed},
                 {"3.db", 0, "", failed, failed},
                 {"4.db", 643, "extra", bad, bad},
                 {"4.db", 0, std::string("\xff\xff\0\0", 4), bad, bad},
                 {"4.id0", 0, std::string(4, '\0'), bad, bad},
                 {"4.str", 12, "x", bad, bad},
                 {"4.id0", 1048, "y", bad, bad},
                 {"4.db", 0x73, std::string("\x85\0\0\0", 4), DB_OK, DB_BAD_RECORD},
                 {"1.db", saved[0].size() - 132, "", bad, bad},
                 {"1.id0", entry + 4, "\xc8", DB_OK, bad},
                 {"1.id0", leaf + 16, "\xff\x0f", DB_OK, bad},
                 {"1.id0", leaf + 4, std::string("\x08\0", 2), DB_OK, bad}};
    for (const auto& c : cases) {
        std::string file = c.file, generation = file.substr(0, 1);
        if (generation == "4") folder.WriteGeneration("4");
        for (int i = 0; i < 3 && generation == "1"; ++i)
            WriteWholeFile(folder.File(i ? i == 1 ? "1.str" : "1.id0" : "1.db"), saved[i]);
        if (generation == "1" || generation == "4") {
            std::string content = ReadWholeFile(folder.File(file));
            content = c.bytes.empty() ? content.erase(c.at) : content.replace(c.at, c.bytes.size(), c.bytes);
            WriteWholeFile(folder.File(file), content);
        }
        dbMailAlias relation(&database, folder.path.c_str(), generation.c_str());
        EXPECT_EQ(relation.status, c.status) << file << " at " << c.at;
        EXPECT_EQ(AddAlias(&relation, "a@example.org", "b"), c.added) << file << " at " << c.at;
        EXPECT_EQ(AddAlias(&relation, "z@example.org", "b"), c.added) << file << " at " << c.at;
    }
    EXPECT_EQ(dbMailAlias(&database, (folder.path + "/nowhere").c_str(), "1").status, DB_OPEN_FAILED);
    folder.WriteGeneration("1");
    dbMailAlias first(&database, folder.path.c_str(), "1"), second(&database, folder.path.c_str(), "1");
    EXPECT_EQ(first.status, DB_OK);
    EXPECT_EQ(second.status, DB_LOCKED);  // one writer at a time
    EXPECT_EQ(AddAlias(&second, "a@example.org", "b"), DB_LOCKED);
    EXPECT_EQ(AddAlias(&first, "a@example.org", "b"), DB_OK);
    EXPECT_EQ(first.close(), DB_OK);
    EXPECT_EQ(dbMailAlias(&database, folder.path.c_str(), "1").status, DB_OK);
}

// Files cut back to the images by another build, and writes refused past RLIMIT_FSIZE (as on
// a full disk), are reported by sync() and close(), and stick.
TEST_F(Db, ChangedFilesAndRefusedWritesAreReported) {
    // Writes refused for the records and strings, the first index page, and inside a run of index pages.
    struct {
        const char* cut;
        rlim_t limit;
        int records;
        std::size_t pad;
        dbError error;
        off_t index;
    } cases[] = {
        {"1.db", 0, 3000, 0, DB_FILE_CHANGED, -1},  {"1.str", 0, 3000, 0, DB_FILE_CHANGED, -1},
        {"1.id0", 0, 3000, 0, DB_FILE_CHANGED, -1}, {nullptr, 20000, 400, 0, DB_WRITE_ERROR, -1},
        {nullptr, 4000, 1, 0, DB_WRITE_ERROR, -1},  {nullptr, 70100, 400, 110, DB_WRITE_ERROR, 70100}};
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        folder.WriteGeneration("1");
        std::string image = c.cut ? ReadWholeFile(folder.File(c.cut)) : "";
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        const struct rlimit small = {c.limit, saved.rlim_max};
        if (c.limit && !c.pad) setrlimit(RLIMIT_FSIZE, &small);
        dbError added = DB_OK;
        for (int i = 0; i < c.records && added == DB_OK; ++i)
            added = AddAlias(&relation, (std::string(c.pad, 'k') + GeneratedAlias(i)).substr(0, 127), "m");
        if (c.limit && c.pad) setrlimit(RLIMIT_FSIZE, &small);
        if (c.cut) {
            ASSERT_EQ(relation.sync(), DB_OK);
            WriteWholeFile(folder.File(c.cut), image);
            for (int i = 3000; i < 3100; ++i) AddAlias(&relation, GeneratedAlias(i), "m");
        }
        dbError results[] = {relation.sync(), AddAlias(&relation, "later@example.org", "x"),
                             relation.close()};
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(added == DB_OK || added == DB_WRITE_ERROR) << added;
        for (dbError result : results) EXPECT_EQ(result, c.error) << (c.cut ? c.cut : "") << c.limit;
        EXPECT_TRUE(c.index < 0 || off_t(Index().size()) == c.index) << Index().size();
    }
    signal(SIGXFSZ, oldHandler);
}
