// The database component through the alias relation: adds, duplicates,
// reopening, large tables in random and sorted order, a tiny page cache, and
// failures: missing or damaged files and writes that the disk refuses.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "aliastable/alias_reader.h"
#include "aliastable/mail_alias.h"
#include "platform/platform_limits.h"
#include "platform/recbase.h"
#include "tests/platform/db_test_support.h"

namespace {

// Every record of the table, read back in key order; empty on damage.
std::vector<std::pair<std::string, std::string>> ReadBack(const ScratchFolder& folder, const std::string& generation) {
    std::vector<std::pair<std::string, std::string>> records;
    AliasTable table;
    EXPECT_TRUE(OpenAliasTable(folder.path.c_str(), generation.c_str(), &table)) << table.error;
    EXPECT_TRUE(CheckAliasTable(&table)) << table.error;
    EXPECT_TRUE(ForEachAlias(
        &table,
        [](void* context, const char* alias, const char* mail) {
            static_cast<std::vector<std::pair<std::string, std::string>>*>(context)->emplace_back(alias, mail);
            return true;
        },
        &records))
        << table.error;
    CloseAliasTable(&table);
    return records;
}

std::string Lookup(const ScratchFolder& folder, const std::string& generation, const std::string& alias) {
    AliasTable table;
    std::string result = "<unreadable>";
    if (OpenAliasTable(folder.path.c_str(), generation.c_str(), &table)) {
        const char* mail = nullptr;
        AliasLookupResult found = LookupAlias(&table, alias.c_str(), &mail);
        result = found == ALIAS_FOUND ? mail : found == ALIAS_NOT_FOUND ? "<absent>" : "<damaged>";
    }
    CloseAliasTable(&table);
    return result;
}

class RelationTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.SetLookupSetting(nullptr);
        folder.WriteGeneration("1");
    }
    ScratchFolder folder;
    recordBase database;
};

TEST_F(RelationTest, AddsStoreRecordsStringsAndIndex) {
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation.status, DB_OK);
        EXPECT_EQ(relation.recordCount(), 0u);
        EXPECT_EQ(AddAlias(&relation, "bob@example.org", "robert@example.org"), DB_OK);
        EXPECT_EQ(AddAlias(&relation, "al@example.org", "alice@example.org"), DB_OK);
        EXPECT_EQ(AddAlias(&relation, "empty@example.org", ""), DB_OK);
        EXPECT_EQ(relation.recordCount(), 3u);
        EXPECT_EQ(relation.sync(), DB_OK);
        EXPECT_EQ(relation.close(), DB_OK);
        EXPECT_EQ(relation.recordCount(), 3u);
        EXPECT_NE(relation.status, DB_OK);
        EXPECT_EQ(AddAlias(&relation, "late@example.org", "x@example.org"), DB_NOT_OPEN);
    }
    EXPECT_EQ(FileSize(folder.File("1.db")), off_t(643 + 3 * 132));
    // The image's bytes stay as they were; records follow it.
    std::string db = ReadWholeFile(folder.File("1.db"));
    EXPECT_EQ(db.substr(0, 643), std::string(reinterpret_cast<const char*>(kAliasRelationImage), 643));
    EXPECT_EQ(db.substr(643 + 4, 16), std::string("bob@example.org\0", 16));
    EXPECT_EQ(ReadWholeFile(folder.File("1.id0")).substr(0, 1048),
              std::string(reinterpret_cast<const char*>(kAliasIndexImage), 1048));
    std::string strings = ReadWholeFile(folder.File("1.str"));
    EXPECT_EQ(strings.substr(0, 12), std::string(12, '\0'));
    EXPECT_NE(strings.find("robert@example.org"), std::string::npos);

    auto records = ReadBack(folder, "1");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], std::make_pair(std::string("al@example.org"), std::string("alice@example.org")));
    EXPECT_EQ(records[1], std::make_pair(std::string("bob@example.org"), std::string("robert@example.org")));
    EXPECT_EQ(records[2], std::make_pair(std::string("empty@example.org"), std::string("")));
}

