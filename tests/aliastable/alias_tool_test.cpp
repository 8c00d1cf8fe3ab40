// The aliastable tool run as a process (lookup, dump, check, prune) on tables
// the relation wrote, and on damaged ones, which it must refuse.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
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

    // Generation `name`: two known records and `count` generated ones.
    void Build(unsigned long count, const char* name = "5") {
        folder.WriteGeneration(name);
        recordBase database;
        dbMailAlias relation(&database, folder.path.c_str(), name);
        ASSERT_EQ(relation.status, DB_OK);
        ASSERT_EQ(AddAlias(&relation, "postmaster@example.org", "admin@example.org"), DB_OK);
        ASSERT_EQ(AddAlias(&relation, "Sales@Example.org", "jane@example.org"), DB_OK);
        for (unsigned long i = 0; i < count; ++i)
            ASSERT_EQ(AddAlias(&relation, GeneratedAlias(i), GeneratedMail(i)), DB_OK);
        ASSERT_EQ(relation.close(), DB_OK);
        WriteWholeFile(folder.File("published"), name + std::string("\n"));  // as a build records it
        Seal(name, relation.keysIgnoreCase());
    }
    // GEN.sum from the files as they are, as the build writes it.
    void Seal(const char* name = "5", bool ignoreCase = false) {
        char text[kGenerationSumSize], error[kGenerationSumErrorSize];
        ASSERT_TRUE(
            FormGenerationSum(folder.path.c_str(), name, ignoreCase, text, sizeof text, error, sizeof error))
            << error;
        WriteWholeFile(folder.File(name + std::string(".sum")), text);
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
    // The setting changed since the build: said, as the sum records the old one.
    EXPECT_NE(ReadWholeFile(folder.File("5.sum")).find("\nUseCaseSensitiveAliasLookup=YES\n"),
              std::string::npos);
    folder.SetLookupSetting("NO");
    ProcessResult check = Tool({"check", folder.path, "5"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_EQ(check.out.rfind("sound: 502 records, ", 0), 0u);
    EXPECT_EQ(
        check.err,
        "aliastable: generation 5 was built with UseCaseSensitiveAliasLookup=YES, the setting is now NO: "
        "its lookups miss aliases until the next build\n");
    // A sum without the record, as written before it was kept: read under the setting.
    std::string sum = ReadWholeFile(folder.File("5.sum"));
    WriteWholeFile(folder.File("5.sum"), sum.substr(0, sum.find("UseCase")));
    EXPECT_NE(Tool({"check", folder.path, "5"}).err.find("out of order"), std::string::npos);
    folder.SetLookupSetting("YES");
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 0);
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
        {"", "none is recorded"},  {"3\n", "published: 3"},      {"05\n", "published: 05"},
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

// A generation superseded since the caller read the record: lookup and dump
// are served once more from the recorded one; check takes none but its own.
TEST_F(AliasToolTest, SupersededGenerationIsReadFromTheRecord) {
    Build(10, "6");
    Build(3);
    WriteWholeFile(folder.File("published"), "6\n");
    ProcessResult found = Lookup(GeneratedAlias(7));  // only in 6
    EXPECT_EQ(found.exitStatus, 0);
    EXPECT_EQ(found.out, GeneratedMail(7) + "\n");
    EXPECT_EQ(found.err, "aliastable: generation 5 was superseded; reading 6\n");
    EXPECT_EQ(Tool({"dump", folder.path, "5"}).out, Tool({"dump", folder.path, "6"}).out);
    EXPECT_EQ(Tool({"check", folder.path, "5"}).exitStatus, 1);
}

// prune keeps the recorded generation and KEEP-1 before it, never a later
// one; nothing goes while a build holds the lock, or without a record.
TEST_F(AliasToolTest, PruneKeepsThePublishedAndTheOnesBefore) {
    for (std::string name : {"1", "2", "3", "4", "6"}) folder.WriteGeneration(name), Seal(name.c_str());
    Build(3);
    WriteWholeFile(folder.File("05.db"), "x");
    auto left = [&] {  // per generation: its digit when whole, '-' when gone
        std::string shown;
        for (char name = '1'; name <= '6'; ++name) {
            int count = 0;
            for (const char* extension : {".db", ".id0", ".str", ".sum"})
                count += access(folder.File(name + std::string(extension)).c_str(), F_OK) == 0;
            shown += count == 4 ? name : count == 0 ? '-' : '?';
        }
        return shown;
    };
    int held = -1;
    struct Case {
        std::function<void()> setup;
        const char* keep;
        int exitStatus;
        std::string said, left;
    } cases[] = {
        {[] {}, "0", 2, "usage", "123456"},
        {[] {}, "3", 1, "cannot open the build lock: No such file", "123456"},
        {[&] {
             held = open(folder.File("build.lock").c_str(), O_RDWR | O_CREAT, 0660), flock(held, LOCK_EX);
         },
         "3", 1, "a build is running in " + folder.path + "; nothing removed\n", "123456"},
        {[&] { close(held); }, "3", 0, "pruned: 8 files removed; kept generation 5 and those from 3 on\n",
         "--3456"},
        {[] {}, "1", 0, "pruned: 8 files removed; kept generation 5 and those from 5 on\n", "----56"},
        {[&] { unlink(folder.File("published").c_str()); }, "1", 1, "no published generation", "----56"},
    };
    for (Case& c : cases) {
        c.setup();
        ProcessResult run = Tool({"prune", folder.path, c.keep});
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.said << run.err;
        EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.out << run.err;
        EXPECT_EQ(left(), c.left) << c.said;
    }
    EXPECT_EQ(ReadWholeFile(folder.File("05.db")), "x");
}

// A FIFO in a file's place is refused at once, not waited on.
TEST_F(AliasToolTest, NonRegularFilesAreRefusedWithoutWaiting) {
    WriteWholeFile(folder.File("build.lock"), "");
    struct Case {
        const char* fifo;
        std::vector<std::string> arguments;
        int exitStatus;
        const char* said;
    } cases[] = {{"5.sum", {"check", folder.path, "5"}, 1, "5.sum: not a regular file"},
                 {"5.db", {"lookup", folder.path, "5", "x"}, 2, "5.db is not a regular file"},
                 {"published", {"dump", folder.path, "5"}, 2, "(none is recorded)"},
                 {"build.lock", {"prune", folder.path, "1"}, 1, "build lock: not a regular file"}};
    for (Case& c : cases) {
        Build(3);
        unlink(folder.File(c.fifo).c_str());
        ASSERT_EQ(mkfifo(folder.File(c.fifo).c_str(), 0660), 0);
        c.arguments.insert(c.arguments.begin(), {"/usr/bin/timeout", "20", BinaryPath("aliastable")});
        ProcessResult run = RunProcess(c.arguments, {{"XOMTA_CONFIG_DIR", folder.path}}, "");
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.fifo;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        unlink(folder.File(c.fifo).c_str());
    }
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
