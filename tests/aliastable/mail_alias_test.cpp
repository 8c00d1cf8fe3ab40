// The alias record and relation: the empty-table images byte for byte, the
// record and key shape, and the key comparison under each lookup setting.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"
#include "tests/support/db_test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

// An image of `size` zero bytes with the (offset, bytes) pieces laid in.
Bytes Image(std::size_t size, const std::vector<std::pair<std::size_t, Bytes>>& pieces) {
    Bytes image(size, 0);
    for (const auto& [at, bytes] : pieces) std::copy(bytes.begin(), bytes.end(), image.begin() + long(at));
    return image;
}
Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text) + 1); }
Bytes Join(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

TEST(DiskImagesTest, EmptyTableImagesAreExact) {
    Bytes relation =
        Image(643, {{0x00, {0x73, 0, 0, 0}},    {0x04, {0xAD, 0xBE, 0, 0}}, {0x08, {2, 0, 0, 0}},
                    {0x0C, {0xBE, 0xBA, 0, 0}}, {0x10, {8, 0, 0, 0}},       {0x14, {0x80, 0, 0, 0}},
                    {0x18, {8, 0, 0, 0}},       {0x1C, Text("szAlias")},    {0x24, {0xBE, 0xBA, 0, 0}},
                    {0x28, {0x0A, 0, 0, 0}},    {0x2C, {4, 0, 0, 0}},       {0x30, {7, 0, 0, 0}},
                    {0x34, Text("szMail")},     {0x3B, {0xEA, 0x1D, 0, 0}}, {0x3F, {1, 0, 0, 0}},
                    {0x43, {0xED, 0xFE, 0, 0}}, {0x47, {1, 0, 0, 0}},       {0x4B, {0, 0, 0, 0}},
                    {0x4F, Bytes(36, 0xFF)},    {0x73, {0x84, 0, 0, 0}},    {0x77, {0, 0x10, 0, 0}}});
    Bytes index =
        Image(1048, {{0x000, {0x80, 0, 0, 0}},
                     {0x008, {0, 2, 0, 0, 0, 0x10, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x80, 0, 0, 0}},
                     {0x218, Join({1, 0, 0, 0}, Bytes(12, 0xFF))},
                     {0x22C, Join({0x80, 0, 0, 0, 8, 0, 0, 0}, Text("szAlias"))},
                     {0x23C, Join({0xBE, 0xBA, 0, 0, 0x0A, 0, 0, 0, 4, 0, 0, 0, 7, 0, 0, 0}, Text("szMail"))},
                     {0x253, {0xEA, 0x1D, 0, 0, 1, 0, 0, 0, 0xED, 0xFE, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
                     {0x267, Bytes(36, 0xFF)}});
    EXPECT_EQ(Bytes(kAliasRelationImage, kAliasRelationImage + kAliasRelationImageSize), relation);
    EXPECT_EQ(Bytes(kAliasIndexImage, kAliasIndexImage + kAliasIndexImageSize), index);
    EXPECT_EQ(Bytes(kAliasStringImage, kAliasStringImage + kAliasStringImageSize), Bytes(12, 0));
}

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

TEST_F(MailAliasTest, RecordAndKeyShape) {
    EXPECT_EQ(sizeof(dbMailAliasStr), 132u);
    EXPECT_EQ(relation->recordLength(), 132);
    EXPECT_EQ(relation->keyCount(), 1);
    EXPECT_EQ(relation->keyLength(0), 128);
    EXPECT_EQ(relation->keyLength(-1), 0);
    relation->setKey(std::string(200, 'z').c_str(), 0);
    EXPECT_EQ(std::string(relation->szAlias), std::string(127, 'z'));
    relation->setKey("alias@example.org", 0);
    char* key = relation->getKey(0);
    EXPECT_EQ(std::string(key, 128), "alias@example.org" + std::string(128 - 17, '\0'));
    delete[] key;
}

TEST_F(MailAliasTest, KeyComparisonUnderEachSettingReadWhenOpening) {
    struct Case {
        const char* setting;
        bool folds;
    };
    for (Case c : {Case{nullptr, false},
                   {"YES", true},
                   {"yes", true},
                   {"yEs", true},
                   {"NO", false},
                   {"TRUE", false},
                   {"", false},
                   {"YESS", false}}) {
        Open(c.setting);
        std::string at = c.setting ? c.setting : "<absent>";
        EXPECT_EQ(Compare("Mixed@Example.ORG", "mixed@example.org") == 0, c.folds) << at;
        EXPECT_EQ(Compare("abc", "ABC") > 0, !c.folds) << at;  // exact: 'a' sorts after 'A'
        EXPECT_LT(Compare("ABC", "abd"), 0) << at;
        EXPECT_LT(Compare("ab", "abc"), 0) << at;
        EXPECT_GT(Compare("\xe9t\xe9", "zzz"), 0) << at;  // bytes compare unsigned
        EXPECT_NE(Compare("\xc9", "\xe9"), 0) << at;      // only ASCII letters fold
        std::string longKey(127, 'q');                    // at most 128 bytes take part
        EXPECT_LT(Compare(longKey.c_str(), (longKey + "r").c_str()), 0) << at;
        relation->setKey("abc", 0);
        EXPECT_EQ(relation->isEqual("aBc", 0), c.folds) << at;
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