TEST_F(RelationTest, DuplicateKeyIsRefusedAndNothingStored) {
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    ASSERT_EQ(relation.status, DB_OK);
    ASSERT_EQ(AddAlias(&relation, "same@example.org", "first@example.org"), DB_OK);
    ASSERT_EQ(relation.sync(), DB_OK);
    off_t dbSize = FileSize(folder.File("1.db")), strSize = FileSize(folder.File("1.str"));
    EXPECT_EQ(AddAlias(&relation, "same@example.org", "second@example.org"), DB_DUPLICATE_KEY);
    EXPECT_EQ(relation.status, DB_OK); // a refusal, not a failure
    EXPECT_EQ(relation.recordCount(), 1u);
    // Exact comparison by default: another letter case is another key.
    EXPECT_EQ(AddAlias(&relation, "SAME@example.org", "third@example.org"), DB_OK);
    ASSERT_EQ(relation.close(), DB_OK);
    EXPECT_EQ(FileSize(folder.File("1.db")), dbSize + 132);
    EXPECT_GT(FileSize(folder.File("1.str")), strSize);
    EXPECT_EQ(Lookup(folder, "1", "same@example.org"), "first@example.org");
    EXPECT_EQ(Lookup(folder, "1", "SAME@example.org"), "third@example.org");
    EXPECT_EQ(std::string(dbErrStr(DB_DUPLICATE_KEY).text()), "duplicate key");
}

TEST_F(RelationTest, CaseInsensitiveSettingMakesCaseVariantsDuplicates) {
    folder.SetLookupSetting("YES");
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    ASSERT_EQ(AddAlias(&relation, "Mixed@Example.org", "owner@example.org"), DB_OK);
    EXPECT_EQ(AddAlias(&relation, "mixed@example.ORG", "other@example.org"), DB_DUPLICATE_KEY);
    EXPECT_EQ(AddAlias(&relation, "MIXED@EXAMPLE.ORG", "other@example.org"), DB_DUPLICATE_KEY);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(AddAlias(&relation, "Case" + std::to_string(i), "m"), DB_OK);
    for (int i = 0; i < 3000; i += 97)
        ASSERT_EQ(AddAlias(&relation, "cASE" + std::to_string(i), "m"), DB_DUPLICATE_KEY) << i;
    ASSERT_EQ(relation.close(), DB_OK);
    EXPECT_EQ(ReadBack(folder, "1").size(), 3001u);
    EXPECT_EQ(Lookup(folder, "1", "MIXED@example.org"), "owner@example.org");
}

TEST_F(RelationTest, ReopenedRelationKeepsItsRecordsAndTakesMore) {
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        for (unsigned long i = 0; i < 2000; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
    }
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation.status, DB_OK);
        EXPECT_EQ(relation.recordCount(), 2000u);
        // Every key present is refused, separators of the tree's branches included.
        for (unsigned long i = 0; i < 2000; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), "again"), DB_DUPLICATE_KEY) << i;
        EXPECT_EQ(relation.recordCount(), 2000u);
        for (unsigned long i = 2000; i < 4000; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
    }
    auto records = ReadBack(folder, "1");
    ASSERT_EQ(records.size(), 4000u);
    for (unsigned long i = 0; i < 4000; i += 37) EXPECT_EQ(Lookup(folder, "1", GeneratedAlias(i)), GeneratedMail(i));
}

