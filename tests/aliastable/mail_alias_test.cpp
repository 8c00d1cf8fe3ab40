// The alias relation: a fresh generation as the reader sees it, and the key
// comparison under each lookup setting. (Records, cut keys and the index are
// the record database's tests.)
#include <string>

#include <gtest/gtest.h>

#include "aliastable/alias_reader.h"
#include "aliastable/mail_alias.h"
#include "tests/support/db_test_support.h"

namespace {

class MailAliasTest : public ::testing::Test {
protected:
    void SetUp() override { Open(nullptr); }
    void TearDown() override { delete relation; }

    // Writes the comparison setting (null: none) and opens the relation anew.
    void Open(const char* setting) {
        folder.SetLookupSetting(setting);
        delete relation;
        folder.WriteGeneration("1");
        relation = new dbMailAlias(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation->status, DB_OK);
    }
    int Compare(const char* stored, const char* key, long index = 0) {
        strNcpy(relation->szAlias, stored, sizeof relation->szAlias);
        return relation->compareKey(key, index);
    }

    ScratchFolder folder;
    recordBase database;
    dbMailAlias* relation = nullptr;
};

TEST_F(MailAliasTest, FreshGenerationIsAnEmptyTableToTheReader) {
    AliasTable table;
    EXPECT_TRUE(OpenAliasTable(folder.path.c_str(), "1", &table) && CheckAliasTable(&table)) << table.error;
    const char* mail = nullptr;
    EXPECT_EQ(table.records, 0u);
    EXPECT_EQ(LookupAlias(&table, "alias@example.org", &mail), ALIAS_NOT_FOUND);
    CloseAliasTable(&table);
}

TEST_F(MailAliasTest, KeyComparisonUnderEachSettingReadWhenOpening) {
    // The settings that fold letter case; absent, "NO" and any other text compare exactly.
    for (const char* setting : {"YES", "yes", "yEs", "NO", "TRUE", "", "YESS", (const char*)nullptr}) {
        Open(setting);
        std::string at = setting ? setting : "<absent>";
        bool folds = at == "YES" || at == "yes" || at == "yEs";
        EXPECT_EQ(Compare("Mixed@Example.ORG", "mixed@example.org") == 0, folds) << at;
        EXPECT_EQ(Compare("abc", "ABC") > 0, !folds) << at;  // exact: 'a' sorts after 'A'
        EXPECT_LT(Compare("ABC", "abd"), 0) << at;
        EXPECT_LT(Compare("ab", "abc"), 0) << at;
        EXPECT_GT(Compare("\xe9t\xe9", "zzz"), 0) << at;  // bytes compare unsigned
        EXPECT_NE(Compare("\xc9", "\xe9"), 0) << at;      // only ASCII letters fold
        std::string longKey(127, 'q');                    // at most 128 bytes take part
        EXPECT_LT(Compare(longKey.c_str(), (longKey + "r").c_str()), 0) << at;
        relation->setKey("abc", 0);
        EXPECT_EQ(relation->isEqual("aBc", 0), folds) << at;
        EXPECT_TRUE(relation->isLessThan("abd", 0)) << at;
        // Indices other than 0 always compare equal.
        for (long index : {1L, -1L, 7L}) EXPECT_EQ(Compare("abc", "xyz", index), 0) << at << index;
        EXPECT_FALSE(relation->isLessThan("xyz", 1)) << at;
    }
    Open("YES");
    folder.SetLookupSetting("NO");  // an open relation keeps its order
    EXPECT_EQ(Compare("abc", "ABC"), 0);
    Open("NO");
    EXPECT_NE(Compare("abc", "ABC"), 0);
}

}  // namespace
