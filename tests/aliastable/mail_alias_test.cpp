// The alias record and relation: the empty-table images byte for byte, the
// relation's answers to the database component, and the key comparison
// under each value of the lookup setting.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/disk_images.h"
#include "aliastable/mail_alias.h"
#include "tests/platform/db_test_support.h"

namespace {

// Builds an image from (offset, bytes) pieces; all other bytes 0.
struct Piece {
    std::size_t offset;
    std::vector<unsigned char> bytes;
};

std::vector<unsigned char> Image(std::size_t size, const std::vector<Piece>& pieces) {
    std::vector<unsigned char> image(size, 0);
    for (const Piece& piece : pieces) {
        EXPECT_LE(piece.offset + piece.bytes.size(), size);
        std::copy(piece.bytes.begin(), piece.bytes.end(), image.begin() + long(piece.offset));
    }
    return image;
}

std::vector<unsigned char> Text(const char* text) {
    return std::vector<unsigned char>(text, text + std::strlen(text) + 1);
}

std::vector<unsigned char> Repeat(unsigned char byte, std::size_t count) {
    return std::vector<unsigned char>(count, byte);
}

std::vector<unsigned char> Join(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(DiskImagesTest, RelationImageIsExact) {
    std::vector<unsigned char> expected = Image(
        643, {{0x00, {0x73, 0, 0, 0}}, {0x04, {0xAD, 0xBE, 0, 0}}, {0x08, {2, 0, 0, 0}},
              {0x0C, {0xBE, 0xBA, 0, 0}}, {0x10, {8, 0, 0, 0}}, {0x14, {0x80, 0, 0, 0}},
              {0x18, {8, 0, 0, 0}}, {0x1C, Text("szAlias")}, {0x24, {0xBE, 0xBA, 0, 0}},
              {0x28, {0x0A, 0, 0, 0}}, {0x2C, {4, 0, 0, 0}}, {0x30, {7, 0, 0, 0}},
              {0x34, Text("szMail")}, {0x3B, {0xEA, 0x1D, 0, 0}}, {0x3F, {1, 0, 0, 0}},
              {0x43, {0xED, 0xFE, 0, 0}}, {0x47, {1, 0, 0, 0}}, {0x4B, {0, 0, 0, 0}},
              {0x4F, Repeat(0xFF, 36)}, {0x73, {0x84, 0, 0, 0}}, {0x77, {0, 0x10, 0, 0}}});
    ASSERT_EQ(kAliasRelationImageSize, 643u);
    EXPECT_EQ(std::vector<unsigned char>(kAliasRelationImage, kAliasRelationImage + 643), expected);
}

TEST(DiskImagesTest, IndexAndStringImagesAreExact) {
    std::vector<unsigned char> expected = Image(
        1048, {{0x000, {0x80, 0, 0, 0}},
               {0x008, {0, 2, 0, 0, 0, 0x10, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x80, 0, 0, 0}},
               {0x218, Join({1, 0, 0, 0}, Repeat(0xFF, 12))},
               {0x22C, Join({0x80, 0, 0, 0, 8, 0, 0, 0}, Text("szAlias"))},
               {0x23C, Join({0xBE, 0xBA, 0, 0, 0x0A, 0, 0, 0, 4, 0, 0, 0, 7, 0, 0, 0}, Text("szMail"))},
               {0x253, {0xEA, 0x1D, 0, 0, 1, 0, 0, 0, 0xED, 0xFE, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
               {0x267, Repeat(0xFF, 36)}});
    ASSERT_EQ(kAliasIndexImageSize, 1048u);
    EXPECT_EQ(std::vector<unsigned char>(kAliasIndexImage, kAliasIndexImage + 1048), expected);
    ASSERT_EQ(kAliasStringImageSize, 12u);
    EXPECT_EQ(std::vector<unsigned char>(kAliasStringImage, kAliasStringImage + 12), Repeat(0, 12));
}

class MailAliasTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.SetLookupSetting(nullptr);
        folder.WriteGeneration("1");
        relation = new dbMailAlias(&database, folder.path.c_str(), "1");
        ASSERT_EQ(relation->status, DB_OK);
    }
    void TearDown() override { delete relation; }

    // Writes the comparison setting and opens the relation again, since a
    // relation reads it when it opens.
    void UseSetting(const char* value) {
        folder.SetLookupSetting(value);
        delete relation;
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

TEST_F(MailAliasTest, FreshObjectHoldsAnEmptyRecord) {
    const unsigned char* record = static_cast<const unsigned char*>(relation->recordAddress());
    EXPECT_EQ(std::vector<unsigned char>(record, record + 132), Repeat(0, 132));
    EXPECT_STREQ(relation->szMail.text(), "");
    EXPECT_EQ(relation->recordCount(), 0u);
    EXPECT_STREQ(relation->relationName(), "1");
    EXPECT_EQ(sizeof(dbMailAliasStr), 132u);
}

TEST_F(MailAliasTest, AnswersTheComponentsQuestions) {
    EXPECT_EQ(relation->recordLength(), 132);
    EXPECT_EQ(relation->keyCount(), 1);
    EXPECT_EQ(relation->keyLength(0), 128);
    EXPECT_EQ(relation->keyLength(-1), 0);
    EXPECT_EQ(relation->keyFlag(0), 0);
    EXPECT_EQ(relation->keyFlag(-1), 0);
    EXPECT_EQ(relation->zeroQuery(), 0);
    EXPECT_EQ(relation->minusOneQuery(), -1);
    void* record = static_cast<dbMailAliasStr*>(relation);
    EXPECT_EQ(relation->recordAddress(), record);
    EXPECT_EQ(relation->recordAddressB(), record);
    EXPECT_EQ(relation->recordAddressC(), record);
    REC_buffer* buffers = relation->recordBuffers();
    EXPECT_EQ(buffers[0].record, record);
    EXPECT_EQ(buffers[0].strings, static_cast<void*>(static_cast<_Strings_dbMailAliasStr*>(relation)));
    // Through the interface as the component sees it.
    REC_object* object = relation;
    EXPECT_EQ(object->recordLength(), 132);
}

TEST_F(MailAliasTest, KeysAreCopiedBoundedAndPadded) {
    relation->setKey("alias@example.org", 0);
    EXPECT_STREQ(relation->szAlias, "alias@example.org");
    char* key = relation->getKey(0);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(std::string(key, 128), std::string("alias@example.org") + std::string(128 - 17, '\0'));
    delete[] key;
    char* viaIndex = (*relation)[0];
    EXPECT_STREQ(viaIndex, "alias@example.org");
    delete[] viaIndex;
    delete[] relation->getKey(-1);

    std::string tooLong(200, 'z');
    relation->setKey(tooLong.c_str(), 0);
    EXPECT_EQ(std::string(relation->szAlias), std::string(127, 'z'));
    relation->setKey("ignored", 1);
    relation->setKey("ignored", -1);
    EXPECT_EQ(std::string(relation->szAlias), std::string(127, 'z'));
    EXPECT_EQ(relation->recordWord, 0u);
}

TEST_F(MailAliasTest, ExactComparisonWithoutTheSetting) {
    EXPECT_NE(Compare("abc", "ABC"), 0);
    EXPECT_GT(Compare("abc", "ABC"), 0); // 'a' (0x61) sorts after 'A' (0x41)
    EXPECT_LT(Compare("abc", "abd"), 0);
    EXPECT_EQ(Compare("abc", "abc"), 0);
    EXPECT_LT(Compare("ab", "abc"), 0);
    EXPECT_GT(Compare("\xe9t\xe9", "zzz"), 0); // bytes compare unsigned
    relation->setKey("abc", 0);
    EXPECT_TRUE(relation->isLessThan("abd", 0));
    EXPECT_FALSE(relation->isLessThan("abc", 0));
    EXPECT_TRUE(relation->isEqual("abc", 0));
    EXPECT_FALSE(relation->isEqual("ABC", 0));
    // At most 128 bytes take part: a key without terminator is not overread.
    std::string longKey(127, 'q');
    EXPECT_LT(Compare(longKey.c_str(), (longKey + "r").c_str()), 0);
}

TEST_F(MailAliasTest, SettingYesInAnyCaseIgnoresLetterCase) {
    for (const char* value : {"YES", "yes", "Yes", "yEs"}) {
        UseSetting(value);
        EXPECT_EQ(Compare("abc", "ABC"), 0) << value;
        EXPECT_EQ(Compare("Mixed@Example.ORG", "mixed@example.org"), 0) << value;
        EXPECT_LT(Compare("ABC", "abd"), 0) << value;
        EXPECT_TRUE(relation->isEqual("aBc", 0)) << value;
        EXPECT_NE(Compare("\xc9", "\xe9"), 0) << value; // only ASCII letters fold
    }
}

TEST_F(MailAliasTest, OtherSettingValuesCompareExactly) {
    for (const char* value : {"NO", "no", "TRUE", "1", "", "Y", "YESS"}) {
        UseSetting(value);
        EXPECT_NE(Compare("abc", "ABC"), 0) << "[" << value << "]";
        EXPECT_EQ(Compare("abc", "abc"), 0) << value;
    }
}

TEST_F(MailAliasTest, SettingIsReadWhenTheRelationOpens) {
    UseSetting("YES");
    EXPECT_EQ(Compare("abc", "ABC"), 0);
    // A change of the file does not reorder an open relation's keys.
    folder.SetLookupSetting("NO");
    EXPECT_EQ(Compare("abc", "ABC"), 0);
    UseSetting("NO");
    EXPECT_NE(Compare("abc", "ABC"), 0);
    UseSetting("yes");
    EXPECT_EQ(Compare("abc", "ABC"), 0);
    unlink(folder.File("xomta.ini").c_str()); // no file: the default "NO"
    delete relation;
    relation = new dbMailAlias(&database, folder.path.c_str(), "1");
    EXPECT_NE(Compare("abc", "ABC"), 0);
}

TEST_F(MailAliasTest, IndicesOtherThanZeroCompareEqual) {
    for (const char* value : {static_cast<const char*>(nullptr), "YES"}) {
        UseSetting(value);
        EXPECT_EQ(Compare("abc", "xyz", 1), 0);
        EXPECT_EQ(Compare("abc", "xyz", -1), 0);
        EXPECT_EQ(Compare("abc", "xyz", 7), 0);
        EXPECT_TRUE(relation->isEqual("xyz", 1));
        EXPECT_FALSE(relation->isLessThan("xyz", 1));
    }
}

}  // namespace