// Tens of thousands of keys in scattered, ascending and descending order,
// the last with a cache of a few pages so that pages leave and come back.
TEST_F(RelationTest, ManyRecordsInAnyOrderStayFindableAndSorted) {
    struct Case {
        const char* generation;
        std::size_t cachePages;
        std::function<unsigned long(unsigned long)> order;
    };
    const unsigned long count = 30000;
    std::vector<Case> cases = {
        {"10", kDbCachePages, [](unsigned long i) { return i; }},
        {"11", kDbCachePages, [count](unsigned long i) { return count - 1 - i; }},
        {"12", 8, [](unsigned long i) { return i; }},
    };
    for (const Case& c : cases) {
        folder.WriteGeneration(c.generation);
        recordBase small;
        small.cachePages = c.cachePages;
        std::map<std::string, std::string> expected;
        {
            dbMailAlias relation(&small, folder.path.c_str(), c.generation);
            ASSERT_EQ(relation.status, DB_OK);
            for (unsigned long i = 0; i < count; ++i) {
                unsigned long n = c.order(i);
                // Ascending/descending by key for the sorted cases: zero-padded numbers.
                char alias[64];
                std::snprintf(alias, sizeof alias, "a%08lu@example.org", n);
                std::string key = c.cachePages == 8 ? GeneratedAlias(n) : std::string(alias);
                expected[key] = GeneratedMail(n);
                ASSERT_EQ(AddAlias(&relation, key, GeneratedMail(n)), DB_OK) << key;
            }
            EXPECT_EQ(relation.recordCount(), count);
            if (c.cachePages == 8) {
                for (const auto& record : expected)
                    ASSERT_EQ(AddAlias(&relation, record.first, "again"), DB_DUPLICATE_KEY) << record.first;
                EXPECT_EQ(relation.recordCount(), count);
            }
            ASSERT_EQ(relation.close(), DB_OK);
        }
        auto records = ReadBack(folder, c.generation);
        ASSERT_EQ(records.size(), expected.size()) << c.generation;
        if (c.cachePages != 8) {
            // Sorted input fills its leaves: 145 entries of 28 bytes fit a
            // page, so about 207 leaves hold the keys; half-full leaves
            // would take twice as many.
            struct stat info;
            ASSERT_EQ(stat(folder.File(std::string(c.generation) + ".id0").c_str(), &info), 0);
            std::size_t pages = (std::size_t(info.st_size) - 1048) / 4096;
            EXPECT_LT(pages, 230u) << c.generation;
        }
        std::vector<std::pair<std::string, std::string>> sorted(expected.begin(), expected.end());
        EXPECT_TRUE(records == sorted) << c.generation;
        for (unsigned long i = 0; i < count; i += 101) {
            auto it = std::next(expected.begin(), long(i));
            EXPECT_EQ(Lookup(folder, c.generation, it->first), it->second);
        }
        EXPECT_EQ(Lookup(folder, c.generation, "a99999999@example.org"), "<absent>");
        EXPECT_EQ(Lookup(folder, c.generation, ""), "<absent>");
    }
}

TEST_F(RelationTest, RunOfKeysIntoAFullLeafSplitsWhereBothSidesFit) {
    // Descending short keys fill the leftmost leaf exactly (313 entries of
    // 13 bytes; every 313th key starts a new leaf). A long key then goes on
    // the run just after the leaf's first key: splitting there would leave
    // the new key and 312 short ones on one side, which does not fit.
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    ASSERT_EQ(relation.status, DB_OK);
    std::map<std::string, std::string> expected;
    for (int i = 938; i >= 0; --i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%05d", i);
        expected[key] = "m";
        ASSERT_EQ(AddAlias(&relation, key, "m"), DB_OK) << key;
    }
    for (char c = 'a'; c <= 'e'; ++c) {
        std::string key = "k00000" + std::string(100, c);
        expected[key] = "n";
        ASSERT_EQ(AddAlias(&relation, key, "n"), DB_OK) << key;
    }
    ASSERT_EQ(relation.close(), DB_OK);
    auto records = ReadBack(folder, "1");
    std::vector<std::pair<std::string, std::string>> sorted(expected.begin(), expected.end());
    EXPECT_TRUE(records == sorted);
    EXPECT_EQ(Lookup(folder, "1", "k00000" + std::string(100, 'c')), "n");
    EXPECT_EQ(Lookup(folder, "1", "k00001"), "m");
}

