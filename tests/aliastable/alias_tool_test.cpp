// The aliastable tool run as a process (lookup, dump, check) on tables the
// relation wrote, and on damaged ones, which it must refuse.
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aliastable/generation_sum.h"
#include "platform/recbase/db_format.h"
#include "tests/support/db_test_support.h"
#include "tests/support/run_cgi.h"

namespace {

class AliasToolTest : public ::testing::Test {
protected:
    void SetUp() override { folder.SetLookupSetting(nullptr); }

    // Generation "5": two known records and `count` generated ones.
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
        WriteWholeFile(folder.File("published"), "5\n");  // as a build records what it published
        Seal();
    }
    // 5.sum from the files as they are, as the build writes it.
    void Seal() {
        char text[kGenerationSumSize], error[kGenerationSumErrorSize];
        ASSERT_TRUE(FormGenerationSum(folder.path.c_str(), "5", text, sizeof text, error, sizeof error))
            << error;
        WriteWholeFile(folder.File("5.sum"), text);
    }

    ProcessResult Tool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), BinaryPath("aliastable"));
        return RunProcess(arguments, {{"XOMTA_CONFIG_DIR", folder.path}}, "");
    }
    ProcessResult Lookup(const std::string& alias) { return Tool({"lookup", folder.path, "5", alias}); }

    ScratchFolder folder;
};

TEST_F(AliasToolTest, LookupDumpAndCheckUnderTheCaseSetting) {
    Build(3000);
    ProcessResult found = Lookup(GeneratedAlias(2345));
    EXPECT_EQ(found.exitStatus, 0) << found.err;
    EXPECT_EQ(found.out, GeneratedMail(2345) + "\n");
    ProcessResult absent = Lookup("sales@example.org");  // exact without the setting
    EXPECT_EQ(absent.exitStatus, 1);
    EXPECT_EQ(absent.out, "");
    EXPECT_NE(absent.err.find("no alias"), std::string::npos) << absent.err;
    std::set<std::string> lines = {"Sales@Example.org\tjane@example.org\n",
                                   "postmaster@example.org\tadmin@example.org\n"};
    for (unsigned long i = 0; i < 3000; ++i) lines.insert(GeneratedAlias(i) + "\t" + GeneratedMail(i) + "\n");
    std::string text;
    for (const std::string& line : lines) text += line;
    ProcessResult dump = Tool({"dump", folder.path, "5"});
    EXPECT_EQ(dump.exitStatus, 0) << dump.err;
    EXPECT_EQ(dump.out, text);
    EXPECT_EQ(Tool({"check", folder.path, "5"}).out.rfind("sound: 3002 records, ", 0), 0u);

    folder.SetLookupSetting("YES");
    Build(500);
    EXPECT_EQ(Lookup("SALES@EXAMPLE.ORG").out, "jane@example.org\n");
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 0);
    // Read under exact comparison, the folded order does not hold.
    folder.SetLookupSetting("NO");
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.err.find("UseCaseSensitiveAliasLookup"), std::string::npos) << check.err;
}

TEST_F(AliasToolTest, WrongUsageAndMissingFilesAreRefused) {
    const std::string& dir = folder.path;
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        const char* error;
    };
    for (const Case& c : std::vector<Case>{{{}, 2, "usage"},
                                           {{"lookup", dir, "5"}, 2, "usage"},
                                           {{"list", dir, "5"}, 2, "usage"},
                                           {{"check", dir}, 2, "usage"},
                                           {{"check", dir, "77"}, 1, "cannot open"},
                                           {{"lookup", dir, "77", "a"}, 2, "cannot open"}}) {
        ProcessResult run = Tool(c.arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments.size() << " " << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    }
}

