// The aliastable tool run as a process (lookup, dump, check) on tables the
// relation wrote, and on tables damaged in the ways a disk or a careless
// program damages them; the reader must refuse, never crash or misanswer.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/alias_reader.h"
#include "platform/db_format.h"
#include "tests/platform/db_test_support.h"
#include "tests/support/run_cgi.h"

namespace {

const std::string kTool = std::string(LDAPCGI_BINARY_DIR) + "/aliastable";

class AliasToolTest : public ::testing::Test {
protected:
    void SetUp() override { folder.SetLookupSetting(nullptr); }

    // Generation "5" with `count` generated records plus two known ones.
    void Build(unsigned long count) {
        folder.WriteGeneration("5");
        recordBase database;
        dbMailAlias relation(&database, folder.path.c_str(), "5");
        ASSERT_EQ(relation.status, DB_OK);
        ASSERT_EQ(AddAlias(&relation, "postmaster@example.org", "admin@example.org"), DB_OK);
        ASSERT_EQ(AddAlias(&relation, "Sales@Example.org", "jane@example.org"), DB_OK);
        for (unsigned long i = 0; i < count; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
    }

    ProcessResult Tool(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {kTool};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv, {{"XOMTA_CONFIG_DIR", folder.path}}, "");
    }

    // Overwrites bytes of a generation file.
    void Patch(const std::string& file, std::size_t offset, const std::string& bytes) {
        std::string content = ReadWholeFile(folder.File(file));
        ASSERT_LE(offset + bytes.size(), content.size());
        content.replace(offset, bytes.size(), bytes);
        WriteWholeFile(folder.File(file), content);
    }

    uint32_t IndexWord(std::size_t offset) {
        std::string index = ReadWholeFile(folder.File("5.id0"));
        return GetU32(reinterpret_cast<const unsigned char*>(index.data()) + offset);
    }

    static std::size_t PageAt(uint32_t page) { return kDbIndexHeaderSize + std::size_t(page) * kDbPageSize; }

    static std::string Word(uint32_t value) {
        unsigned char bytes[4];
        PutU32(bytes, value);
        return std::string(reinterpret_cast<char*>(bytes), 4);
    }

    ScratchFolder folder;
};

TEST_F(AliasToolTest, LookupPrintsThePrimaryAddress) {
    Build(5000);
    ProcessResult found = Tool({"lookup", folder.path, "5", "postmaster@example.org"});
    EXPECT_EQ(found.exitStatus, 0) << found.err;
    EXPECT_EQ(found.out, "admin@example.org\n");
    found = Tool({"lookup", folder.path, "5", GeneratedAlias(4321)});
    EXPECT_EQ(found.out, GeneratedMail(4321) + "\n");

    ProcessResult absent = Tool({"lookup", folder.path, "5", "nobody@example.org"});
    EXPECT_EQ(absent.exitStatus, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_NE(absent.err.find("no alias"), std::string::npos);
    // Exact comparison unless the setting says otherwise.
    EXPECT_EQ(Tool({"lookup", folder.path, "5", "sales@example.org"}).exitStatus, 1);
}

TEST_F(AliasToolTest, LookupFollowsTheCaseSetting) {
    folder.SetLookupSetting("YES");
    Build(500);
    ProcessResult found = Tool({"lookup", folder.path, "5", "SALES@EXAMPLE.ORG"});
    EXPECT_EQ(found.exitStatus, 0) << found.err;
    EXPECT_EQ(found.out, "jane@example.org\n");
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 0);
    // Read under exact comparison, the case-folded order does not hold.
    folder.SetLookupSetting("NO");
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("UseCaseSensitiveAliasLookup"), std::string::npos) << check.err;
}

TEST_F(AliasToolTest, DumpListsEveryRecordInKeyOrder) {
    Build(3000);
    ProcessResult dump = Tool({"dump", folder.path, "5"});
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    std::vector<std::string> expected = {"Sales@Example.org\tjane@example.org",
                                         "postmaster@example.org\tadmin@example.org"};
    for (unsigned long i = 0; i < 3000; ++i) expected.push_back(GeneratedAlias(i) + "\t" + GeneratedMail(i));
    std::sort(expected.begin(), expected.end());
    std::string text;
    for (const std::string& line : expected) text += line + "\n";
    EXPECT_EQ(dump.out, text);
}

TEST_F(AliasToolTest, CheckSummarisesASoundTable) {
    Build(20000);
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 0) << check.err;
    EXPECT_EQ(check.out.rfind("sound: 20002 records, ", 0), 0u) << check.out;
    EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 1);
}

TEST_F(AliasToolTest, EmptyGenerationIsASoundEmptyTable) {
    folder.WriteGeneration("5");
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 0) << check.err;
    EXPECT_EQ(check.out.rfind("sound: 0 records, 0 index pages", 0), 0u) << check.out;
    ProcessResult dump = Tool({"dump", folder.path, "5"});
    EXPECT_EQ(dump.exitStatus, 0);
    EXPECT_EQ(dump.out, "");
    EXPECT_EQ(Tool({"lookup", folder.path, "5", "x"}).exitStatus, 1);
    // Opened and closed without records, it stays a sound empty table.
    {
        recordBase database;
        dbMailAlias relation(&database, folder.path.c_str(), "5");
        EXPECT_EQ(relation.close(), DB_OK);
    }
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 0);
}