TEST_F(RelationTest, LongKeysAndLongStrings) {
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    std::string longAlias(300, 'x');
    std::string longMail(100000, 'm');
    EXPECT_EQ(AddAlias(&relation, longAlias, longMail), DB_OK);
    // Stored cut to 127 characters, so a key equal in those is a duplicate.
    EXPECT_EQ(AddAlias(&relation, std::string(127, 'x') + "y", "other"), DB_DUPLICATE_KEY);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(AddAlias(&relation, std::string(120, 'k') + std::to_string(i), "m" + std::to_string(i)), DB_OK);
    ASSERT_EQ(relation.close(), DB_OK);
    auto records = ReadBack(folder, "1");
    ASSERT_EQ(records.size(), 501u);
    EXPECT_EQ(records.back().first, std::string(127, 'x'));
    EXPECT_EQ(records.back().second, longMail);
    EXPECT_EQ(Lookup(folder, "1", std::string(120, 'k') + "499"), "m499");
}

TEST_F(RelationTest, MissingOrForeignFilesLeaveTheRelationClosed) {
    recordBase db;
    {
        dbMailAlias relation(&db, folder.path.c_str(), "2"); // never created
        EXPECT_EQ(relation.status, DB_OPEN_FAILED);
        EXPECT_EQ(AddAlias(&relation, "a", "b"), DB_OPEN_FAILED);
        EXPECT_EQ(relation.sync(), DB_OPEN_FAILED);
        EXPECT_EQ(relation.recordCount(), 0u);
    }
    {
        dbMailAlias relation(&db, (folder.path + "/nowhere").c_str(), "1");
        EXPECT_EQ(relation.status, DB_OPEN_FAILED);
    }
    // A folder where a file should be.
    folder.WriteGeneration("3");
    unlink(folder.File("3.str").c_str());
    mkdir(folder.File("3.str").c_str(), 0700);
    {
        dbMailAlias relation(&db, folder.path.c_str(), "3");
        EXPECT_EQ(relation.status, DB_OPEN_FAILED);
    }
    // Damaged headers and sizes.
    auto damaged = [&](const std::string& file, std::size_t at, const std::string& bytes) {
        folder.WriteGeneration("4");
        std::string content = ReadWholeFile(folder.File(file));
        content.replace(at, bytes.size(), bytes);
        WriteWholeFile(folder.File(file), content);
        dbMailAlias relation(&db, folder.path.c_str(), "4");
        return relation.status;
    };
    EXPECT_EQ(damaged("4.db", 0x73, std::string("\x85\0\0\0", 4)), DB_OK); // read from the file...
    {
        dbMailAlias relation(&db, folder.path.c_str(), "4");
        EXPECT_EQ(AddAlias(&relation, "a", "b"), DB_BAD_RECORD); // ...and must fit the record
        EXPECT_EQ(relation.recordCount(), 0u);
    }
    EXPECT_EQ(damaged("4.db", 0x00, std::string("\xff\xff\0\0", 4)), DB_BAD_FORMAT);
    EXPECT_EQ(damaged("4.id0", 0x00, std::string("\0\0\0\0", 4)), DB_BAD_FORMAT);
    EXPECT_EQ(damaged("4.db", 643, std::string("extra")), DB_BAD_FORMAT);
    EXPECT_EQ(damaged("4.str", 12, std::string("x")), DB_BAD_FORMAT);
    EXPECT_EQ(damaged("4.id0", 1048, std::string("y")), DB_BAD_FORMAT);
}

TEST_F(RelationTest, ReopeningCatchesFilesThatDisagree) {
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        for (unsigned long i = 0; i < 100; ++i) ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
    }
    std::string db = ReadWholeFile(folder.File("1.db"));
    WriteWholeFile(folder.File("1.db"), db.substr(0, db.size() - 132)); // one record lost
    dbMailAlias relation(&database, folder.path.c_str(), "1");
    EXPECT_EQ(relation.status, DB_BAD_FORMAT);
}