// A generation that is not the recorded published one is refused whole,
// however sound its files: a build that failed may have left it.
TEST_F(AliasToolTest, OnlyThePublishedGenerationIsRead) {
    Build(10);
    const std::pair<const char*, const char*> records[] = {
        // the record, what the refusal says of it
        {"", "none is recorded"},  {"6\n", "published: 6"},      {"05\n", "published: 05"},
        {"5", "none is recorded"}, {"5x\n", "none is recorded"}, {"-5\n", "none is recorded"}};
    for (auto [record, said] : records) {
        if (record[0] == '\0')
            unlink(folder.File("published").c_str());
        else
            WriteWholeFile(folder.File("published"), record);
        const std::string expected =
            "aliastable: generation 5 in " + folder.path + " is not the published one (" + said + ")\n";
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"check", folder.path, "5"},
              {"dump", folder.path, "5"},
              {"lookup", folder.path, "5", "postmaster@example.org"}}) {
            ProcessResult run = Tool(arguments);
            EXPECT_EQ(run.exitStatus, arguments[0] == "check" ? 1 : 2) << record << arguments[0];
            EXPECT_EQ(run.out, "") << record << arguments[0];
            EXPECT_EQ(run.err, expected) << arguments[0];
        }
    }
    WriteWholeFile(folder.File("published"), "5\n");
    EXPECT_EQ(Lookup("postmaster@example.org").out, "admin@example.org\n");
}

TEST_F(AliasToolTest, DamagedTablesAreRefused) {
    // offset npos: the last 3 bytes cut
    struct Damage {
        const char* file;
        std::size_t offset;
        std::string bytes;
        const char* error;
    };
    for (const Damage& d : std::vector<Damage>{{"5.str", std::string::npos, "", "5.str"},
                                               {"5.db", 0x50, "\x01", "header differs"},
                                               {"5.db", kDbRelationHeaderSize + 4, "X", "record 0 holds"}}) {
        Build(100);
        std::string content = ReadWholeFile(folder.File(d.file));
        if (d.offset == std::string::npos)
            content.resize(content.size() - 3);
        else
            content.replace(d.offset, d.bytes.size(), d.bytes);
        WriteWholeFile(folder.File(d.file), content);
        // The checksum names the file; sealed again, the structure check finds the fault.
        ProcessResult check = Tool({"check", folder.path, "5"});
        EXPECT_EQ(check.exitStatus, 1) << d.error;
        EXPECT_EQ(check.out, "");
        EXPECT_NE(check.err.find(std::string(d.file) + " differs from its checksum"), std::string::npos)
            << check.err;
        Seal();
        check = Tool({"check", folder.path, "5"});
        EXPECT_EQ(check.exitStatus, 1) << d.error;
        EXPECT_EQ(check.out, "");
        EXPECT_NE(check.err.find(d.error), std::string::npos) << check.err;
    }
    // The index names a record that now holds another alias.
    ProcessResult lookup = Lookup("postmaster@example.org");
    EXPECT_EQ(lookup.exitStatus, 2);
    EXPECT_NE(lookup.err.find("damaged"), std::string::npos) << lookup.err;
    // A missing or damaged checksum file fails the check too.
    struct Sum {
        std::string text;  // "<none>": no file
        const char* error;
    };
    for (const Sum& c : std::vector<Sum>{{"<none>", "cannot open the checksum file"},
                                         {"", "no line for 5.db"},
                                         {std::string(300, 'x'), "too long"}}) {
        Build(3);
        if (c.text == "<none>")
            unlink(folder.File("5.sum").c_str());
        else
            WriteWholeFile(folder.File("5.sum"), c.text);
        ProcessResult check = Tool({"check", folder.path, "5"});
        EXPECT_EQ(check.exitStatus, 1) << c.error;
        EXPECT_NE(check.err.find(c.error), std::string::npos) << check.err;
    }
    Seal();
    WriteWholeFile(folder.File("5.sum"), ReadWholeFile(folder.File("5.sum")) + "extra\n");
    EXPECT_NE(Tool({"check", folder.path, "5"}).err.find("text after the last line"), std::string::npos);
}

}  // namespace