TEST_F(AliasToolTest, WrongUsageAndMissingFiles) {
    EXPECT_EQ(Tool({}).exitStatus, 2);
    EXPECT_EQ(Tool({"lookup", folder.path, "5"}).exitStatus, 2);
    EXPECT_EQ(Tool({"list", folder.path, "5"}).exitStatus, 2);
    EXPECT_NE(Tool({"check", folder.path}).err.find("usage"), std::string::npos);
    ProcessResult missing = Tool({"check", folder.path, "77"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
    EXPECT_EQ(Tool({"lookup", folder.path, "77", "a"}).exitStatus, 2);
}

TEST_F(AliasToolTest, CheckFindsTruncatedStrings) {
    Build(100);
    std::string strings = ReadWholeFile(folder.File("5.str"));
    WriteWholeFile(folder.File("5.str"), strings.substr(0, strings.size() - 3));
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("5.str"), std::string::npos) << check.err;
    EXPECT_EQ(check.out, "");
}

TEST_F(AliasToolTest, CheckFindsKeysOutOfOrder) {
    Build(100);
    uint32_t leaf = IndexWord(PageAt(0) + kMetaFirstLeaf);
    std::size_t slots = PageAt(leaf) + kNodeHeadSize;
    uint32_t first = IndexWord(slots) & 0xFFFF, second = IndexWord(slots + 2) & 0xFFFF;
    std::string swapped = Word(second | first << 16).substr(0, 4);
    Patch("5.id0", slots, swapped);
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("out of order"), std::string::npos) << check.err;
}

TEST_F(AliasToolTest, CheckFindsChangedHeaders) {
    for (const auto& change : std::vector<std::pair<std::string, std::size_t>>{
             {"5.db", 0x50}, {"5.db", 0x200}, {"5.id0", 0x230}, {"5.str", 5}}) {
        Build(10);
        Patch(change.first, change.second, "\x01");
        ProcessResult check = Tool({"check", folder.path, "5"});
        EXPECT_EQ(check.exitStatus, 1) << change.first << " " << change.second;
        EXPECT_NE(check.err.find("header differs"), std::string::npos) << check.err;
    }
}

TEST_F(AliasToolTest, CheckFindsWrongCounts) {
    Build(100);
    Patch("5.id0", PageAt(0) + kMetaRecordCount, Word(101));
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("index counts 101 records, 5.db holds 102"), std::string::npos) << check.err;

    Build(100);
    std::string db = ReadWholeFile(folder.File("5.db"));
    WriteWholeFile(folder.File("5.db"), db + db.substr(db.size() - 132)); // one record too many
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 1);
}

TEST_F(AliasToolTest, CheckFindsRecordsThatDisagreeWithTheIndex) {
    Build(100);
    Patch("5.db", kDbRelationHeaderSize + 4, "X"); // record 0's alias
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("record 0 holds"), std::string::npos) << check.err;
    ProcessResult lookup = Tool({"lookup", folder.path, "5", "postmaster@example.org"});
    EXPECT_EQ(lookup.exitStatus, 2); // the index names a record that holds another alias
    EXPECT_NE(lookup.err.find("damaged"), std::string::npos) << lookup.err;

    Build(100);
    Patch("5.db", kDbRelationHeaderSize + 132, Word(12)); // record 1 shares record 0's string
    check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("record 1: string at 12"), std::string::npos) << check.err;

    Build(100);
    Patch("5.db", kDbRelationHeaderSize, Word(0x7FFFFFF0)); // string far outside
    check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_EQ(Tool({"lookup", folder.path, "5", "postmaster@example.org"}).exitStatus, 2);
    EXPECT_EQ(Tool({"dump", folder.path, "5"}).exitStatus, 2);
}

TEST_F(AliasToolTest, CheckFindsABrokenTreeAndLeafChain) {
    Build(3000);
    uint32_t root = IndexWord(PageAt(0) + kMetaRoot);
    ASSERT_GT(IndexWord(PageAt(0) + kMetaHeight), 1u);
    Patch("5.id0", PageAt(root) + kNodeLink, Word(999999)); // child outside the file
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("outside the file"), std::string::npos) << check.err;

    Build(3000);
    uint32_t first = IndexWord(PageAt(0) + kMetaFirstLeaf);
    Patch("5.id0", PageAt(first) + kNodeLink, Word(first)); // the chain loops
    check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("leaf chain"), std::string::npos) << check.err;
    EXPECT_EQ(Tool({"dump", folder.path, "5"}).exitStatus, 2);
}

// Random byte changes in the index: the reader never reads out of bounds,
// and whenever the check passes every lookup still gives the right answer.
TEST_F(AliasToolTest, DamagedIndexNeverMisleadsTheReader) {
    Build(1500);
    std::string original = ReadWholeFile(folder.File("5.id0"));
    std::mt19937 random(20261206);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::string damaged = original;
        std::size_t position = kDbIndexHeaderSize + random() % (original.size() - kDbIndexHeaderSize);
        damaged[position] = char(random() & 0xFF);
        if (round % 3 == 0) damaged[position + 1 < damaged.size() ? position + 1 : position] = char(random());
        WriteWholeFile(folder.File("5.id0"), damaged);
        AliasTable table;
        if (OpenAliasTable(folder.path.c_str(), "5", &table)) {
            bool sound = CheckAliasTable(&table);
            ForEachAlias(&table, [](void*, const char*, const char*) { return true; }, nullptr);
            for (unsigned long i = 0; i < 1500; i += 61) {
                const char* mail = nullptr;
                AliasLookupResult result = LookupAlias(&table, GeneratedAlias(i).c_str(), &mail);
                if (sound) {
                    ASSERT_EQ(result, ALIAS_FOUND) << "round " << round << " byte " << position;
                    EXPECT_STREQ(mail, GeneratedMail(i).c_str());
                }
            }
            if (!sound) ++refused;
        } else {
            ++refused;
        }
        CloseAliasTable(&table);
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