TEST_F(RelationTest, DamagedIndexEntriesAreRefusedNotFollowed) {
    // The root leaf is page 1 of a one-record relation; its first slot
    // names the entry, whose length byte follows the record number.
    const std::size_t leaf = 1048 + 4096;
    struct Damage {
        const char* what;
        std::size_t offsetInPage;  // 0: the length byte of slot 0's entry
        unsigned char value;
    };
    for (const Damage& damage : {Damage{"key longer than the key length", 0, 200},
                                 Damage{"entry past the page's end", 16, 0xff},
                                 Damage{"heap inside the slots", 4, 0x08}}) {
        folder.WriteGeneration("1");
        {
            dbMailAlias relation(&database, folder.path.c_str(), "1");
            ASSERT_EQ(AddAlias(&relation, "m@example.org", "x"), DB_OK);
            ASSERT_EQ(relation.close(), DB_OK);
        }
        std::string index = ReadWholeFile(folder.File("1.id0"));
        ASSERT_GE(index.size(), leaf + 4096);
        std::size_t at = damage.offsetInPage;
        if (at == 0) {
            std::size_t entry = static_cast<unsigned char>(index[leaf + 16]) |
                                static_cast<unsigned char>(index[leaf + 17]) << 8;
            at = entry + 4;
        }
        index[leaf + at] = static_cast<char>(damage.value);
        if (at == 16 || at == 4) index[leaf + at + 1] = static_cast<char>(at == 16 ? 0x0f : 0x00);
        WriteWholeFile(folder.File("1.id0"), index);
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation.status, DB_OK) << damage.what;  // the meta page is sound
        EXPECT_EQ(AddAlias(&relation, "a@example.org", "y"), DB_BAD_FORMAT) << damage.what;
        EXPECT_EQ(AddAlias(&relation, "z@example.org", "y"), DB_BAD_FORMAT) << damage.what;
    }
}

TEST_F(RelationTest, OneWriterAtATime) {
    dbMailAlias first(&database, folder.path.c_str(), "1");
    ASSERT_EQ(first.status, DB_OK);
    {
        dbMailAlias second(&database, folder.path.c_str(), "1");
        EXPECT_EQ(second.status, DB_LOCKED);
        EXPECT_EQ(AddAlias(&second, "a@example.org", "b"), DB_LOCKED);
    }
    EXPECT_EQ(AddAlias(&first, "a@example.org", "b"), DB_OK);
    EXPECT_EQ(first.close(), DB_OK);
    dbMailAlias third(&database, folder.path.c_str(), "1"); // free again after close
    EXPECT_EQ(third.status, DB_OK);
}

// Another build writing the same generation truncates its files back to the
// images: the relation must not report such files as complete.
TEST_F(RelationTest, FilesChangedUnderTheRelationAreReported) {
    for (const char* file : {"1.db", "1.str", "1.id0"}) {
        folder.WriteGeneration("1");
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        for (unsigned long i = 0; i < 3000; ++i) ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.sync(), DB_OK);
        std::string name = file;
        std::string image = name == "1.db"    ? std::string(reinterpret_cast<const char*>(kAliasRelationImage), 643)
                            : name == "1.str" ? std::string(12, '\0')
                                              : std::string(reinterpret_cast<const char*>(kAliasIndexImage), 1048);
        WriteWholeFile(folder.File(file), image);
        for (unsigned long i = 3000; i < 3100; ++i) AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i));
        EXPECT_EQ(relation.sync(), DB_FILE_CHANGED) << file;
        EXPECT_EQ(relation.close(), DB_FILE_CHANGED) << file;
    }
}

// Writes past RLIMIT_FSIZE fail with EFBIG, as on a full disk: the failure
// shows at the flush, is returned by sync() and close() and sticks.
TEST_F(RelationTest, RefusedWritesAreReportedAndStick) {
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    dbError addResult = DB_OK, syncResult, closeResult, laterAdd;
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation.status, DB_OK);
        struct rlimit small = saved;
        small.rlim_cur = 20000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        for (unsigned long i = 0; i < 400 && addResult == DB_OK; ++i)
            addResult = AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i));
        syncResult = relation.sync();
        laterAdd = AddAlias(&relation, "later@example.org", "x");
        closeResult = relation.close();
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(addResult == DB_OK || addResult == DB_WRITE_ERROR) << addResult;
    EXPECT_EQ(syncResult, DB_WRITE_ERROR);
    EXPECT_EQ(laterAdd, DB_WRITE_ERROR);
    EXPECT_EQ(closeResult, DB_WRITE_ERROR);
    EXPECT_EQ(std::string(dbErrStr(syncResult).text()), "write error");
}

TEST_F(RelationTest, RefusedIndexPageWritesAreReported) {
    // Records fit, the index pages do not: the first page lies past the limit.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    dbError syncResult;
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        struct rlimit small = saved;
        small.rlim_cur = 4000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_EQ(AddAlias(&relation, "a@example.org", "b@example.org"), DB_OK);
        syncResult = relation.sync();
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(syncResult, DB_WRITE_ERROR);
}

TEST_F(RelationTest, IndexWriteCutInsideARunOfPagesIsReported) {
    // Long keys make the index the largest file: the records and strings
    // fit under the limit, the run of index pages written at sync does not.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    dbError syncResult, closeResult;
    off_t indexSize = 0;
    {
        dbMailAlias relation(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation.status, DB_OK);
        for (unsigned long i = 0; i < 400; ++i) {
            std::string alias = std::string(110, 'k') + GeneratedAlias(i);
            ASSERT_EQ(AddAlias(&relation, alias.substr(0, 127), "m"), DB_OK);
        }
        struct rlimit small = saved;
        small.rlim_cur = 70000 + 100;  // not on a page boundary
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        syncResult = relation.sync();
        closeResult = relation.close();
        setrlimit(RLIMIT_FSIZE, &saved);
        struct stat info;
        ASSERT_EQ(stat(folder.File("1.id0").c_str(), &info), 0);
        indexSize = info.st_size;
    }
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(syncResult, DB_WRITE_ERROR);
    EXPECT_EQ(closeResult, DB_WRITE_ERROR);
    EXPECT_EQ(indexSize, 70100);  // written up to the limit, then refused
}

TEST(DbDataTest, GrowsCopiesAndConcatenates) {
    dbData empty;
    EXPECT_STREQ(empty.text(), "");
    EXPECT_EQ(empty.length(), 0u);
    dbData text("abc");
    EXPECT_TRUE(text.cat("def"));
    EXPECT_STREQ(text.text(), "abcdef");
    EXPECT_TRUE(text.cat(text.text())); // appending itself
    EXPECT_STREQ(text.text(), "abcdefabcdef");
    dbData sum = text + "!";
    EXPECT_STREQ(sum.text(), "abcdefabcdef!");
    EXPECT_STREQ(text.text(), "abcdefabcdef");
    EXPECT_TRUE(sum.cpy("x"));
    EXPECT_STREQ(sum.text(), "x");
    EXPECT_TRUE(sum.cpy(text));
    EXPECT_STREQ(sum.text(), "abcdefabcdef");
    EXPECT_TRUE(sum.createCharPtr(nullptr));
    EXPECT_STREQ(sum.text(), "");
    std::string big;
    dbData grown;
    for (int i = 0; i < 10000; ++i) {
        grown.cat("0123456789");
        big += "0123456789";
    }
    EXPECT_EQ(std::string(grown.text()), big);
    dbData copy(grown);
    copy = copy;
    EXPECT_EQ(std::string(copy.text()), big);
    EXPECT_TRUE(copy.ok());
}

TEST(DbDataTest, StrNcpyBoundsTerminatesAndPads) {
    char field[8 + 4];
    std::memset(field, '#', sizeof field);
    strNcpy(field, "abcdefghijk", 8);
    EXPECT_STREQ(field, "abcdefg");
    EXPECT_EQ(std::string(field + 8, 4), "####"); // nothing past the field
    strNcpy(field, "ab", 8);
    EXPECT_EQ(std::string(field, 8), std::string("ab\0\0\0\0\0\0", 8));
    strNcpy(field, nullptr, 8);
    EXPECT_EQ(field[0], '\0');
    EXPECT_EQ(std::string(dbErrStr(12345).text()), "unknown database result 12345");
    EXPECT_EQ(std::string(dbErrStr(DB_OK).text()), "no error");
}

}  // namespace
